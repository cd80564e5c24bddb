#!/usr/bin/env bash
# Times process start to the first painted frame of Calvenor against two reference windows, side
# by side in one hyperfine run on an Xvfb display: a bare Qt window that paints once, and the same
# window with one line of text. Runs twice: with the X server kept idle between runs (-noreset),
# and with the server resetting after each run's last client leaves, as xvfb-run does by default.
# Then reports Calvenor's peak memory.
# Usage: bench/startup/startup.sh [build folder, default build/release]; RUNS=n sets the runs.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/release}
runs=${RUNS:-30}

if [ -z "${CALVENOR_STARTUP_MODE:-}" ]; then
    for mode in idle reset; do
        args="-screen 0 1024x768x24"
        [ "$mode" = idle ] && args="$args -noreset"
        CALVENOR_STARTUP_MODE=$mode xvfb-run -a -s "$args" bash "$0" "$@"
    done
    exit 0
fi

# WaitFrame starts the program and ends it once the X server reports the first drawing into its
# window, so each timed run is process start to first painted frame plus a few system calls. The
# three programs take turns in blocks of 10 runs, so a drift of the machine's load during the
# benchmark weighs on all three alike.
rounds=$(((runs + 9) / 10))
for ((round = 1; round <= rounds; round++)); do
    hyperfine -N --warmup 3 --runs 10 --export-json "$build/startup-$CALVENOR_STARTUP_MODE-$round.json" \
        -n bare "$build/bench/WaitFrame Bare $build/bench/BareWindow" \
        -n text "$build/bench/WaitFrame Text $build/bench/TextWindow" \
        -n calvenor "$build/bench/WaitFrame Calvenor $build/app/calvenor" >/dev/null
done
python3 - "$CALVENOR_STARTUP_MODE" "$build"/startup-"$CALVENOR_STARTUP_MODE"-*.json <<'EOF'
import json, statistics, sys
times = {}
for name in sys.argv[2:]:
    for x in json.load(open(name))["results"]:
        times.setdefault(x["command"], []).extend(x["times"])
r = {k: 1000 * statistics.median(v) for k, v in times.items()}
print("X server %s between runs, %d runs each: median bare %.1f ms, text %.1f ms, calvenor %.1f ms;"
      " calvenor %+.1f %% against bare, %+.1f %% against text"
      % ("idle" if sys.argv[1] == "idle" else "resetting", len(times["bare"]), r["bare"], r["text"],
         r["calvenor"], 100 * (r["calvenor"] / r["bare"] - 1), 100 * (r["calvenor"] / r["text"] - 1)))
EOF
rm -f "$build"/startup-"$CALVENOR_STARTUP_MODE"-*.json

[ "$CALVENOR_STARTUP_MODE" = idle ] || exit 0
# Peak resident memory of a Calvenor process that runs until its window is up.
"$build/app/calvenor" 2>/dev/null &
pid=$!
xdotool search --sync --onlyvisible --name '^Calvenor$' >/dev/null
sleep 0.5
echo "calvenor peak memory: $(grep VmHWM /proc/$pid/status)"
kill "$pid"
wait "$pid" 2>/dev/null || true
