#!/usr/bin/env bash
# The game on a desktop with a window manager (openbox, with margins standing in for panels):
#  - covered by another window, inactive, then uncovered, the window shows the last presented
#    picture (never black), on the software and on the OpenGL presentation path; minimised and
#    activated again, the picture moves on;
#  - dragging each edge of the frame keeps the client area at 16:9, the opposite sides in place;
#  - Alt+Enter covers the whole monitor, panels included, and brings the framed placement back;
#  - the close button, SIGTERM, SIGINT, SIGHUP and the end of the X session each write
#    "Game.ini" and "dir.txt" and end with exit code 0;
#  - a display that does not exist ends the start at once (no invisible game keeping the
#    one-instance guard): the next start on the real display shows its window.
source "$(dirname "$0")/game_lib.bash"

need_stage
command -v xlogo >/dev/null || { echo "missing xlogo"; exit 77; }
start_x
mkdir -p "$WORK/openbox"
if [ -f /etc/xdg/openbox/rc.xml ]; then
    sed 's#<top>0</top>#<top>40</top>#; s#<left>0</left>#<left>30</left>#' /etc/xdg/openbox/rc.xml >"$WORK/openbox/rc.xml"
    start_wm "$WORK/openbox"
else
    start_wm
fi

LOGO=460x110+500+135
COVERED=500x300+300+150   # the part of the picture the other window covers

geometry() { xwininfo -id "$W" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4} /Width:/{w=$2} /Height:/{h=$2} END{print w " " h " " x " " y}'; }
active_window() { xprop -root _NET_ACTIVE_WINDOW | awk '{print $NF}'; }
stop_game() {
    wmctrl -c Kelvorine >/dev/null 2>&1
    [ "$(wait_exit 100)" = 0 ] || fail "$1: the game did not end with exit code 0 when closed"
}

# ---------------------------------------------------------------- never black, on both paths
for path in soft gl; do
    export KELVORINE_RENDER=$path
    start_game
    find_window
    settle "$path-title" 30 'above "$(spread $path-title $LOGO)" 0.05' || fail "$path: no title"
    read -r _ _ cx cy <<<"$(geometry)"
    xlogo -geometry "500x300+$((cx + 300))+$((cy + 150))" >/dev/null 2>&1 &
    other=$!
    o=
    for _ in $(seq 50); do
        o=$(active_window)
        [ "$(xprop -id "$o" WM_NAME 2>/dev/null | cut -d'"' -f2)" = xlogo ] && break
        o=
        sleep 0.1
    done
    [ -n "$o" ] || fail "$path: the other window did not become active"
    sleep 0.5
    # Uncovered, still inactive: the exposed part shows the picture again at once.
    timeout 5 xdotool windowmove --sync "$o" 1500 800
    sleep 1
    shot "$path-uncovered"
    sleep 1
    shot "$path-later"
    [ "$(active_window)" = "$o" ] || fail "$path: the other window lost the focus"
    # The title there: neither what the other (white) window left behind nor black.
    above 0.5 "$(brightness $path-uncovered $COVERED)" || fail "$path: the uncovered part was not repainted"
    above "$(spread $path-uncovered $COVERED)" 0.05 || fail "$path: the uncovered part of the inactive window is blank"
    above 0.002 "$(difference $path-uncovered $path-later 1280x720+0+0)" ||
        fail "$path: the inactive window changed its picture"
    # Minimised while the other window is active, then activated: the title moves on.
    timeout 5 xdotool windowminimize --sync "$W"
    sleep 1
    timeout 5 wmctrl -i -a "$W"
    settle "$path-back" 10 'above "$(difference $path-later $path-back 1280x720+0+0)" 0.01' ||
        fail "$path: the picture does not move on after activation"
    kill "$other" 2>/dev/null
    stop_game "$path"
done
export KELVORINE_RENDER=soft

# ---------------------------------------------------------------- 16:9 by the edge dragged
start_game
find_window
read -r fl fr ft fb <<<"$(xprop -id "$W" _NET_FRAME_EXTENTS | tr -d ',' | awk '{print $3, $4, $5, $6}')"
[ -n "$fb" ] || fail "no frame extents from the window manager"
# drag EDGE DISTANCE: drags the middle of that frame edge outward by DISTANCE (inward if negative).
drag() {
    local w h x y px py dx=0 dy=0
    read -r w h x y <<<"$(geometry)"
    case $1 in
        left) px=$((x - fl + fl / 2)); py=$((y + h / 2)); dx=$((-$2)) ;;
        right) px=$((x + w + fr / 2)); py=$((y + h / 2)); dx=$2 ;;
        top) px=$((x + w / 2)); py=$((y - ft)); dy=$((-$2)) ;;
        bottom) px=$((x + w / 2)); py=$((y + h + fb / 2)); dy=$2 ;;
    esac
    xdotool mousemove "$px" "$py"; sleep 0.2
    xdotool mousedown 1; sleep 0.2
    xdotool mousemove $((px + dx / 4)) $((py + dy / 4)); sleep 0.2
    xdotool mousemove $((px + dx)) $((py + dy)); sleep 0.3
    xdotool mouseup 1; sleep 1
}
for step in "left -160" "right 160" "top -90" "bottom 90" "bottom -90" "right -160" "left 160" "top 90"; do
    read -r edge distance <<<"$step"
    read -r w0 h0 x0 y0 <<<"$(geometry)"
    drag "$edge" "$distance"
    read -r w h x y <<<"$(geometry)"
    echo "$edge $distance: ${w0}x$h0+$x0+$y0 -> ${w}x$h+$x+$y"
    [ "$w" != "$w0" ] || fail "dragging the $edge edge changed nothing"
    # 16:9 within the rounding of one pixel of height.
    [ $(((w * 9 - h * 16) < 0 ? (h * 16 - w * 9) : (w * 9 - h * 16))) -le 16 ] || fail "$edge: ${w}x$h is not 16:9"
    # The sides opposite the dragged edge stay; a side edge keeps the top, a top or bottom edge the left.
    case $edge in
        left) [ $((x + w)) = $((x0 + w0)) ] && [ "$y" = "$y0" ] ;;
        right) [ "$x" = "$x0" ] && [ "$y" = "$y0" ] ;;
        top) [ $((y + h)) = $((y0 + h0)) ] && [ "$x" = "$x0" ] ;;
        bottom) [ "$x" = "$x0" ] && [ "$y" = "$y0" ] ;;
    esac || fail "$edge: ${w0}x$h0+$x0+$y0 became ${w}x$h+$x+$y: the wrong sides moved"
done

# ---------------------------------------------------------------- Alt+Enter over the panels
read -r w h x y <<<"$(geometry)"
framed="$w $h $x $y"
for want in "1920 1080 0 0" "$framed"; do
    timeout 5 xdotool windowfocus --sync "$W" >/dev/null 2>&1
    timeout 5 xdotool keydown alt+Return; sleep 0.08; timeout 5 xdotool keyup alt+Return
    for _ in $(seq 50); do [ "$(geometry)" = "$want" ] && break; sleep 0.1; done
    [ "$(geometry)" = "$want" ] || fail "Alt+Enter gave $(geometry), not $want"
done
stop_game "drag"

# ---------------------------------------------------------------- every way out writes both files
for how in close TERM INT HUP session; do
    touch -d '2001-01-01' "$GAME_DIR/Game.ini" "$GAME_DIR/dir.txt"
    start_game
    find_window
    sleep 1
    case $how in
        close) wmctrl -c Kelvorine ;;
        session) kill "$WM_PID" "$XVFB_PID"; WM_PID=; XVFB_PID= ;;
        *) kill "-$how" "$(game_pid)" ;;
    esac
    code=$(wait_exit 150)
    [ "$code" = 0 ] || fail "$how: exit code $code"
    [ "$GAME_DIR/Game.ini" -nt "$WORK/display" ] || fail "$how: Game.ini was not written"
    [ "$GAME_DIR/dir.txt" -nt "$WORK/display" ] || fail "$how: dir.txt was not written"
done

# ---------------------------------------------------------------- no display to show the window on
start_x
for n in $(seq 100 199); do [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break; done
started=$SECONDS
code=$(cd "$GAME_DIR" && DISPLAY=":$n" SDL_AUDIODRIVER=dummy timeout 20 ./kelvorine 2>"$WORK/nodisplay" >/dev/null; echo $?)
[ "$code" = 0 ] || fail "without a display the start ended with $code (124: it ran on unseen)"
[ $((SECONDS - started)) -lt 10 ] || fail "without a display the start took $((SECONDS - started)) s"
grep -q '失敗' "$WORK/nodisplay" || fail "without a display no message: $(cat "$WORK/nodisplay")"
start_game
find_window
press Escape
[ "$(wait_exit 100)" = 0 ] || fail "the start after the one without a display did not end cleanly"
echo "desktop under openbox: never black (soft, gl), 16:9 edges, full screen, five ways out, no display: ok"
