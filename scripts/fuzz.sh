#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time on its seed corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-30}

CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCALVENOR_FUZZ=ON -DCALVENOR_TESTS=OFF -DCALVENOR_BENCH=OFF
cmake --build build/fuzz -j"$(nproc)"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/support/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
shopt -s nullglob
for fuzzer in build/fuzz/fuzz/*Fuzz; do
    name=$(basename "$fuzzer")
    work="build/fuzz/corpus/$name"
    mkdir -p "$work"
    seeds=()
    [ -d "fuzz/corpus/$name" ] && seeds=("fuzz/corpus/$name")
    echo "-- $name for ${seconds}s"
    "$fuzzer" -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=4096 \
        -print_final_stats=1 "$work" "${seeds[@]}" 2>&1 | tail -n 12
    test "${PIPESTATUS[0]}" -eq 0
done
