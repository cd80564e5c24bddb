#!/usr/bin/env bash
# The real executable's command line and its start without a reachable display: --help and
# --version answer without any display, a refused command line ends with 2, and a display that
# cannot be reached ends start-up with 1 and a message instead of an abort, also after a malformed
# data file has been reported. The export writes its file without a display, the same bytes
# whether an X server can be reached or not. Last, the program starts as the only client of an X
# server that resets when its last client leaves (Xvfb's default): the display check must not leave
# it alone in between, or the server resets and refuses Qt's connection.
# Usage: command_line.sh <calvenor executable> <work folder> <version>
set -euo pipefail
program=$(readlink -f "$1")
work=$2
version=$3
rm -rf "$work"
mkdir -p "$work"
failures=0

# An X display number no server here serves.
n=$((4000 + $$ % 1000))
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
unreachable=":$n"

# An installation of the program whose data file is malformed.
install="$work/Velmora"
mkdir -p "$install/bin" "$install/Common Files"
cp "$program" "$install/bin/calvenor"
printf '[R22]\nInternalNumber=22\ndp=1,2\n' >"$install/Common Files/RuzAve8.rdf"

# check <name> <expected exit code> <pattern expected in the output> <env assignments...> -- <program> <arguments...>
# An empty pattern expects no output at all.
check() {
    local name=$1 expected=$2 pattern=$3
    shift 3
    local assignments=()
    while [ "$1" != -- ]; do
        assignments+=("$1")
        shift
    done
    shift
    local code=0
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XDG_SESSION_TYPE \
        "${assignments[@]}" "$@" >"$work/$name.out" 2>"$work/$name.err" </dev/null || code=$?
    if [ "$code" -ne "$expected" ]; then
        echo "FAIL $name: exit code $code, expected $expected" >&2
        sed 's/^/    /' "$work/$name.out" "$work/$name.err" >&2
        failures=$((failures + 1))
    elif [ -z "$pattern" ] && { [ -s "$work/$name.out" ] || [ -s "$work/$name.err" ]; }; then
        echo "FAIL $name: output where none was expected" >&2
        sed 's/^/    /' "$work/$name.out" "$work/$name.err" >&2
        failures=$((failures + 1))
    elif [ -n "$pattern" ] && ! grep -qE -- "$pattern" "$work/$name.out" "$work/$name.err"; then
        echo "FAIL $name: no line matches '$pattern'" >&2
        sed 's/^/    /' "$work/$name.out" "$work/$name.err" >&2
        failures=$((failures + 1))
    else
        echo "ok   $name"
    fi
}

check help 0 '^ *-v, --version' -- "$program" --help
check help-short 0 '^Usage: .*calvenor \[options\]' -- "$program" -h
check version 0 "^Calvenor $version\$" -- "$program" --version
check version-short 0 "^Calvenor $version\$" -- "$program" -v
check help-on-unreachable-display 0 '^Usage:' DISPLAY="$unreachable" -- "$program" --help
check unknown-option 2 "Unknown option 'bogus'" -- "$program" --bogus
check missing-value 2 "Missing value after '-display'" -- "$program" -display
check no-display 1 'could not start: opening the main window: no display' -- "$program"
check unreachable-display 1 "cannot open the X display \"$unreachable\"" \
    DISPLAY="$unreachable" -- "$program"
check unreachable-display-option 1 "cannot open the X display \"$unreachable\"" \
    -- "$program" -display "$unreachable"
check plain-words 1 'takes no arguments; ignored: chart.txt' \
    DISPLAY="$unreachable" -- "$program" chart.txt
check malformed-data-unreachable-display 1 "could not start: loading the refrigerant data: .*Common Files/RuzAve8.rdf" \
    DISPLAY="$unreachable" -- "$install/bin/calvenor"

# The export: no display needed, and a reachable or unreachable one changes nothing, nor does the
# scaling the environment asks the window system for.
check export-no-display 0 '' -- "$program" --export "$work/no-display.png" --flow CounterFlow
check export-unreachable-display 0 '' DISPLAY="$unreachable" QT_SCALE_FACTOR=3 QT_FONT_DPI=200 -- \
    "$program" --export "$work/unreachable.PNG" --flow counterflow -platform xcb
check export-csv 0 '' -- "$program" --export "$work/curves.csv" --flow ShellTube3
if ! cmp -s "$work/no-display.png" "$work/unreachable.PNG" ||
    [ "$(identify -format '%w %h' "$work/no-display.png" 2>&1)" != "365 251" ]; then
    echo "FAIL export: the PNGs differ, or are not 365 x 251" >&2
    failures=$((failures + 1))
fi
if [ "$(head -n 1 "$work/curves.csv")" != "configuration,Cr,Ntu,e" ] ||
    [ "$(wc -l <"$work/curves.csv")" -ne 131 ]; then
    echo "FAIL export-csv: not a header and 130 rows" >&2
    failures=$((failures + 1))
fi
check export-unknown-flow 2 '--flow: "Spiral" is no flow configuration; give one of: CounterFlow' \
    -- "$program" --export "$work/spiral.png" --flow Spiral
check export-scale 2 '--scale: "0" is not a scale' \
    -- "$program" --export "$work/zero.png" --flow CounterFlow --scale 0
check export-unwritable 1 "Cannot write \"$work/missing/chart.png\"" \
    -- "$program" --export "$work/missing/chart.png" --flow CounterFlow
if [ -e "$work/spiral.png" ] || [ -e "$work/zero.png" ] || [ -e "$work/missing" ]; then
    echo "FAIL export: a refused export left a file" >&2
    failures=$((failures + 1))
fi

if grep -q 'qt.qpa\|Aborted' "$work"/*.err; then
    echo "FAIL: Qt reached its own display error:" >&2
    grep -H 'qt.qpa\|Aborted' "$work"/*.err >&2
    failures=$((failures + 1))
fi

# The first client of a resetting X server, a few times: the race is lost only now and then.
exec 3>"$work/xvfb-display"
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
exec 3>&-
trap 'kill $xvfb 2>/dev/null || true' EXIT
for _ in $(seq 50); do
    [ -s "$work/xvfb-display" ] && break
    sleep 0.1
done
own_display=":$(cat "$work/xvfb-display")"
before=$failures
for run in 1 2 3 4 5 6 7 8; do
    env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY="$own_display" "$program" \
        2>"$work/first-client-$run.err" &
    pid=$!
    sleep 1
    if kill -0 "$pid" 2>/dev/null; then
        kill "$pid"
        wait "$pid" 2>/dev/null || true
    else
        code=0
        wait "$pid" || code=$?
        echo "FAIL first-client-$run: ended with exit code $code" >&2
        sed 's/^/    /' "$work/first-client-$run.err" >&2
        failures=$((failures + 1))
    fi
    sleep 0.3 # the server resets after the program has left
done
[ "$failures" -ne "$before" ] || echo "ok   first client of a resetting X server, 8 starts"
check export-live-display 0 '' DISPLAY="$own_display" -- \
    "$program" --export "$work/live.png" --flow CounterFlow
if ! cmp -s "$work/no-display.png" "$work/live.png"; then
    echo "FAIL export-live-display: the PNG differs from the one made without a display" >&2
    failures=$((failures + 1))
fi

[ "$failures" -eq 0 ] || { echo "$failures command-line checks failed" >&2; exit 1; }
echo "command line: all checks passed"
