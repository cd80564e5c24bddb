#!/usr/bin/env bash
# Builds the Debian package and tries it as a user would: validates its desktop entry and its
# AppStream metadata, installs it with apt-get, starts the installed program under Xvfb (window up,
# data file read), checks that a malformed installed data file stops start-up naming that file,
# removes the package and checks that it left nothing behind. Needs root (or sudo), as installing
# does; the installed data file is backed up and put back around the malformed-file check.
# Usage: scripts/test-package.sh [package; default: build it with scripts/package.sh]
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

package=${1:-}
if [ -z "$package" ]; then
    package=$(scripts/package.sh | tail -n 1)
fi
package=$(realpath "$package")
version=$(dpkg-deb -f "$package" Version)
work=$(mktemp -d "${TMPDIR:-/tmp}/calvenor-package.XXXXXX")
data="/opt/Velmora/Common Files/RuzAve8.rdf"
installed=false

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

cleanup() {
    if [ -f "$work/RuzAve8.rdf.saved" ]; then
        $sudo cp -p "$work/RuzAve8.rdf.saved" "$data" || true
    fi
    if $installed; then
        DEBIAN_FRONTEND=noninteractive $sudo apt-get purge -y -qq -o DPkg::Lock::Timeout=600 \
            calvenor >/dev/null 2>&1 || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# Everything the package could leave behind, file by file.
footprint() {
    local paths=(/opt/Velmora /usr/bin/calvenor /usr/bin/calvenor-relations /usr/share/applications
                 /usr/share/icons/hicolor
                 /usr/share/metainfo)
    { find /opt -maxdepth 0 2>/dev/null || true; } # dpkg would take an empty /opt along
    { find "${paths[@]}" -path /usr/share/icons/hicolor/icon-theme.cache -prune -o -print \
        2>/dev/null || true; } | LC_ALL=C sort
}

echo "== validating the desktop entry and the metadata in $package"
dpkg-deb -x "$package" "$work/root"
desktop-file-validate "$work/root/usr/share/applications/com.velmora.calvenor.desktop"
appstreamcli validate --no-net "$work/root/usr/share/metainfo/com.velmora.calvenor.metainfo.xml"
for size in 16 22 24 32 48 64 128 256; do
    [ -f "$work/root/usr/share/icons/hicolor/${size}x${size}/apps/com.velmora.calvenor.png" ] ||
        fail "no ${size}x${size} icon"
done

if dpkg-query -W -f='${Status}' calvenor 2>/dev/null | grep -q "ok installed"; then
    fail "calvenor is installed already; remove it first (apt-get purge calvenor)"
fi
[ ! -e /opt/Velmora ] || fail "/opt/Velmora exists outside the package; move it away first"
footprint >"$work/before.txt"

echo "== installing"
installed=true
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq -o DPkg::Lock::Timeout=600 \
    "$package" >/dev/null
[ "$(readlink -f /usr/bin/calvenor)" = /opt/Velmora/bin/calvenor ] ||
    fail "/usr/bin/calvenor does not lead to /opt/Velmora/bin/calvenor"
[ "$(env -u DISPLAY calvenor --version)" = "Calvenor $version" ] || fail "calvenor --version"
[ "$(calvenor-relations e CounterFlow 0 1)" = 0.63212055882855767 ] || fail "calvenor-relations"

# Under Xvfb: starts calvenor from the PATH, tracing the files it opens, and waits for a window
# with the caption Calvenor. "good": the main window comes up after reading the installed data
# file. "malformed": a message box comes up; closing it ends the program with exit code 1.
cat >"$work/on-display.sh" <<'INNER'
set -euo pipefail
case_name=$1 work=$2
strace -f -qq -e trace=openat -o "$work/$case_name.trace" calvenor \
    >"$work/$case_name.out" 2>"$work/$case_name.err" &
pid=$!
window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Calvenor$' 2>/dev/null |
    head -n 1) || true
if [ -z "$window" ]; then
    echo "FAIL: no window appeared: $(cat "$work/$case_name.err")" >&2
    kill "$pid" 2>/dev/null || true
    exit 1
fi
if [ "$case_name" = good ]; then
    kill "$(xdotool getwindowpid "$window")" # the program, not strace
    wait "$pid" 2>/dev/null || true
    exit 0
fi
# Return closes the message box; the key's release then finds the window gone, which xdotool
# reports as an error.
sleep 1
xdotool key --window "$window" Return 2>/dev/null || true
status=0
wait "$pid" || status=$?
[ "$status" -eq 1 ] || { echo "FAIL: exit code $status after the message, expected 1" >&2; exit 1; }
INNER
on_display() {
    xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/on-display.sh" "$1" "$work"
}

echo "== the installed program under Xvfb"
on_display good
grep -q "Common Files/RuzAve8.rdf\", O_RDONLY.*= [0-9]" "$work/good.trace" ||
    fail "the program did not read $data"

echo "== a malformed installed data file"
$sudo cp -p "$data" "$work/RuzAve8.rdf.saved"
printf '[R22]\nInternalNumber=22\ndp=1,2\n' | $sudo tee "$data" >/dev/null
on_display malformed
grep -q "Calvenor could not start: loading the refrigerant data: .*$data" "$work/malformed.err" ||
    fail "the message does not name $data: $(cat "$work/malformed.err")"
$sudo cp -p "$work/RuzAve8.rdf.saved" "$data"
rm "$work/RuzAve8.rdf.saved"
[ -z "$(dpkg --verify calvenor)" ] || fail "the installed files differ from the package's"

echo "== removing"
DEBIAN_FRONTEND=noninteractive $sudo apt-get purge -y -qq -o DPkg::Lock::Timeout=600 \
    calvenor >/dev/null
installed=false
footprint >"$work/after.txt"
diff -u "$work/before.txt" "$work/after.txt" || fail "removing the package left files behind"
echo "test-package: $package installs, runs and removes cleanly ($((SECONDS - started)) s)"
