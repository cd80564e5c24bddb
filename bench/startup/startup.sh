#!/usr/bin/env bash
# Times process start to the first mapped and painted window of Calvenor against a bare Qt window,
# side by side in one hyperfine run on an Xvfb display, and reports Calvenor's peak memory.
# Usage: bench/startup/startup.sh [build folder, default build/release]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/release}
runs=${RUNS:-30}
here=bench/startup

if [ -z "${CALVENOR_STARTUP_DISPLAY:-}" ]; then
    export CALVENOR_STARTUP_DISPLAY=1
    exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi

hyperfine -N --warmup 3 --runs "$runs" --export-json "$build/startup.json" \
    -n bare "$here/wait-window.sh $build/bench/BareWindow Bare" \
    -n calvenor "$here/wait-window.sh $build/app/calvenor Calvenor"
python3 -c "import json, sys; [print(r[\"command\"], \"median %.1f ms\" % (1000 * r[\"median\"])) for r in json.load(open(sys.argv[1]))[\"results\"]]" "$build/startup.json"

# Peak resident memory of a Calvenor process that runs until its window is up.
"$build/app/calvenor" &
pid=$!
xdotool search --sync --onlyvisible --name '^Calvenor$' >/dev/null
sleep 0.5
echo "calvenor peak memory: $(grep VmHWM /proc/$pid/status)"
kill "$pid"
wait "$pid" 2>/dev/null || true
