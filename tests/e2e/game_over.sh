#!/usr/bin/env bash
# A whole game to its end with timer mode "No Wait" and vertical sync off: Down is held in bursts
# until the stack reaches the top and the title returns; "Game.ini" keeps the score after Esc, and
# the ranking screen then shows it.
source "$(dirname "$0")/game_lib.bash"

need_stage
# Menus are calibrated and read in the default timer mode, where a key held for 80 ms is a
# handful of frames and moves a cursor exactly once. The game itself runs in "No Wait" (byte 18 =
# 3) with vertical sync off (byte 3 = 0): there a held key spans dozens of frames and would move a
# menu cursor an unpredictable number of times, so the run with the game does no menu work.
set_byte "$GAME_DIR/Game.ini" 3 0
set_byte "$GAME_DIR/Game.ini" 18 0
GAME_TIMEOUT=300
start_x

LOGO=460x110+500+135
BORDER=20x600+497+40
HEADING=130x45+592+32  # "RANKING" over the panel
SCORE1=60x40+840+82   # leading digits of the best score (empty for a score of 0)

quit_game() {
    press Escape
    local code
    code=$(wait_exit 100)
    [ "$code" = 0 ] || fail "exit code $code after Esc"
}

# Run 1 (default timer): the title, the cursor on each item, the empty ranking.
start_game
find_window
settle title0 20 'above "$(spread title0 $LOGO)" 0.05' || fail "no title"
sleep 1
shot cursor0
# cursor_item SHOT: the title item the cursor is on in SHOT. The cursor is a band drawn 470 + 96k
# pixels down under item k, clear of the item words: its strip is the brightest of the three.
cursor_item() {
    local best=0 bestb=-1 b
    for k in 0 1 2; do
        b=$(brightness "$1" "376x3+472+$((470 + 96 * k))")
        if awk -v a="$b" -v c="$bestb" 'BEGIN { exit !(a > c) }'; then best=$k; bestb=$b; fi
    done
    echo "$best"
}
moved() { [ "$(cursor_item "$1")" != "$(cursor_item "$2")" ]; }
[ "$(cursor_item cursor0)" = 0 ] || fail "the cursor does not start on the first item"
press_until Down cursor1 'moved cursor0 cursor1' || fail "Down does not move the cursor"
press_until z ranking_before 'above "$(brightness ranking_before $HEADING)" 0.3' || fail "no ranking panel"
press_until z closed 'above 0.25 "$(brightness closed $HEADING)"' || fail "the ranking panel stays"
press_until Down cursor2 'moved cursor1 cursor2 && moved cursor0 cursor2' || fail "Down does not move the cursor"
press_until Down back 'moved cursor2 back' || fail "Down does not move the cursor"
[ "$(cursor_item cursor2)" = 2 ] && [ "$(cursor_item back)" = 0 ] || fail "the cursor does not wrap from the last item to the first"
quit_game

# Run 2 (No Wait, vertical sync off): a whole game as fast as the machine allows.
set_byte "$GAME_DIR/Game.ini" 18 3
start_game
find_window
settle title1 20 'above "$(spread title1 $LOGO)" 0.05' || fail "no title in No Wait mode"
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
quit_game
score=$(od -An -t d4 -j 36 -N 4 "$GAME_DIR/Game.ini" | tr -d ' ')
[ "$score" -gt 0 ] || fail "no score in the ranking of Game.ini"

# Run 3 (default timer again): the ranking screen shows the new score.
set_byte "$GAME_DIR/Game.ini" 18 0
start_game
find_window
settle title2 20 'above "$(spread title2 $LOGO)" 0.05' || fail "no title after the game"
sleep 1
opened=0
for _ in $(seq 12); do
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
quit_game
echo "best score $score; score digits $(brightness ranking_before $SCORE1) -> $(brightness ranking_after $SCORE1)"
echo "a whole game, its ranking entry and the settings file: ok"
