#!/usr/bin/env bash
# Times process start to the first painted frame of Calvenor against three reference windows, side
# by side in one hyperfine run on an Xvfb display: a bare Qt window that paints once, the same
# window with one line of text, and a peer chart program that shows the same chart scene (a
# QCustomPlot window built from ../shared/peers, title "peer start-up"). Runs twice: with the X
# server kept idle between runs (-noreset), and with the server resetting after each run's last
# client leaves, as xvfb-run does by default. Then reports Calvenor's peak memory.
#
# Usage: bench/startup/startup.sh [--busy] [build folder, default build/release]
#   --busy   keeps one other process spinning on the second core throughout (pinned with taskset),
#            as on a machine where one other program is busy.
#   RUNS=n   runs per program and mode (default 30).
#   BASELINE=path  another Calvenor executable (an earlier build) timed in the same blocks, for a
#            before-and-after comparison under the same load.
#   PEER_BUILD, PEER_SOURCE: where the peer is built (default /tmp/peers-build) and its sources
#            (default ../shared/peers beside the repository). A missing peer binary is built there
#            (CMake, needs libqcustomplot-dev); when that cannot be done the peer is left out.
set -euo pipefail
cd "$(dirname "$0")/../.."
busy=false
if [ "${1:-}" = --busy ]; then
    busy=true
    shift
fi
build=${1:-build/release}
runs=${RUNS:-30}

if [ -z "${CALVENOR_STARTUP_MODE:-}" ]; then
    peer_build=${PEER_BUILD:-/tmp/peers-build}/qt6
    peer_source=${PEER_SOURCE:-$PWD/../shared/peers}
    peer="$peer_build/qcp_startup_qt6"
    if [ ! -x "$peer" ] && [ -f "$peer_source/CMakeLists.txt" ]; then
        echo "Building the peer chart window into $peer_build" >&2
        cmake -S "$peer_source" -B "$peer_build" -DPEER_QT=6 -DCMAKE_BUILD_TYPE=Release >/dev/null &&
            cmake --build "$peer_build" --target qcp_startup_qt6 -j"$(nproc)" >/dev/null ||
            echo "Could not build the peer (is libqcustomplot-dev installed?)" >&2
    fi
    if [ ! -x "$peer" ]; then
        echo "No peer chart window at $peer: it is left out. Build it with" >&2
        echo "  cmake -S ../shared/peers -B /tmp/peers-build/qt6 -DPEER_QT=6 && \\" >&2
        echo "  cmake --build /tmp/peers-build/qt6 --target qcp_startup_qt6" >&2
        peer=""
    fi
    if $busy; then
        [ "$(nproc)" -ge 2 ] || { echo "--busy needs two cores" >&2; exit 1; }
        taskset -c 1 bash -c 'while :; do :; done' &
        spinner=$!
        trap 'kill "$spinner"' EXIT
        echo "One process spinning on core 1 (pid $spinner) throughout." >&2
    fi
    for mode in idle reset; do
        args="-screen 0 1024x768x24"
        [ "$mode" = idle ] && args="$args -noreset"
        CALVENOR_STARTUP_MODE=$mode CALVENOR_STARTUP_PEER=$peer \
            xvfb-run -a -s "$args" bash "$0" "$build"
    done
    exit 0
fi

# WaitFrame starts the program and ends it once the X server reports the first drawing into its
# window, so each timed run is process start to first painted frame plus a few system calls. The
# programs take turns in blocks of 10 runs, so a drift of the machine's load during the benchmark
# weighs on all of them alike.
commands=(-n bare "$build/bench/WaitFrame Bare $build/bench/BareWindow"
          -n text "$build/bench/WaitFrame Text $build/bench/TextWindow")
if [ -n "${CALVENOR_STARTUP_PEER:-}" ]; then
    commands+=(-n peer "$build/bench/WaitFrame 'peer start-up' $CALVENOR_STARTUP_PEER")
fi
if [ -n "${BASELINE:-}" ]; then
    commands+=(-n baseline "$build/bench/WaitFrame Calvenor $BASELINE")
fi
commands+=(-n calvenor "$build/bench/WaitFrame Calvenor $build/app/calvenor")
rounds=$(((runs + 9) / 10))
rm -f "$build"/startup-"$CALVENOR_STARTUP_MODE"-*.json # left by a run that stopped early
for ((round = 1; round <= rounds; round++)); do
    hyperfine -N --warmup 3 --runs 10 \
        --export-json "$build/startup-$CALVENOR_STARTUP_MODE-$round.json" "${commands[@]}" >/dev/null
done
python3 - "$CALVENOR_STARTUP_MODE" "$build"/startup-"$CALVENOR_STARTUP_MODE"-*.json <<'EOF'
import json, statistics, sys
times = {}
for name in sys.argv[2:]:
    for x in json.load(open(name))["results"]:
        times.setdefault(x["command"], []).extend(x["times"])
r = {k: 1000 * statistics.median(v) for k, v in times.items()}
line = "X server %s between runs, %d runs each: median bare %.1f ms, text %.1f ms" % (
    "idle" if sys.argv[1] == "idle" else "resetting", len(times["bare"]), r["bare"], r["text"])
if "peer" in r:
    line += ", peer chart %.1f ms" % r["peer"]
line += ", calvenor %.1f ms; calvenor %+.1f %% against text" % (
    r["calvenor"], 100 * (r["calvenor"] / r["text"] - 1))
if "peer" in r:
    line += ", %+.1f %% against the peer chart" % (100 * (r["calvenor"] / r["peer"] - 1))
if "baseline" in r:
    line += "; baseline %.1f ms, calvenor %+.1f %% against it" % (
        r["baseline"], 100 * (r["calvenor"] / r["baseline"] - 1))
print(line)
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
