#!/usr/bin/env bash
# Builds and runs every test: the optimised build, the Debian package (installed, started and
# removed again), the Qt-free core cross-built for Windows and run under wine, the sanitizer build
# and a bounded fuzz run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

jobs=$(nproc)
export CTEST_OUTPUT_ON_FAILURE=1

echo "== Release build"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build/release -j"$jobs"
ctest --test-dir build/release -j"$jobs"

echo "== Sanitizer build (AddressSanitizer + UndefinedBehaviorSanitizer)"
cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCALVENOR_SANITIZE=ON -DCALVENOR_BENCH=OFF
cmake --build build/sanitize -j"$jobs"
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/support/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
ctest --test-dir build/sanitize -j"$jobs" -LE e2e

echo "== Fuzz targets (clang, libFuzzer, bounded)"
scripts/fuzz.sh

echo "== Debian package: build, validate, install, run, remove"
scripts/test-package.sh

# A Windows failure is reported at the end, after the summary of the other tests.
echo "== Qt-free core on Windows (mingw-w64, wine)"
windows=0
scripts/test-windows.sh || windows=$?

echo "== Release tests once more, for the summary"
ctest --test-dir build/release -j"$jobs"
if [ "$windows" -ne 0 ]; then
    echo "The Windows tests failed (scripts/test-windows.sh, above)." >&2
    exit "$windows"
fi
