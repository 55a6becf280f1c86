#!/bin/bash
# Where the real game finds its files, started the way players start it:
#   1. through a symbolic link, from an unrelated working folder: the shaders are found beside the
#      program and "Game.ini" is written beside it (the folder holds "dir.txt");
#   2. installed (<prefix>/games without "dir.txt", read-only, data and shaders under
#      <prefix>/share/games/kelvorine) with an empty home: the title is presented from an unrelated
#      folder, and the first start leaves "Game.ini" and "dir.txt" in ~/.local/share/kelvorine;
#   3. installed, with the per-user folder impossible to create: the start ends with a message that
#      names the folder, and the file in its place is untouched.
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
exit 0
