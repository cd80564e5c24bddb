#!/usr/bin/env bash
# Starts a program and returns once its window with the given title is mapped on the X display, or
# once the program has ended by itself; then ends the program. Used to time process start to the
# first frame from outside.
set -u
program=$1
title=$2
"$program" &
pid=$!
while kill -0 "$pid" 2>/dev/null; do
    if xdotool search --onlyvisible --name "^${title}\$" >/dev/null 2>&1; then
        break
    fi
done
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
exit 0
