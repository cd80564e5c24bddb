#!/usr/bin/env bash
# Cross-builds the Qt-free core (relations/, refrig/ and platform/ without platform/gui/) with its
# unit tests for 64-bit Windows with Debian's mingw-w64, and runs the tests under wine, so that the
# Windows branches (registry, window messages, float faults, number text, the private-profile
# files' reads, locked writes and file replacement) run against the Windows API. wine gets a
# private prefix in a temporary folder, no display and no debug output; the prefix is removed
# afterwards.
# Usage: scripts/test-windows.sh [build folder, default build/windows]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
build=$(realpath -m "${1:-build/windows}")
jobs=$(nproc)
started=$SECONDS

wine=$(command -v wine64 || true)
[ -n "$wine" ] || wine=/usr/lib/wine/wine64
wineserver=$(command -v wineserver || true)
[ -n "$wineserver" ] || wineserver=/usr/lib/wine/wineserver64
for tool in "$wine" "$wineserver"; do
    [ -x "$tool" ] || { echo "test-windows: $tool is missing (Debian package wine64)" >&2; exit 1; }
done

# GoogleTest for the cross compiler, from Debian's googletest sources; built once per build folder.
# It is installed inside its build tree, which scans of the source tree (the layering test) pass
# over, so that its headers are not taken for the project's.
gtest=$build/googletest/build
if [ ! -f "$gtest/install/lib/cmake/GTest/GTestConfig.cmake" ]; then
    echo "== GoogleTest for mingw-w64"
    cmake -S /usr/src/googletest -B "$gtest" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" -Dgtest_disable_pthreads=ON \
        -DCMAKE_INSTALL_PREFIX="$gtest/install" >/dev/null
    cmake --build "$gtest" -j"$jobs" >/dev/null
    cmake --install "$gtest" >/dev/null
fi

echo "== Qt-free core for Windows (mingw-w64)"
cmake -S . -B "$build/core" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$wine" -DGTest_DIR="$gtest/install/lib/cmake/GTest" \
    -DCALVENOR_GUI=OFF -DCALVENOR_BENCH=OFF >/dev/null
# Builds everything it can (-k 0), so that one run shows every unit that does not build.
build_status=0
cmake --build "$build/core" -j"$jobs" -- -k 0 || build_status=$?

echo "== unit tests under wine"
export WINEDEBUG=-all
export WINEPREFIX
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/calvenor-wine.XXXXXX")
trap '"$wineserver" -k 2>/dev/null || true; rm -rf "$WINEPREFIX"' EXIT
# No display: wine's window-message and registry functions need none, and nothing may wait for one.
unset DISPLAY WAYLAND_DISPLAY
"$wine" wineboot --init >/dev/null 2>&1 || true
"$wineserver" -w
test_status=0
ctest --test-dir "$build/core" -j"$jobs" --output-on-failure || test_status=$?
"$wineserver" -k 2>/dev/null || true

echo "test-windows: $((SECONDS - started)) s"
if [ "$build_status" -ne 0 ]; then
    echo "test-windows: some units did not build for Windows (see above)" >&2
    exit 1
fi
exit "$test_status"
