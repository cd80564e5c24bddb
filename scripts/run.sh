#!/usr/bin/env bash
# Builds Calvenor and starts it. Without a display it runs the program under Xvfb, saves a
# screenshot of its window into the build folder, says where it is and ends the program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j"$(nproc)" --target calvenor
program="$PWD/build/release/app/calvenor"

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    exec "$program"
fi

shot="$PWD/build/release/calvenor-screenshot.png"
echo "No display: running Calvenor under Xvfb to take a screenshot."
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    "$1" & pid=$!
    window=$(timeout 20 xdotool search --sync --onlyvisible --name "^Calvenor$" | head -n 1) || true
    status=1
    if [ -n "$window" ]; then
        sleep 1
        import -window "$window" "$2" && status=0
    else
        echo "The Calvenor window did not appear." >&2
    fi
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    exit $status
' _ "$program" "$shot"
echo "Screenshot of the Calvenor window: $shot"
