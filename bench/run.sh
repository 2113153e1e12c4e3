#!/usr/bin/env bash
# Runs the benchmarks on an optimised build: full updates against board-sim's model of a real
# 115200 8N2 line, one board (measured time, wire-time floor and their ratio), then four boards
# at once against one alone (both times, their ratio, processor time per board); then behind a
# USB adapter with a 16 ms latency timer that ignores the low-latency request, and one that
# honours it (1 ms), and a board that takes 6 ms to write each frame behind the latter, each with
# the adapter's and the frames' answer times and the hint they would bring; sixteen boards at
# once against one; a full update through the Qt Updater window (offscreen), so that what the
# window costs shows against the same wire floor; the processor time that trevane-cli --watch
# takes while it watches eight ports with no board; last, the station window (offscreen):
# sixteen boards against one alone, the processor time per board and how late its event loop
# answered, and eight bays waiting with no board.
source "$(dirname "$0")/../scripts/setup.sh"
ensure_packages "${TREVANE_PACKAGES[@]}"
build_preset dev update_bench window_bench station_bench
"$TREVANE_ROOT/build/dev/bin/update_bench" --baud 115200 --write-ms 0 --runs 3 --boards 4
"$TREVANE_ROOT/build/dev/bin/update_bench" --baud 115200 --write-ms 0 --runs 1 --boards 16
"$TREVANE_ROOT/build/dev/bin/update_bench" --baud 115200 --write-ms 5 --runs 1 --boards 0
"$TREVANE_ROOT/build/dev/bin/update_bench" --baud 115200 --runs 1 --boards 0 --latency-ms 16
"$TREVANE_ROOT/build/dev/bin/update_bench" --baud 115200 --runs 3 --boards 0 --latency-ms 1
"$TREVANE_ROOT/build/dev/bin/update_bench" --baud 115200 --write-ms 6 --runs 1 --boards 0 --latency-ms 1
"$TREVANE_ROOT/build/dev/bin/window_bench" --baud 115200 --write-ms 0 --runs 3
"$TREVANE_ROOT/build/dev/bin/update_bench" --watch-idle 8
"$TREVANE_ROOT/build/dev/bin/station_bench" --boards 16
"$TREVANE_ROOT/build/dev/bin/station_bench" --idle 8
