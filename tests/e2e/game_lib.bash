# Shared steps of the end-to-end tests of the game (sourced by tests/e2e/game_*.sh).
#
# Each test runs the real program from a private copy of the staging folder on its own virtual X
# server, with SDL's dummy audio driver; every step that could hang runs under `timeout`.
#   $1 source folder, $2 build folder. Exit 77 = skipped.

set -u

SRC=${1:?source folder}
BUILD=${2:?build folder}
STAGE="$BUILD/stage"
WORK=$(mktemp -d /tmp/kelvorine-e2e-XXXXXX)
XVFB_PID=
WM_PID=
GAME_PID=

cleanup() {
    if [ -n "$GAME_PID" ] && kill -0 "$GAME_PID" 2>/dev/null; then kill "$GAME_PID" 2>/dev/null; fi
    if [ -n "$WM_PID" ]; then kill "$WM_PID" 2>/dev/null; fi
    if [ -n "$XVFB_PID" ]; then kill "$XVFB_PID" 2>/dev/null; fi
    # KEEP_SHOTS=folder keeps the screenshots for a look.
    if [ -n "${KEEP_SHOTS:-}" ] && [ -d "$WORK/shots" ]; then mkdir -p "$KEEP_SHOTS" && cp "$WORK"/shots/*.png "$KEEP_SHOTS"/ 2>/dev/null; fi
    rm -rf "$WORK"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    if [ -n "${SHOTS:-}" ]; then echo "screenshots kept in $SHOTS" >&2; fi
    exit 1
}

sanitizer_build() {
    grep -qs -- '-fsanitize' "$BUILD/CMakeCache.txt"
}

# The staging folder: built when missing, except in sanitizer build folders (skipped there).
need_stage() {
    for tool in Xvfb xdotool import compare convert xwininfo; do
        command -v "$tool" >/dev/null || { echo "missing $tool"; exit 77; }
    done
    if [ ! -x "$STAGE/kelvorine" ] || [ ! -f "$STAGE/dir.txt" ]; then
        if sanitizer_build; then
            echo "no staging folder in this sanitizer build"
            exit 77
        fi
        timeout 900 cmake --build "$BUILD" --target stage >/dev/null || fail "cannot build the staging folder"
    fi
    GAME_DIR="$WORK/game"
    cp -r "$STAGE" "$GAME_DIR" || fail "cannot copy the staging folder"
    SHOTS="$WORK/shots"
    mkdir -p "$SHOTS"
}

# A private X server on a free display number well above the ones people type by hand.
start_x() {
    local n
    for _ in $(seq 20); do
        n=$((200 + RANDOM % 700))
        [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
        XVFB_PID=$!
        for _ in $(seq 50); do
            [ -S "/tmp/.X11-unix/X$n" ] && break
            kill -0 "$XVFB_PID" 2>/dev/null || break
            sleep 0.1
        done
        if kill -0 "$XVFB_PID" 2>/dev/null && [ -S "/tmp/.X11-unix/X$n" ]; then
            export DISPLAY=":$n"
            touch "$WORK/display"
            if [ "${KELVORINE_E2E_WM:-}" = openbox ]; then start_wm; fi
            return 0
        fi
    done
    fail "Xvfb did not start"
}

# A real window manager on the private display, as on a player's desktop: the game window is
# reparented into a decorated frame, focus moves between windows, covered parts get exposes and
# the close button sends the close request. A folder with an "rc.xml" in $1 replaces openbox's
# own configuration (margins stand in for a panel). Called by start_x when
# KELVORINE_E2E_WM=openbox, or by a test that needs it.
start_wm() {
    command -v openbox >/dev/null || { echo "missing openbox"; exit 77; }
    command -v wmctrl >/dev/null || { echo "missing wmctrl"; exit 77; }
    local config=()
    if [ -n "${1:-}" ]; then config=(--config-file "$1/rc.xml"); fi
    # A connection to Xvfb is now and then reset as it opens (a few in a hundred on a busy
    # machine): openbox then leaves at once and is started again.
    for _ in 1 2 3; do
        openbox --sm-disable "${config[@]}" >"$WORK/openbox.log" 2>&1 &
        WM_PID=$!
        for _ in $(seq 150); do
            wmctrl -m >/dev/null 2>&1 && return 0
            kill -0 "$WM_PID" 2>/dev/null || break
            sleep 0.1
        done
    done
    fail "openbox did not start: $(cat "$WORK/openbox.log")"
}

# Leaks inside the system's own libraries (D-Bus, X11, Mesa) are not the game's; a sanitizer build
# reports everything else.
printf 'leak:libdbus-1.so\nleak:libX11.so\nleak:libGLX_mesa.so\nleak:swrast_dri.so\nleak:libLLVM\n' >"$WORK/lsan.supp"
export LSAN_OPTIONS="suppressions=$WORK/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

# Starts the game from its folder; its exit code lands in $WORK/exit. The sound goes to SDL's dummy
# driver unless GAME_AUDIODRIVER names another.
start_game() {
    rm -f "$WORK/exit"
    (
        cd "$GAME_DIR" || exit 1
        SDL_AUDIODRIVER=${GAME_AUDIODRIVER:-dummy} timeout "${GAME_TIMEOUT:-120}" ./kelvorine >"$WORK/stdout" 2>"$WORK/stderr"
        echo $? >"$WORK/exit"
    ) &
    GAME_PID=$!
}

# The game's own process id (not that of the timeout wrapping it); empty when it is not running.
game_pid() {
    local p
    for p in $(pgrep -x kelvorine); do
        [ "$(readlink "/proc/$p/cwd" 2>/dev/null)" = "$GAME_DIR" ] && { echo "$p"; return 0; }
    done
}

# Waits for the game window and focuses it; sets W, WX, WY (client origin on the screen).
find_window() {
    W=$(timeout 20 xdotool search --sync --onlyvisible --name '^Kelvorine$' | head -1)
    [ -n "$W" ] || fail "no game window"
    timeout 10 xdotool windowfocus --sync "$W" || fail "cannot focus the window"
    WX=$(xwininfo -id "$W" | awk '/Absolute upper-left X/{print $4}')
    WY=$(xwininfo -id "$W" | awk '/Absolute upper-left Y/{print $4}')
}

# Holds a key for about 80 ms (the game reads levels once per frame).
press() {
    timeout 5 xdotool windowfocus --sync "$W" >/dev/null 2>&1
    timeout 5 xdotool keydown "$1"
    sleep 0.08
    timeout 5 xdotool keyup "$1"
}

# shot NAME: screenshot of the game's 1280 x 720 client area.
shot() {
    timeout 10 import -window root -crop "1280x720+$WX+$WY" +repage "$SHOTS/$1.png" || fail "screenshot $1"
}

# region SHOT GEOMETRY OUT: crop of a screenshot in logical coordinates (WxH+X+Y).
region() {
    convert "$SHOTS/$1.png" -crop "$2" +repage "$SHOTS/$3.png"
}

# Standard deviation (0..1) of a region: near 0 for a blank area.
spread() {
    convert "$SHOTS/$1.png" -crop "$2" +repage -colorspace Gray -format '%[fx:standard_deviation]' info:
}

# Mean brightness (0..1) of a region.
brightness() {
    convert "$SHOTS/$1.png" -crop "$2" +repage -colorspace Gray -format '%[fx:mean]' info:
}

# Normalised RMS difference (0..1) of the same region in two screenshots.
difference() {
    convert "$SHOTS/$1.png" -crop "$3" +repage "$WORK/a.png"
    convert "$SHOTS/$2.png" -crop "$3" +repage "$WORK/b.png"
    compare -metric RMSE "$WORK/a.png" "$WORK/b.png" null: 2>&1 | sed -n 's/.*(\(.*\)).*/\1/p'
}

# above VALUE LIMIT: true when VALUE > LIMIT.
above() {
    awk "BEGIN { exit !(($1) > ($2)) }"
}

# settle NAME SECONDS CONDITION: takes screenshot NAME again and again until the shell condition
# (which may read the screenshot) holds; false after SECONDS. Frames are slow on a busy machine,
# so fades take longer than their frame counts suggest.
settle() {
    local name=$1 seconds=$2
    shift 2
    local end=$((SECONDS + seconds))
    while :; do
        shot "$name"
        eval "$*" && return 0
        [ "$SECONDS" -ge "$end" ] && return 1
        sleep 0.5
    done
}

# press_until KEY NAME CONDITION: presses KEY until screenshot NAME meets CONDITION (a press can be
# lost when the machine is busy); false after three presses.
press_until() {
    local key=$1 name=$2
    shift 2
    for _ in 1 2 3; do
        press "$key"
        settle "$name" 4 "$*" && return 0
    done
    return 1
}

# Waits for the game to end; prints its exit code.
wait_exit() {
    for _ in $(seq "${1:-100}"); do
        [ -f "$WORK/exit" ] && { cat "$WORK/exit"; return 0; }
        sleep 0.1
    done
    echo timeout
}

# The message box windows on the screen ("Message" or "Error"), one id a line.
message_boxes() {
    xwininfo -root -children 2>/dev/null | awk '/"Message"|"Error"/{print $1}'
}

# Closes message boxes one after another as they appear, until the game ends. Prints the count.
close_boxes() {
    local count=0
    for _ in $(seq "${1:-150}"); do
        [ -f "$WORK/exit" ] && break
        local b
        b=$(message_boxes | head -1)
        if [ -n "$b" ]; then
            sleep 0.3
            # A box can vanish between the listing and the key (X errors then); it is simply
            # looked for again.
            if timeout 5 xdotool key --window "$b" Return 2>/dev/null; then count=$((count + 1)); fi
            sleep 0.5
        fi
        sleep 0.2
    done
    echo "$count"
}

# set_byte FILE OFFSET VALUE: patches one byte of a binary file.
set_byte() {
    printf "$(printf '\\%03o' "$3")" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}
