#!/usr/bin/env bash
# Takes the screenshots of docs/: the four windows and the station window in typical states, on a
# virtual X display, with board-sim as the board. Rerun after a change to the windows.
source "$(dirname "$0")/setup.sh"
ensure_packages "${TREVANE_PACKAGES[@]}" xvfb xauth xdotool imagemagick
build_preset dev trevane_zq710c trevane_hbd200 trevane_station_zq710c board-sim

bin="$TREVANE_ROOT/build/dev/bin"
docs="$TREVANE_ROOT/docs"
work=$(mktemp -d "${TMPDIR:-/tmp}/trevane-shots.XXXXXX")
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

export DISPLAY=:97
Xvfb "$DISPLAY" -noreset -screen 0 1366x768x24 >/dev/null 2>&1 &
pids+=($!)
export TREVANE_PORTS="$work/ports" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$TREVANE_PORTS" "$XDG_CONFIG_HOME/trevane" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
printf '[Software\\Dravik\\Trevane]\n"com"="199"\n' >"$XDG_CONFIG_HOME/trevane/trevane.reg"
sleep 1

sim() {
    "$bin/board-sim" --port COM200 --chip 254 --bios 10 --board 2 --prep 0x81 \
        --description "Trevane demo board" "$@" >"$work/sim.out" &
    pids+=($!)
    until grep -q '^ready' "$work/sim.out" 2>/dev/null; do sleep 0.05; done
}

window() { # NAME: waits for the window and prints its id
    local id=""
    for _ in $(seq 200); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1)
        [ -n "$id" ] && break
        sleep 0.05
    done
    [ -n "$id" ] || { echo "no window $1" >&2; exit 1; }
    echo "$id"
}

shoot() { # WINDOW FILE
    sleep 1
    import -window "$1" "$docs/$2"
    echo "docs/$2"
}

mkdir -p "$docs"

# The Updater window after a successful update, then its two dialogs.
sim
"$bin/zq710c/trevane" &
pids+=($!)
main=$(window "Updater 2.7")
xdotool windowfocus --sync "$main" key alt+u
sleep 3
shoot "$main" updater.png
eval "$(xdotool getwindowgeometry --shell "$main")"
xdotool mousemove --sync $((X + 250)) $((Y + 95)) click --repeat 2 1 # the identity label
shoot "$(window '^ZQ710c 01.02')" version.png
xdotool key alt+o
xdotool windowfocus --sync "$main" key alt+c
shoot "$(window '^Setup$')" port-setup.png
xdotool key Escape
kill "${pids[-1]}" "${pids[-2]}"
sleep 0.5

# The Upgrade window in the middle of an update over a line as slow as a real one.
sim --baud 115200
"$bin/hbd200/trevane" &
pids+=($!)
upgrade=$(window "Upgrade 1.0")
xdotool windowfocus --sync "$upgrade" key space
sleep 3
shoot "$upgrade" upgrade.png
kill "${pids[-1]}" "${pids[-2]}"
sleep 0.5

# The station window with six bays: boards that came at different moments, one that fails, and
# a bay whose adapter is out.
cat >"$work/bays.txt" <<'BAYS'
A1 COM200
A2 COM201
A3 COM202
B1 COM203
B2 COM204
B3 COM205
BAYS
for board in "COM200" "COM201 --answer-after 40" "COM202 --silent 60" "COM203 --answer-after 20" \
            "COM204 --answer-after 65"; do
    set -- $board
    port=$1
    shift
    "$bin/board-sim" --port "$port" --chip 254 --bios 10 --board 2 --prep 0x81 --baud 115200 \
        "$@" >"$work/$port.out" &
    pids+=($!)
    until grep -q '^ready' "$work/$port.out" 2>/dev/null; do sleep 0.05; done
done
XDG_DATA_HOME="$work/data" "$bin/zq710c/trevane-station" --bays "$work/bays.txt" \
    --operator "Shift A" COM200 COM201 COM202 COM203 COM204 COM205 &
pids+=($!)
station=$(window "Trevane Station")
sleep 7
shoot "$station" station.png
