#!/usr/bin/env bash
# Builds the updater and starts it against board-sim, the built-in board simulator, so that it
# finds a board with no hardware attached. Your own stored port choice is not touched: this run
# keeps its settings in a folder of its own.
#   scripts/start.sh [PRODUCT]      PRODUCT: a folder of firmware/images (default zq710c)
source "$(dirname "$0")/setup.sh"

product=${1:-zq710c}
ensure_packages "${TREVANE_PACKAGES[@]}"
build_preset dev "trevane_${product}" board-sim

bin="$TREVANE_ROOT/build/dev/bin"
work=$(mktemp -d "${TMPDIR:-/tmp}/trevane-demo.XXXXXX")
cleanup() {
    [ -n "${sim_pid:-}" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# The simulator's port appears as COM200 in a port-link folder private to this run.
export TREVANE_PORTS="$work/ports"
mkdir -p "$TREVANE_PORTS"
# It answers as the board the demo firmware is made for: a PIC24HJ64 (chip code 254) on board 2,
# preparation 0x81, behind a bootloader with BIOS code 0x0A, at the speed of a real line.
"$bin/board-sim" --port COM200 --chip 254 --bios 10 --board 2 --prep 0x81 \
    --description "Trevane demo board" --baud 115200 >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
for _ in $(seq 100); do
    grep -q '^ready' "$work/sim.out" 2>/dev/null && break
    kill -0 "$sim_pid" 2>/dev/null || { cat "$work/sim.err" >&2; exit 1; }
    sleep 0.05
done
grep -q '^ready' "$work/sim.out" || { echo "board-sim did not start" >&2; exit 1; }
echo "board-sim is listening on COM200 ($(cut -d' ' -f3 "$work/sim.out"))"

# Selected port 199 is COM200.
export XDG_CONFIG_HOME="$work/config"
mkdir -p "$XDG_CONFIG_HOME/trevane"
printf '[Software\\Dravik\\Trevane]\n"com"="199"\n' >"$XDG_CONFIG_HOME/trevane/trevane.reg"

"$bin/$product/trevane" "${@:2}"
