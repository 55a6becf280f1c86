#!/usr/bin/env bash
# The software presentation path draws the same picture as OpenGL: the game runs once with
# KELVORINE_RENDER=gl and once with KELVORINE_RENDER=soft, and the screenshots agree
#   - on the title, where the background scrolls: per-channel means of the whole screen (the
#     scrolling backdrop always shows one full period, so they do not depend on the moment) and
#     of the logo and menu;
#   - in a paused game, which is a still picture: the whole screen, pixel by pixel.
# A shader file missing makes both paths fail the same way (the initialisation message).
source "$(dirname "$0")/game_lib.bash"

need_stage
start_x

# channel_means SHOT GEOMETRY: "r g b" means (0..1) of a region.
channel_means() {
    convert "$SHOTS/$1.png" -crop "$2" +repage -format '%[fx:mean.r] %[fx:mean.g] %[fx:mean.b]' info:
}

# close_means A B LIMIT: every channel mean of A within LIMIT of B's.
close_means() {
    awk -v a="$1" -v b="$2" -v lim="$3" 'BEGIN {
        split(a, x, " "); split(b, y, " ");
        for (i = 1; i <= 3; ++i) { d = x[i] - y[i]; if (d < 0) d = -d; if (d > lim) exit 1 }
        exit 0 }'
}

WHOLE=1280x720+0+0
LOGO=460x110+500+135
MENU=300x270+500+400
BORDER=20x600+497+40
PAUSE_TEXT=170x50+570+295

run_path() {
    local path=$1
    export KELVORINE_RENDER=$path
    start_game
    find_window
    settle "title_$path" 20 'above "$(spread title_$path $LOGO)" 0.05 && above "$(spread title_$path $MENU)" 0.05' ||
        fail "$path: the title logo or menu is blank"
    sleep 0.5  # the menu has opened
    shot "title_$path"
    press z
    settle "game_$path" 30 'above "$(brightness game_$path $BORDER)" 0.38' || fail "$path: the game did not fade in"
    press a
    settle "pause_$path" 10 'above "$(brightness pause_$path $PAUSE_TEXT)" "$(brightness game_$path $PAUSE_TEXT)"' ||
        fail "$path: no pause text"
    sleep 0.3
    shot "pause_$path"
    press Escape
    local code
    code=$(wait_exit 100)
    [ "$code" = 0 ] || fail "$path: exit code $code after Esc"
    unset KELVORINE_RENDER
}

run_path gl
run_path soft

for region in $WHOLE $LOGO $MENU; do
    g=$(channel_means title_gl "$region")
    s=$(channel_means title_soft "$region")
    echo "title $region: gl $g / soft $s"
    close_means "$g" "$s" 0.03 || fail "title $region differs: gl $g, soft $s"
done

d=$(difference pause_gl pause_soft $WHOLE)
echo "paused game, whole screen: RMS difference $d"
above 0.01 "$d" || fail "the paused game differs between the paths (RMS $d)"
g=$(channel_means pause_gl $WHOLE)
s=$(channel_means pause_soft $WHOLE)
close_means "$g" "$s" 0.005 || fail "paused game colours differ: gl $g, soft $s"

# Without the pixel shader file the software path fails as OpenGL does.
mv "$GAME_DIR/SamplePS.glsl" "$GAME_DIR/SamplePS.glsl.away"
export KELVORINE_RENDER=soft
start_game
boxes=$(close_boxes 150)
code=$(wait_exit 100)
[ "$code" = 0 ] || fail "exit code $code without a shader file"
[ "$boxes" -ge 1 ] || fail "no message box without a shader file"
grep -q "DirectGraphics" "$WORK/stderr" || fail "the initialisation message is missing: $(cat "$WORK/stderr")"
echo "software and OpenGL pictures agree; a missing shader file fails the same way"
