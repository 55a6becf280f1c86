#!/usr/bin/env bash
# Measures the real game under a virtual X server (SDL dummy audio, default settings):
#   - time from exec to the first title frame on the screen (screenshots polled; about 0.1 s
#     resolution), and to the window's appearance;
#   - processor use of the whole game process, percent of one core, over 30 s on the title and
#     30 s in a game (user + system time from /proc).
# Usage: bench/game_measure.sh [build folder]   (default build/default; needs its stage target)
set -u
BUILD=${1:-build/default}
STAGE="$BUILD/stage"
[ -x "$STAGE/kelvorine" ] || { echo "no staging folder in $BUILD (cmake --build $BUILD --target stage)"; exit 1; }
SECONDS_EACH=${SECONDS_EACH:-30}
WORK=$(mktemp -d /tmp/kelvorine-measure-XXXXXX)
cp -r "$STAGE" "$WORK/game"
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$WORK/display" >/dev/null 2>&1 &
XVFB=$!
trap 'kill $GAME $XVFB 2>/dev/null; rm -rf "$WORK"' EXIT
for _ in $(seq 50); do [ -s "$WORK/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -1 "$WORK/display")"

now() { date +%s.%N; }
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
HZ=$(getconf CLK_TCK)

cd "$WORK/game"
t0=$(now)
SDL_AUDIODRIVER=dummy ./kelvorine >/dev/null 2>&1 &
GAME=$!
W=
while [ -z "$W" ]; do W=$(xdotool search --onlyvisible --name '^Kelvorine$' 2>/dev/null | head -1); done
t_window=$(now)
WX=$(xwininfo -id "$W" | awk '/Absolute upper-left X/{print $4}')
WY=$(xwininfo -id "$W" | awk '/Absolute upper-left Y/{print $4}')
while :; do
    s=$(import -window root -crop "460x110+$((WX + 500))+$((WY + 135))" +repage -colorspace Gray \
        -format '%[fx:standard_deviation]' info: 2>/dev/null)
    awk -v s="${s:-0}" 'BEGIN { exit !(s > 0.05) }' && break
done
t_title=$(now)
echo "exec to window: $(echo "$t_window - $t0" | bc) s; exec to first title frame: $(echo "$t_title - $t0" | bc) s"

measure() {
    local c0 c1 w0 w1
    c0=$(cpu_ticks $GAME); w0=$(now)
    sleep "$SECONDS_EACH"
    c1=$(cpu_ticks $GAME); w1=$(now)
    echo "$1: $(echo "scale=1; 100 * ($c1 - $c0) / $HZ / ($w1 - $w0)" | bc) % of one core over $SECONDS_EACH s"
}
measure title
xdotool windowfocus --sync "$W"; xdotool keydown z; sleep 0.08; xdotool keyup z
sleep 3
measure play
xdotool windowfocus --sync "$W"; xdotool keydown Escape; sleep 0.08; xdotool keyup Escape
wait $GAME
echo "exit code $?"
