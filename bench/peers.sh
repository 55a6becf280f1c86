#!/usr/bin/env bash
# Side-by-side resource use of the game and of the falling-block games Debian ships, in one run,
# under Xvfb with no sound device:
#   CPU    % of one core over SECONDS (default 30), from utime + stime in /proc/<pid>/stat, for the
#          game process and, separately, for its own X server (each program gets a fresh Xvfb);
#   memory peak resident set (VmHWM) of the game process at the end of the run.
# Each program is measured on its title or menu, then in a game (started from that menu); the
# game also on its ranking and options panels.
# vitetris is a terminal game and runs in tmux, so it has no X server figure.
# Then the game's title and panels once more, each beside ltris's menu: the two programs (each on
# its own X server) measured over the same seconds, so that both meet the same machine. On a
# shared machine a program's figure moves by a third from one measurement to the next; measured
# at once, the two move together.
#
#   bench/peers.sh BUILD_FOLDER [SECONDS]
#
# Missing peers are installed with apt-get (ltris, quadrapassel, vitetris, tmux). The game runs
# from a copy of BUILD_FOLDER/stage with SDL's dummy audio driver (it needs an output device;
# the peers run without one). KELVORINE_RENDER is passed through.
#
# With PEERS_SHOTS=FOLDER a screenshot of each X program is saved at the end of each measurement
# (program-screen.png), to check that each was where the table says.
set -u
export PATH="$PATH:/usr/games"
BUILD=${1:?build folder}
SECS=${2:-30}
SETTLE=4
WORK=$(mktemp -d /tmp/kelvorine-peers-XXXXXX)
XVFB_PID=
APP_PID=
PEER_PID=       # ltris beside the game, and its X server
PEER_XVFB_PID=
cleanup() {
    [ -n "$APP_PID" ] && kill "$APP_PID" 2>/dev/null
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
    [ -n "$PEER_PID" ] && kill "$PEER_PID" 2>/dev/null
    [ -n "$PEER_XVFB_PID" ] && kill "$PEER_XVFB_PID" 2>/dev/null
    tmux kill-session -t kelvorine-peers 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT
trap "exit 1" INT TERM

missing=()
for p in ltris quadrapassel vitetris tmux xdotool Xvfb; do command -v "$p" >/dev/null || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ]; then
    pkgs=$(printf '%s\n' "${missing[@]}" | sed 's/^Xvfb$/xvfb/' | tr '\n' ' ')
    echo "installing $pkgs" >&2
    DEBIAN_FRONTEND=noninteractive apt-get install -y $pkgs >/dev/null || { echo "apt-get failed" >&2; exit 1; }
fi
[ -x "$BUILD/stage/kelvorine" ] || { echo "no staging folder in $BUILD/stage" >&2; exit 1; }
cp -r "$BUILD/stage" "$WORK/game"

TICK=$(getconf CLK_TCK)
ticks() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0; }
hwm() { awk '/VmHWM/{printf "%.1f", $2 / 1024}' "/proc/$1/status" 2>/dev/null; }

# measure PID XPID: "game% x%" over SECS seconds (x% is "-" without an X server).
measure() {
    local a b xa=0 xb=0
    a=$(ticks "$1")
    [ -n "$2" ] && xa=$(ticks "$2")
    sleep "$SECS"
    b=$(ticks "$1")
    [ -n "$2" ] && xb=$(ticks "$2")
    local g x="-"
    g=$(awk -v d=$((b - a)) -v t="$TICK" -v s="$SECS" 'BEGIN {printf "%.1f", d * 100 / t / s}')
    [ -n "$2" ] && x=$(awk -v d=$((xb - xa)) -v t="$TICK" -v s="$SECS" 'BEGIN {printf "%.1f", d * 100 / t / s}')
    echo "$g $x"
}

# measure_pair PID XPID PEER PEERX: "game% x% peer% peerx%", the four over the same SECS seconds.
measure_pair() {
    local a b p
    a=$(for p in "$@"; do ticks "$p"; done)
    sleep "$SECS"
    b=$(for p in "$@"; do ticks "$p"; done)
    paste <(echo "$a") <(echo "$b") |
        awk -v t="$TICK" -v s="$SECS" '{printf "%.1f ", ($2 - $1) * 100 / t / s} END {print ""}'
}

start_x() {
    rm -f "$WORK/display"
    Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$WORK/display" >/dev/null 2>&1 &
    XVFB_PID=$!
    for _ in $(seq 50); do [ -s "$WORK/display" ] && break; sleep 0.1; done
    export DISPLAY=":$(head -1 "$WORK/display")"
}
stop_all() {
    [ -n "$APP_PID" ] && kill "$APP_PID" 2>/dev/null && sleep 0.5 && kill -9 "$APP_PID" 2>/dev/null
    wait "$APP_PID" 2>/dev/null
    APP_PID=
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
    wait "$XVFB_PID" 2>/dev/null
    XVFB_PID=
}
window_of() { timeout 20 xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -1; }
hold() {  # hold WINDOW KEY: about 100 ms, as the games poll key levels
    timeout 5 xdotool keydown --window "$1" "$2"; sleep 0.1; timeout 5 xdotool keyup --window "$1" "$2"; sleep 0.3
}

# click WINDOW X Y: the pointer is moved there first and the button held ~150 ms (SDL 1.2 games
# react to hover and to a press that lasts).
click() {
    timeout 5 xdotool mousemove --window "$1" "$2" "$3"; sleep 0.3
    timeout 5 xdotool mousedown 1; sleep 0.15; timeout 5 xdotool mouseup 1; sleep 0.8
}
shot() { [ -n "${PEERS_SHOTS:-}" ] && mkdir -p "$PEERS_SHOTS" && import -window root "$PEERS_SHOTS/$1.png" 2>/dev/null; }

ROWS=()
row() { ROWS+=("$(printf '%-13s %-8s %8s %8s %9s' "$1" "$2" "$3" "$4" "$5")"); }
# record PROGRAM SCREEN: one measurement of the running program and its X server, its table row,
# and (with PEERS_SHOTS) a screenshot named PROGRAM-SCREEN.
record() {
    local g x
    read -r g x < <(measure "$APP_PID" "$XVFB_PID")
    row "$1" "$2" "$g" "$x" "$(hwm "$APP_PID")"
    shot "$1-$2"
}

# ---------------------------------------------------------------- kelvorine
# kelvorine_screens MEASURE: starts the game on the current X server and runs MEASURE (record or
# pair) with "kelvorine SCREEN" on its title, then on the ranking and options panels (opened and
# closed with the decision key). The options panel is left open.
kelvorine_screens() {
    (cd "$WORK/game" && SDL_AUDIODRIVER=dummy exec ./kelvorine >/dev/null 2>&1) &
    APP_PID=$!
    W=$(window_of '^Kelvorine$')
    sleep "$SETTLE"
    "$1" kelvorine title
    timeout 5 xdotool windowfocus --sync "$W" 2>/dev/null
    hold "$W" Down; hold "$W" z
    sleep "$SETTLE"
    "$1" kelvorine ranking
    hold "$W" z; hold "$W" Down; hold "$W" z
    sleep "$SETTLE"
    "$1" kelvorine options
}
start_x
kelvorine_screens record
# Then a game.
hold "$W" z; hold "$W" Up; hold "$W" Up; hold "$W" z
sleep "$SETTLE"
record kelvorine game
stop_all

# ---------------------------------------------------------------- ltris (SDL 1.2)
start_x
(cd "$WORK" && exec ltris >/dev/null 2>&1) &
APP_PID=$!
W=$(window_of 'LTris')
sleep "$SETTLE"
record ltris menu
# ltris takes no synthetic key presses, but its menus follow the pointer (640 x 480 window):
# "New Game", then "Game:" from Demo to Classic (a demo would be the computer playing), then
# "Start Game". With nobody at the keys the pieces stack up slowly; the game lasts well past
# the measurement (see the screenshot).
click "$W" 170 266
click "$W" 200 323
click "$W" 170 226
sleep "$SETTLE"
record ltris game
stop_all

# ---------------------------------------------------------------- quadrapassel (GTK)
start_x
(cd "$WORK" && exec quadrapassel >/dev/null 2>&1) &
APP_PID=$!
W=$(window_of 'Quadrapassel')
sleep "$SETTLE"
record quadrapassel menu
# Return crashes its start screen; its Play button is clicked instead (the round button low in
# the side panel, at about 82 % of the width and 87 % of the height of the window).
eval "$(xdotool getwindowgeometry --shell "$W" 2>/dev/null)"
click "$W" $((WIDTH * 82 / 100)) $((HEIGHT * 87 / 100))
sleep "$SETTLE"
record quadrapassel game
stop_all

# ---------------------------------------------------------------- vitetris (terminal, in tmux)
tmux kill-session -t kelvorine-peers 2>/dev/null
tmux new-session -d -s kelvorine-peers -x 80 -y 30 vitetris
sleep 1
APP_PID=$(pgrep -n -x vitetris)
sleep "$SETTLE"
read -r g x < <(measure "$APP_PID" "")
row vitetris menu "$g" "$x" "$(hwm "$APP_PID")"
tmux send-keys -t kelvorine-peers Enter
sleep 0.5
tmux send-keys -t kelvorine-peers Enter
sleep "$SETTLE"
read -r g x < <(measure "$APP_PID" "")
row vitetris game "$g" "$x" "$(hwm "$APP_PID")"
tmux kill-session -t kelvorine-peers
APP_PID=

# ---------------------------------------------------------------- side by side with ltris's menu
PAIRS=()
# pair PROGRAM SCREEN: one line of the side-by-side table.
pair() {
    local g x pg px
    read -r g x pg px < <(measure_pair "$APP_PID" "$XVFB_PID" "$PEER_PID" "$PEER_XVFB_PID")
    PAIRS+=("$(printf '%-18s %8s %8s %8s   %-11s %8s %8s %8s' "$1 $2" "$g" "$x" \
        "$(awk -v a="$g" -v b="$x" 'BEGIN {printf "%.1f", a + b}')" "ltris menu" "$pg" "$px" \
        "$(awk -v a="$pg" -v b="$px" 'BEGIN {printf "%.1f", a + b}')")")
}
start_x
PEER_XVFB_PID=$XVFB_PID
(cd "$WORK" && exec ltris >/dev/null 2>&1) &
PEER_PID=$!
window_of 'LTris' >/dev/null
start_x
kelvorine_screens pair
stop_all
kill "$PEER_PID" "$PEER_XVFB_PID" 2>/dev/null
wait "$PEER_PID" "$PEER_XVFB_PID" 2>/dev/null
PEER_PID=
PEER_XVFB_PID=

echo "CPU in % of one core over ${SECS} s; memory = peak resident (VmHWM) in MB; $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-13s %-8s %8s %8s %9s\n' program screen "cpu%" "X cpu%" "peak MB"
printf '%s\n' "${ROWS[@]}"
echo
echo "Side by side: each line measured at once, over the same ${SECS} s (total = program + its X server)"
printf '%-18s %8s %8s %8s   %-11s %8s %8s %8s\n' program "cpu%" "X cpu%" total program "cpu%" "X cpu%" total
printf '%s\n' "${PAIRS[@]}"
