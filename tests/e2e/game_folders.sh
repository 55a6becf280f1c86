#!/bin/bash
# Where the real game finds its files, started the way players start it:
#   1. through a symbolic link, from an unrelated working folder: the shaders are found beside the
#      program and "Game.ini" is written beside it (the folder holds "dir.txt");
#   2. installed (<prefix>/games without "dir.txt", read-only, data and shaders under
#      <prefix>/share/games/kelvorine) with an empty home: the title is presented from an unrelated
#      folder, and the first start leaves "Game.ini" and "dir.txt" in ~/.local/share/kelvorine;
#   3. installed, with the per-user folder impossible to create: the start ends with a message that
#      names the folder, and the file in its place is untouched;
#   4. installed, with the player's "Game.ini" deleted, replaced by the portable one, or made a
#      folder, a FIFO, a device, a link to /dev/zero or /dev/full, a link to nothing or unreadable:
#      the title is presented every time (the data folder comes from "dir.txt");
#   5. a second copy on the same folder, with the display spelled ":N.0" or on another display,
#      while the first runs: it ends at once with 0 and writes nothing;
#   6. the folder renamed while the game runs: the settings are written in its new place.
# $1 = source folder, $2 = build folder.
source "$(dirname "$0")/game_lib.bash"
need_stage
start_x

# run_in FOLDER PROGRAM [ENV...]: runs the game until its first title frame is presented; its exit
# code lands in $WORK/exit.
run_in() {
    local folder=$1 program=$2
    shift 2
    rm -f "$WORK/exit"
    (
        cd "$folder" || exit 1
        env "$@" SDL_AUDIODRIVER=dummy KELVORINE_EXIT_AFTER_FIRST_PRESENT=title timeout 60 "$program" \
            >"$WORK/stdout" 2>"$WORK/stderr"
        echo $? >"$WORK/exit"
    ) &
    GAME_PID=$!
}

ELSEWHERE="$WORK/elsewhere"
mkdir -p "$ELSEWHERE" "$WORK/bin"

# ---------------------------------------------------------------- 1. symbolic link, other folder
ln -s "$GAME_DIR/kelvorine" "$WORK/bin/kelvorine"
rm -f "$GAME_DIR/Game.ini"
run_in "$ELSEWHERE" "$WORK/bin/kelvorine"
code=$(wait_exit 600)
[ "$code" = 0 ] || { cat "$WORK/stderr"; fail "through a link: exit $code"; }
grep -q '^first-present title' "$WORK/stdout" || { cat "$WORK/stderr"; fail "through a link: no title"; }
[ "$(stat -c %s "$GAME_DIR/Game.ini" 2>/dev/null)" = 512 ] || fail "through a link: Game.ini not beside the program"
echo "through a link, from another folder: title presented, Game.ini beside the program"

# ---------------------------------------------------------------- 2. installed, empty home
PREFIX="$WORK/prefix"
SHARED="$PREFIX/share/games/kelvorine"
mkdir -p "$PREFIX/games" "$SHARED"
cp "$GAME_DIR/kelvorine" "$PREFIX/games/"
cp -r "$GAME_DIR/data" "$GAME_DIR/SampleVS.glsl" "$GAME_DIR/SamplePS.glsl" "$SHARED/"
"$BUILD/kelvorine-mkdata" --installed-game-ini "$SHARED/Game.ini" || fail "no settings template"
chmod a-w "$PREFIX/games"
mkdir -p "$WORK/home"
run_in "$ELSEWHERE" "$PREFIX/games/kelvorine" HOME="$WORK/home" XDG_DATA_HOME=
code=$(wait_exit 600)
[ "$code" = 0 ] || { cat "$WORK/stderr"; fail "installed: exit $code"; }
grep -q '^first-present title' "$WORK/stdout" || { cat "$WORK/stderr"; fail "installed: no title"; }
USER_FILES="$WORK/home/.local/share/kelvorine"
[ "$(stat -c %s "$USER_FILES/Game.ini" 2>/dev/null)" = 512 ] || fail "installed: no Game.ini in $USER_FILES"
named=$(tail -c +3 "$USER_FILES/dir.txt" | iconv -f UTF-16LE -t UTF-8)
[ "$named" = "$SHARED/data/" ] || fail "installed: dir.txt names '$named'"
[ "$(ls "$PREFIX/games")" = kelvorine ] || fail "installed: files written beside the program"
echo "installed, from another folder: title presented, Game.ini and dir.txt in ~/.local/share/kelvorine"

# ---------------------------------------------------------------- 3. per-user folder impossible
mkdir -p "$WORK/home2/.local/share"
echo keep >"$WORK/home2/.local/share/kelvorine"
run_in "$ELSEWHERE" "$PREFIX/games/kelvorine" HOME="$WORK/home2" XDG_DATA_HOME=
boxes=$(close_boxes 300)
code=$(wait_exit 100)
chmod u+w "$PREFIX/games"
[ "$code" = 0 ] || fail "blocked folder: exit $code"
grep -q "設定とランキングを置くフォルダを用意できません。" "$WORK/stderr" &&
    grep -q "cannot create the folder $WORK/home2/.local/share/kelvorine" "$WORK/stderr" ||
    { cat "$WORK/stderr"; fail "blocked folder: the message does not name the folder"; }
[ "$(cat "$WORK/home2/.local/share/kelvorine")" = keep ] || fail "blocked folder: the file in its place changed"
echo "blocked per-user folder: $boxes message box(es), stderr: $(head -1 "$WORK/stderr")"

# ---------------------------------------------------------------- 4. installed, Game.ini lost
PORTABLE_INI="$GAME_DIR/Game.ini"
for what in deleted portable folder fifo zero full dangling unreadable; do
    rm -rf "$USER_FILES/Game.ini"
    case $what in
    deleted) ;;
    portable) cp "$PORTABLE_INI" "$USER_FILES/Game.ini" ;;
    folder) mkdir "$USER_FILES/Game.ini" ;;
    fifo) mkfifo "$USER_FILES/Game.ini" ;;
    zero) ln -s /dev/zero "$USER_FILES/Game.ini" ;;
    full) ln -s /dev/full "$USER_FILES/Game.ini" ;;
    dangling) ln -s "$WORK/nowhere/Game.ini" "$USER_FILES/Game.ini" ;;
    unreadable) cp "$PORTABLE_INI" "$USER_FILES/Game.ini" && chmod 000 "$USER_FILES/Game.ini" ;;
    esac
    # Twice: the second start reads what the first one wrote on its way out.
    for round in 1 2; do
        run_in "$ELSEWHERE" "$PREFIX/games/kelvorine" HOME="$WORK/home" XDG_DATA_HOME=
        boxes=$(close_boxes 300)  # a settings file that is no file is not replaced: one box says so
        code=$(wait_exit 100)
        [ "$code" = 0 ] && grep -q '^first-present title' "$WORK/stdout" ||
            { cat "$WORK/stderr"; fail "installed, Game.ini $what (start $round): exit $code, no title"; }
    done
    echo "installed, Game.ini $what: title presented twice ($boxes message box(es) on the way out)"
done

# ---------------------------------------------------------------- 5. a second copy, same folder
sum_files() { cat "$GAME_DIR/Game.ini" "$GAME_DIR/dir.txt" | md5sum; }
rm -f "$GAME_DIR/Game.ini"
run_in "$GAME_DIR" "$GAME_DIR/kelvorine"  # writes a Game.ini to compare against
[ "$(wait_exit 600)" = 0 ] || fail "second copy: the first start failed"
start_game
find_window
FIRST=$GAME_PID
before=$(sum_files)
# second_copy NAME DISPLAY: runs another copy in the same folder; it must end within 20 s with 0.
second_copy() {
    local name=$1 display=$2 code
    code=$(cd "$GAME_DIR" && DISPLAY=$display SDL_AUDIODRIVER=dummy timeout 20 ./kelvorine \
        >"$WORK/second.out" 2>"$WORK/second.err"; echo $?)
    [ "$code" = 0 ] || { cat "$WORK/second.err"; fail "second copy ($name): exit $code"; }
    [ "$(sum_files)" = "$before" ] || fail "second copy ($name): the files changed"
    echo "second copy on $display ($name): ended with 0, wrote nothing"
}
second_copy "same display spelled with a screen" "$DISPLAY.0"
OTHER=
for n in $(shuf -i 1300-1399 -n 20); do
    [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
    OTHER_PID=$!
    for _ in $(seq 50); do [ -S "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    if [ -S "/tmp/.X11-unix/X$n" ] && kill -0 "$OTHER_PID" 2>/dev/null; then OTHER=":$n"; break; fi
    kill "$OTHER_PID" 2>/dev/null
done
[ -n "$OTHER" ] || fail "no second X server"
second_copy "another display" "$OTHER"
kill "$OTHER_PID" 2>/dev/null
GAME_PID=$FIRST
timeout 5 xdotool key --window "$W" Escape
[ "$(wait_exit 300)" = 0 ] || fail "second copy: the first copy did not end cleanly"
echo "the first copy ended cleanly"

# ---------------------------------------------------------------- 6. folder renamed while running
rm -f "$GAME_DIR/Game.ini"
start_game
find_window
mv "$GAME_DIR" "$WORK/renamed"
timeout 5 xdotool key --window "$W" Escape
boxes=$(close_boxes 150)
code=$(wait_exit 300)
[ "$code" = 0 ] && [ "$boxes" = 0 ] || { cat "$WORK/stderr"; fail "renamed folder: exit $code, $boxes message box(es)"; }
[ "$(stat -c %s "$WORK/renamed/Game.ini" 2>/dev/null)" = 512 ] || fail "renamed folder: no Game.ini in its new place"
[ ! -e "$GAME_DIR" ] || fail "renamed folder: something was made under the old name"
echo "folder renamed while running: the settings went to its new place"
exit 0
