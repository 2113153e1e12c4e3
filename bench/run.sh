#!/usr/bin/env bash
# Runs the benchmarks on an optimised build: the full update against board-sim's model of a real
# 115200 8N2 line, reporting the measured time, the wire-time floor and their ratio.
source "$(dirname "$0")/../scripts/setup.sh"
ensure_packages "${TREVANE_PACKAGES[@]}"
build_preset dev update_bench
"$TREVANE_ROOT/build/dev/bin/update_bench" --baud 115200 --write-ms 0 --runs 3
"$TREVANE_ROOT/build/dev/bin/update_bench" --baud 115200 --write-ms 5 --runs 1
