#!/usr/bin/env bash
# The real game under a virtual X server: the title appears, DECISION starts a game after the
# fade, the board and the next pieces appear, a second copy leaves at once, Alt+Enter switches to a borderless window over the
# screen and back to the framed window where it was, PAUSE hides the board behind "P A U S E", and Esc
# writes "Game.ini" and "dir.txt" and ends with exit code 0.
source "$(dirname "$0")/game_lib.bash"

need_stage
start_x
touch -d '2001-01-01' "$GAME_DIR/Game.ini" "$GAME_DIR/dir.txt"
start_game
find_window

# Regions of the 1280 x 720 picture.
LOGO=460x110+500+135
MENU=300x270+500+400
WELL=250x600+520+40
NEXT=380x520+810+20
PAUSE_TEXT=170x50+570+295
BORDER=20x600+497+40

settle title 20 'above "$(spread title $LOGO)" 0.05 && above "$(spread title $MENU)" 0.05' ||
    fail "the title logo or menu is blank"

# A second copy on the same display leaves at once with exit code 0 and no window of its own.
second=$(cd "$GAME_DIR" && SDL_AUDIODRIVER=dummy timeout 10 ./kelvorine >/dev/null 2>&1; echo $?)
[ "$second" = 0 ] || fail "the second copy ended with $second"
[ "$(xdotool search --onlyvisible --name '^Kelvorine$' | wc -l)" = 1 ] || fail "two game windows"

# Alt+Enter: borderless over the whole screen, then back.
geometry() { xwininfo -id "$W" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4} /Width:/{w=$2} /Height:/{h=$2} END{print w "x" h "+" x "+" y}'; }
framed=$(geometry)
toggle() {
    timeout 5 xdotool windowfocus --sync "$W" >/dev/null 2>&1
    timeout 5 xdotool keydown alt+Return
    sleep 0.08
    timeout 5 xdotool keyup alt+Return
}
toggle
for _ in $(seq 50); do [ "$(geometry)" = "1920x1080+0+0" ] && break; sleep 0.1; done
[ "$(geometry)" = "1920x1080+0+0" ] || fail "Alt+Enter gave $(geometry), not the whole screen"
toggle
for _ in $(seq 50); do [ "$(geometry)" = "$framed" ] && break; sleep 0.1; done
[ "$(geometry)" = "$framed" ] || fail "the second Alt+Enter gave $(geometry), not $framed"
timeout 5 xdotool windowfocus --sync "$W"

press z
# The fade to black, then the game fades in (a key lost on a busy machine is pressed again).
if ! settle game 30 'above "$(brightness game $BORDER)" 0.38'; then
    press z
    settle game 30 'above "$(brightness game $BORDER)" 0.38' || fail "the game did not fade in"
fi
above "$(spread game $WELL)" 0.06 || fail "the well is blank"
above "$(spread game $NEXT)" 0.08 || fail "the next pieces are blank"
above "$(difference title game $MENU)" 0.05 || fail "the title is still shown after DECISION"

press_until a pause 'above "$(difference game pause $NEXT)" 0.03 &&
                 above "$(brightness pause $PAUSE_TEXT)" "$(brightness game $PAUSE_TEXT)"' ||
    fail "the pause left the next pieces shown or shows no pause text"

press Escape
code=$(wait_exit 100)
[ "$code" = 0 ] || fail "exit code $code after Esc"
[ "$GAME_DIR/Game.ini" -nt "$WORK/display" ] || fail "Game.ini was not written"
[ "$GAME_DIR/dir.txt" -nt "$WORK/display" ] || fail "dir.txt was not written"
[ "$(stat -c %s "$GAME_DIR/Game.ini")" = 512 ] || fail "Game.ini is not 512 bytes"
echo "logo $(spread title $LOGO) menu $(spread title $MENU) well $(spread game $WELL) next $(spread game $NEXT)"
echo "next after pause $(difference game pause $NEXT); pause text $(brightness game $PAUSE_TEXT) -> $(brightness pause $PAUSE_TEXT)"
echo "title, game, pause and quit: ok"
