#!/usr/bin/env bash
# Runs the benchmarks on an optimised build: full updates against board-sim's model of a real
# 115200 8N2 line, one board (measured time, wire-time floor and their ratio), then four boards
# at once against one alone (both times, their ratio, processor time per board).
source "$(dirname "$0")/../scripts/setup.sh"
ensure_packages "${TREVANE_PACKAGES[@]}"
build_preset dev update_bench
"$TREVANE_ROOT/build/dev/bin/update_bench" --baud 115200 --write-ms 0 --runs 3 --boards 4
"$TREVANE_ROOT/build/dev/bin/update_bench" --baud 115200 --write-ms 5 --runs 1 --boards 0
