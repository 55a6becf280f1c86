#!/usr/bin/env bash
# Takes the README's screenshots from the real game under a private Xvfb: title, a game, the pause,
# the game-over picture, the ranking (with that game's score) and the options, each 1280 x 720.
#   scripts/screenshots.sh [OUT]   (default OUT: docs/; needs the staging folder of build/default)
# The game is played by held keys: pieces are spread over the well, then pushed down until the
# stack reaches the top. Look at every picture before committing it.
set -u
ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT=$(realpath -m "${1:-$ROOT/docs}")
source "$ROOT/tests/e2e/game_lib.bash" "$ROOT" "$ROOT/build/default"
need_stage
mkdir -p "$OUT"
GAME_TIMEOUT=400
start_x
LOGO=460x110+500+135     # the title's logo
HEADING=130x45+592+32    # "RANKING" over its panel
LABEL=120x30+326+54      # "SCREEN MODE" over the options panel
PICTURE=600x100+340+270  # the middle of the game-over picture
keep() { shot "$1"; cp "$SHOTS/$1.png" "$OUT/screenshot-$1.png"; }
hold() { timeout 5 xdotool keydown "$1"; sleep "$2"; timeout 5 xdotool keyup "$1"; }

start_game
find_window
settle title 20 'above "$(spread title $LOGO)" 0.05' || fail "no title"
sleep 2
keep title
press z
sleep 3
for moves in "Left Left Left Left" "Right Right Right Right" "Left Left" "Right Right" "" \
    "Left Left Left Left" "Right Right Right Right Right" "z Left" "z Right Right" "x"; do
    for m in $moves; do press "$m"; sleep 0.45; done
    hold Down 1.6
    sleep 0.3
done
sleep 1
keep game
press a
sleep 1
keep pause
press a
sleep 1
# The game-over picture is the brightest thing that ever covers the middle of the well.
best=0
end=$((SECONDS + 150))
while [ "$SECONDS" -lt "$end" ]; do
    hold Down 0.3
    shot now
    b=$(brightness now $PICTURE)
    if above "$b" "$best" && above "$b" 0.2; then best=$b; cp "$SHOTS/now.png" "$OUT/screenshot-gameover.png"; fi
    above 0.12 "$(difference title now $LOGO)" && break
done
above "$best" 0 || fail "no game-over picture seen"
sleep 2
press Escape
wait_exit 60 >/dev/null

start_game
find_window
settle title2 20 'above "$(spread title2 $LOGO)" 0.05' || fail "no title"
sleep 2
press Down
sleep 0.5
press_until z ranking 'above "$(brightness ranking $HEADING)" 0.3' || fail "no ranking panel"
sleep 1
keep ranking
press_until z closed 'above 0.25 "$(brightness closed $HEADING)"' || fail "the ranking panel stays"
sleep 0.5
press Down
sleep 0.5
press_until z options 'above "$(brightness options $LABEL)" 0.12' || fail "no options panel"
sleep 1
keep options
press Escape
wait_exit 60 >/dev/null
echo "screenshots in $OUT"
