#!/usr/bin/env bash
# Starts the real Calvenor executable in an Xvfb display, finds its window by caption, checks the
# five curve colours on screen, moves the real pointer over a known data point and reads the status
# line with OCR, then switches the flow configuration with the keyboard and checks the change.
# Last, it saves the chart through the window's file dialog (Ctrl+S while the list has the focus)
# and compares the file with the command line's export of the same chart.
# Usage: main_window.sh <calvenor executable> <work folder>
set -euo pipefail
program=$(readlink -f "$1")
work=$2
here=$(dirname "$(readlink -f "$0")")
mkdir -p "$work"

if [ -z "${CALVENOR_E2E_DISPLAY:-}" ]; then
    export CALVENOR_E2E_DISPLAY=1
    exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

"$program" &
pid=$!
trap 'kill $pid 2>/dev/null; wait $pid 2>/dev/null || true' EXIT

window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Calvenor$' | head -n 1) ||
    fail "no window with the caption Calvenor appeared"
sleep 1

shot() {
    import -window "$window" "$work/$1.png"
    convert "$work/$1.png" "$work/$1.ppm"
}

check_colours() {
    python3 "$here/chart_probe.py" colours "$work/$1.ppm" >"$work/$1-colours.txt"
    while read -r name count; do
        [ "$count" -ge 40 ] || fail "$1: curve $name shows only $count pixels of its colour"
    done <"$work/$1-colours.txt"
}

# Reads the status line: prints its three or two numbers, one per line.
status_numbers() {
    shot "$1"
    python3 "$here/chart_probe.py" status "$work/$1.ppm" "$work/$1-status.pgm"
    tesseract "$work/$1-status.pgm" "$work/$1-status" --psm 7 >/dev/null 2>&1
    cat "$work/$1-status.txt" >&2
    grep -oE '[0-9]+[.,][0-9]{2}' "$work/$1-status.txt" || true
}

near() { # near <value> <expected> <tolerance>
    python3 -c "import sys; sys.exit(0 if abs(float('$1'.replace(',', '.')) - $2) <= $3 else 1)"
}

move_to_data() { # move_to_data <Ntu> <e>
    local x y
    x=$(python3 -c "import math; print($left + math.trunc($1 * ($right - $left) / 5.5))")
    y=$(python3 -c "import math; print($bottom - math.trunc($2 * ($bottom - $top)))")
    xdotool mousemove --window "$window" "$x" "$y"
    sleep 0.7
}

expect_status() { # expect_status <name> <Ntu> <e> <Cr>
    mapfile -t numbers < <(status_numbers "$1")
    [ "${#numbers[@]}" -eq 3 ] || fail "$1: expected three numbers in the status line, read: ${numbers[*]:-none}"
    [[ "${numbers[*]}" != *,* ]] || fail "$1: the status line uses a decimal comma: ${numbers[*]}"
    near "${numbers[0]}" "$2" 0.03 || fail "$1: Ntu ${numbers[0]}, expected about $2"
    near "${numbers[1]}" "$3" 0.02 || fail "$1: e ${numbers[1]}, expected about $3"
    near "${numbers[2]}" "$4" 0.03 || fail "$1: Cr ${numbers[2]}, expected about $4"
}

# 1. The window shows the five counter-flow curves in their colours.
shot start
check_colours start
read -r left top right bottom < <(python3 "$here/chart_probe.py" plot "$work/start.ppm")
echo "plot area in the window: $left $top $right $bottom"
[ $((right - left)) -gt 200 ] && [ $((bottom - top)) -gt 100 ] || fail "no plot area found"

# 2. The pointer over Ntu 2, e 0.7 gives the counter-flow Cr 0.85 in the status line.
move_to_data 2 0.7
expect_status counter 2 0.7 0.85

# 3. The keyboard switches to cross flow: the curves change and so does the Cr for the same point.
xdotool mousemove --window "$window" 150 20 click 1
sleep 0.3
xdotool key --window "$window" Down
sleep 0.7
shot cross
check_colours cross
if cmp -s <(python3 "$here/chart_probe.py" colours "$work/start.ppm") \
          <(python3 "$here/chart_probe.py" colours "$work/cross.ppm"); then
    fail "the chart did not change after choosing the next flow configuration"
fi
move_to_data 2 0.7
expect_status crossflow 2 0.7 0.65

# 4. Ctrl+S with the list still focused opens the file dialog; a name typed without extension is
# saved as PNG, pixel for pixel the chart the command line exports for the same configuration.
rm -f "$work/saved.png" "$work/exported.png"
xdotool key --window "$window" ctrl+s
timeout 10 xdotool search --sync --onlyvisible --name '^Save Chart As$' >/dev/null ||
    fail "Ctrl+S opened no file dialog"
sleep 0.5
xdotool key ctrl+a
xdotool type --delay 10 "$(readlink -f "$work")/saved"
xdotool key Return
for _ in $(seq 50); do [ -s "$work/saved.png" ] && break; sleep 0.1; done
[ -s "$work/saved.png" ] || fail "the dialog saved no $work/saved.png"
"$program" --export "$work/exported.png" --flow crossflow ||
    fail "the command line's export failed"
differing=$(compare -metric AE "$work/saved.png" "$work/exported.png" null: 2>&1) || true
[ "$differing" = 0 ] ||
    fail "the saved chart differs from the exported one in $differing pixels"

echo "e2e: all checks passed"
