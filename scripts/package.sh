#!/usr/bin/env bash
# Builds the program in Release mode and makes its Debian package with CPack. The last line of the
# output is the package's path.
#
# The package installs the program as /opt/Velmora/bin/calvenor with its data file in
# "/opt/Velmora/Common Files/", links /usr/bin/calvenor to it, and carries the menu entry, the
# icons and the AppStream metadata under /usr/share. Its library dependencies are computed
# (dpkg-shlibdeps). Build folder: build/package (tests and benchmarks off).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
build=build/package

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/opt/Velmora \
    -DCALVENOR_DESKTOP_PREFIX=/usr -DCALVENOR_REQUIRE_ICONS=ON \
    -DCALVENOR_TESTS=OFF -DCALVENOR_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"

# The metadata names each release; a version without its entry would ship stale metadata.
version=$(cmake -L -N "$build" 2>/dev/null | sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p')
[ -n "$version" ] || version=$(sed -n 's/^project(Calvenor VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
if ! grep -q "<release version=\"$version\"" packaging/com.velmora.calvenor.metainfo.xml; then
    echo "package: packaging/com.velmora.calvenor.metainfo.xml has no release $version" >&2
    exit 1
fi

rm -f "$build"/calvenor_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
package=$(ls "$PWD/$build"/calvenor_"$version"_*.deb)
echo "$package"
