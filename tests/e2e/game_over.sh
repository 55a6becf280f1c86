#!/usr/bin/env bash
# A whole game to its end with timer mode "No Wait" and vertical sync off: Down is held in bursts
# until the stack reaches the top and the title returns; the ranking screen then shows the new
# score, and "Game.ini" keeps it after Esc.
source "$(dirname "$0")/game_lib.bash"

need_stage
# No Wait (byte 18 = 3), vertical sync off (byte 3 = 0); the rest as the defaults.
set_byte "$GAME_DIR/Game.ini" 18 3
set_byte "$GAME_DIR/Game.ini" 3 0
GAME_TIMEOUT=300
start_x
start_game
find_window

LOGO=460x110+500+135
MENU=420x300+440+450
BORDER=20x600+497+40
HEADING=130x45+592+32  # "RANKING" over the panel
SCORE1=60x40+840+82   # leading digits of the best score (empty for a score of 0)

settle title0 20 'above "$(spread title0 $LOGO)" 0.05' || fail "no title"

# The title cursor on each item, to find it again later.
sleep 1
shot cursor0
# The scrolling backdrop alone changes the menu region by about 0.05, a moved cursor by 0.16.
moved() { above "$(difference "$1" "$2" "$MENU")" 0.11; }
press_until Down cursor1 'moved cursor0 cursor1' || fail "Down does not move the cursor"
press_until z ranking_before 'above "$(brightness ranking_before $HEADING)" 0.3' || fail "no ranking panel"
press_until z closed 'above 0.25 "$(brightness closed $HEADING)"' || fail "the ranking panel stays"
press_until Down cursor2 'moved cursor1 cursor2 && moved cursor0 cursor2' || fail "Down does not move the cursor"
press_until Down back 'moved cursor2 back' || fail "Down does not move the cursor"

# cursor_item SHOT: the title item the cursor is on in SHOT.
cursor_item() {
    local best=0 bestd=9 d
    for k in 0 1 2; do
        d=$(difference "$1" "cursor$k" "$MENU")
        if awk -v a="$d" -v b="$bestd" 'BEGIN { exit !(a < b) }'; then best=$k; bestd=$d; fi
    done
    echo "$best"
}
[ "$(cursor_item back)" = 0 ] || fail "cursor references do not tell the items apart"

press z
if ! settle game 30 'above "$(brightness game $BORDER)" 0.38'; then
    press z
    settle game 30 'above "$(brightness game $BORDER)" 0.38' || fail "the game did not start"
fi

# Soft drop in bursts until the title is back (three pieces in a row locked without falling).
end=$((SECONDS + 180))
over=0
bursts=0
while [ "$SECONDS" -lt "$end" ]; do
    timeout 5 xdotool keydown Down
    sleep 1
    timeout 5 xdotool keyup Down
    shot play
    bursts=$((bursts + 1))
    [ "$bursts" = 5 ] && cp "$SHOTS/play.png" "$SHOTS/midgame.png"
    if above 0.12 "$(difference title0 play $LOGO)"; then over=1; break; fi
done
[ "$over" = 1 ] || fail "the game did not end"
cp "$SHOTS/play.png" "$SHOTS/title_again.png"
settle title_again 20 'above 0.12 "$(difference title0 title_again $LOGO)" && above "$(spread title_again $LOGO)" 0.05' ||
    fail "the title did not return"
sleep 1
shot title_again

# To the ranking item, wherever the cursor ended up, and open it (a key lost on a busy machine
# is pressed again).
opened=0
for _ in $(seq 8); do
    shot now
    if [ "$(cursor_item now)" != 1 ]; then
        press Down
        sleep 0.7
        continue
    fi
    press z
    if settle ranking_after 6 'above "$(brightness ranking_after $HEADING)" 0.3'; then opened=1; break; fi
done
[ "$opened" = 1 ] || fail "the ranking panel did not open"
sleep 1
shot ranking_after
above "$(brightness ranking_after $SCORE1)" "$(brightness ranking_before $SCORE1) + 0.06" ||
    fail "the ranking shows no new score"
press z
sleep 1

press Escape
code=$(wait_exit 100)
[ "$code" = 0 ] || fail "exit code $code after Esc"
score=$(od -An -t d4 -j 36 -N 4 "$GAME_DIR/Game.ini" | tr -d ' ')
[ "$score" -gt 0 ] || fail "no score in the ranking of Game.ini"
echo "best score $score; score digits $(brightness ranking_before $SCORE1) -> $(brightness ranking_after $SCORE1)"
echo "a whole game, its ranking entry and the settings file: ok"
