#!/usr/bin/env bash
# Starts a program and returns once its window with the given title is mapped on the X display;
# then ends the program. Used to time process start to the first frame from outside.
set -u
program=$1
title=$2
"$program" & pid=$!
xdotool search --sync --onlyvisible --name "^${title}\$" >/dev/null 2>&1
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
exit 0
