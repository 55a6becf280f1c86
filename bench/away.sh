#!/usr/bin/env bash
# What the game costs while the player is away, on a desktop with a window manager (openbox on a
# private Xvfb): processor time of the game (all its threads) over SECONDS (10) from
# /proc/<pid>/stat, with the game on the title and active, with another window active, and
# minimised; and the writes to the X connection afterwards (none: nothing presented), when
# strace is there. The path is the software one unless KELVORINE_RENDER says otherwise.
#   bench/away.sh [build folder]     (default build/default)
set -u
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$(cd "${1:-$ROOT/build/default}" && pwd)
SECONDS_MEASURED=${SECONDS_MEASURED:-10}
export KELVORINE_RENDER=${KELVORINE_RENDER:-soft}
source "$ROOT/tests/e2e/game_lib.bash" "$ROOT" "$BUILD"

need_stage
start_x
start_wm
start_game
find_window
sleep 3
PID=$(game_pid)
TICKS=$(getconf CLK_TCK)

# cost NAME: percent of one core over the measured seconds, and X writes if strace is there.
cost() {
    local t0 t1 writes=n/a
    t0=$(awk '{print $14 + $15}' "/proc/$PID/stat")
    sleep "$SECONDS_MEASURED"
    t1=$(awk '{print $14 + $15}' "/proc/$PID/stat")
    # Traced afterwards (tracing itself costs time): writes to the X connection in 5 s.
    if command -v strace >/dev/null; then
        timeout -s INT 5 strace -f -c -e trace=write,writev,sendmsg,sendto -p "$PID" -o "$WORK/strace" 2>/dev/null
        writes=$(awk '/total/{print $4}' "$WORK/strace")
    fi
    printf '%-10s %6.2f %% of a core   %s writes in 5 s\n' "$1" \
        "$(awk "BEGIN { print 100 * ($t1 - $t0) / $TICKS / $SECONDS_MEASURED }")" "${writes:-0}"
}

cost active
xlogo -geometry 300x200+1600+850 >/dev/null 2>&1 &
OTHER=$!
sleep 2
cost inactive
timeout 5 xdotool windowminimize --sync "$W"
sleep 1
cost minimised
kill "$OTHER" 2>/dev/null
timeout 5 wmctrl -i -a "$W"
sleep 1
press Escape
[ "$(wait_exit 100)" = 0 ] || kill "$PID" 2>/dev/null
