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

# WaitFrame starts the program and ends it once the X server reports the first drawing into its
# window, so each timed run is process start to first painted frame plus a few system calls.
hyperfine -N --warmup 5 --runs "$runs" --export-json "$build/startup.json" \
    -n bare "$build/bench/WaitFrame Bare $build/bench/BareWindow" \
    -n calvenor "$build/bench/WaitFrame Calvenor $build/app/calvenor"
python3 - "$build/startup.json" <<'EOF'
import json, sys
results = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
for name, r in results.items():
    print("%s median %.1f ms" % (name, 1000 * r["median"]))
print("calvenor / bare: %+.1f %%" % (100 * (results["calvenor"]["median"] / results["bare"]["median"] - 1)))
EOF

# Peak resident memory of a Calvenor process that runs until its window is up.
"$build/app/calvenor" &
pid=$!
xdotool search --sync --onlyvisible --name '^Calvenor$' >/dev/null
sleep 0.5
echo "calvenor peak memory: $(grep VmHWM /proc/$pid/status)"
kill "$pid"
wait "$pid" 2>/dev/null || true
