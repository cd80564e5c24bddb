#!/usr/bin/env bash
# Times process start to the first mapped and painted window of Calvenor against a bare Qt window,
# side by side in one hyperfine run on an Xvfb display, and reports Calvenor's peak memory.
# Usage: bench/startup/startup.sh [build folder, default build/release]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/release}
runs=${RUNS:-30}
here=bench/startup

run_on_display() {
    hyperfine -N --warmup 3 --runs "$runs" --export-markdown "$build/startup.md" \
        -n bare "$here/wait-window.sh $build/bench/BareWindow Bare" \
        -n calvenor "$here/wait-window.sh $build/app/calvenor Calvenor"
    # Peak resident memory of a Calvenor process that runs until its window is up.
    /usr/bin/time -f "calvenor peak RSS: %M KiB" bash -c "
        $build/app/calvenor & pid=\$!
        xdotool search --sync --onlyvisible --name '^Calvenor\$' >/dev/null
        sleep 0.5
        grep VmHWM /proc/\$pid/status
        kill \$pid; wait \$pid 2>/dev/null; true"
}
export -f run_on_display
export build runs here
xvfb-run -a -s "-screen 0 1024x768x24" bash -c run_on_display
