#!/usr/bin/env bash
# The real game started the way launchers and players sometimes start it, and pressed hard:
#   - a burst of thousands of keys with no meaning, then Esc: the window goes within a second;
#   - standard streams closed (all three, or only stderr): the title comes up, the streams are
#     /dev/null (never the display connection), Esc ends the game with exit code 0;
#   - the "C" locale: a message box shows its Japanese text (it is as wide as under UTF-8);
#   - 100 MB of address space: the start fails with its messages and exit code 0, no abort;
#   - the music: every music file is open once, however many tracks name it.
source "$(dirname "$0")/game_lib.bash"

need_stage
start_x
PRISTINE="$WORK/pristine"
cp -r "$GAME_DIR" "$PRISTINE"

# launch [ENV=VALUE...] -- REDIRECTIONS: the game from a fresh copy of the folder, with the
# redirections applied by a shell (so streams can be closed); its exit code lands in $WORK/exit.
launch() {
    local envs=()
    while [ "$1" != -- ]; do envs+=("$1"); shift; done
    shift
    rm -rf "$GAME_DIR" "$WORK/exit"
    cp -r "$PRISTINE" "$GAME_DIR"
    if [ -n "${DAMAGE:-}" ]; then rm -f "$GAME_DIR/$DAMAGE"; fi
    (
        cd "$GAME_DIR" || exit 1
        env "${envs[@]}" SDL_AUDIODRIVER=dummy bash -c "${LIMIT:-} timeout 60 ./kelvorine $*"
        echo $? >"$WORK/exit"
    ) &
    GAME_PID=$!
}

# Esc, then the exit code.
quit_game() {
    press Escape
    local code
    code=$(wait_exit 150)
    [ "$code" = 0 ] || fail "$1: exit code $code"
}

# ------------------------------------------------------------------------------------ burst
launch -- ">$WORK/stdout 2>$WORK/stderr"
find_window
sleep 1
keys=$(for _ in $(seq 2000); do printf 'q w '; done)
# shellcheck disable=SC2086
timeout 60 xdotool key --delay 0 $keys || fail "burst: xdotool"
start=$(date +%s%N)
press Escape
gone=
for _ in $(seq 100); do
    if [ -z "$(xdotool search --onlyvisible --name '^Kelvorine$' 2>/dev/null)" ]; then gone=$(date +%s%N); break; fi
    sleep 0.02
done
[ -n "$gone" ] || fail "burst: the window is still up 2 s after Esc"
ms=$(((gone - start) / 1000000))
[ "$ms" -le 1000 ] || fail "burst: Esc took $ms ms after 4000 keys"
code=$(wait_exit 150)
[ "$code" = 0 ] || fail "burst: exit code $code"
echo "burst: Esc after 4000 keys closed the window in $ms ms"

# ------------------------------------------------------------------------------------ music files
launch -- ">$WORK/stdout 2>$WORK/stderr"
find_window
sleep 1
pid=$(game_pid)
open=$(ls -l "/proc/$pid/fd" | awk '/\/data\/ogg\//{print $NF}' | sort)
[ -n "$open" ] || fail "music: no music file open"
repeated=$(uniq -d <<<"$open")
[ -z "$repeated" ] || fail "music: opened more than once: $(uniq -c <<<"$open")"
quit_game music
echo "music: $(wc -l <<<"$open") music files, each open once"

# ------------------------------------------------------------------------------------ closed streams
for closed in all stderr; do
    if [ "$closed" = all ]; then launch -- '<&- >&- 2>&-'; else launch -- ">$WORK/stdout 2>&-"; fi
    find_window
    sleep 1
    pid=$(game_pid)
    fds="0 1 2"; [ "$closed" = stderr ] && fds=2
    for fd in $fds; do
        target=$(readlink "/proc/$pid/fd/$fd")
        [ "$target" = /dev/null ] || fail "closed $closed: descriptor $fd is $target"
    done
    shot "closed-$closed"
    above "$(spread "closed-$closed" 1280x720+0+0)" 0.05 || fail "closed $closed: no title on screen"
    quit_game "closed $closed"
    [ -s "$GAME_DIR/Game.ini" ] || fail "closed $closed: no Game.ini"
    echo "closed $closed: title, /dev/null streams, exit code 0"
done

# ------------------------------------------------------------------------------------ locale
# A missing shader ends the start with "DirectGraphicsの初期化に失敗しました。" in a box.
box_width() {
    DAMAGE=SamplePS.glsl launch "$@" -- ">$WORK/stdout 2>$WORK/stderr"
    local b=
    for _ in $(seq 150); do
        b=$(message_boxes | head -1)
        [ -n "$b" ] && break
        sleep 0.1
    done
    [ -n "$b" ] || fail "locale $*: no message box"
    sleep 0.3
    xwininfo -id "$b" | awk '/Width:/{print $2}'
    close_boxes 50 >/dev/null
    [ "$(wait_exit 100)" = 0 ] || fail "locale $*: exit code"
}
utf8=$(box_width LANG=C.UTF-8 LC_ALL=)
plain=$(box_width LANG=C LC_ALL=)
forced=$(box_width LC_ALL=C)
[ "$plain" = "$utf8" ] && [ "$forced" = "$utf8" ] ||
    fail "locale: box $plain (LANG=C) / $forced (LC_ALL=C) pixels wide, $utf8 under UTF-8: text dropped"
echo "locale: the box is $utf8 pixels wide under C, LC_ALL=C and C.UTF-8"

# ------------------------------------------------------------------------------------ memory
LIMIT='ulimit -v 100000;' launch -- ">$WORK/stdout 2>$WORK/stderr"
boxes=$(close_boxes 300)
code=$(wait_exit 100)
[ "$code" = 0 ] || fail "memory: exit code $code ($(cat "$WORK/stderr"))"
grep -q "terminate called" "$WORK/stderr" && fail "memory: uncaught exception"
grep -qF "ゲームの初期化に失敗しました。" "$WORK/stderr" || fail "memory: no message ($(cat "$WORK/stderr"))"
echo "memory: 100 MB of address space ends the start with $boxes messages, exit code 0"
echo "hostile starts: ok"
