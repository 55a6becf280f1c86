#!/bin/bash
# The native Windows version, cross-built with mingw-w64 and run under Wine on Xvfb:
#   1. takes the zip a player downloads: the release's own (build/release/, when test.sh made the
#      release this run; KELVORINE_RELEASE_DIR names it) or else the one scripts/build-windows.sh
#      makes in build/windows-release (the same script and folder the release uses, so the
#      Windows build is made once per run either way);
#   2. runs the unit tests cross-compiled for Windows (from build/windows-release);
#   3. unpacks the zip into a folder of its own and starts kelvorine.exe from another folder (as a
#      shortcut with its own working folder does) in a fresh Wine prefix, its sound captured
#      through ALSA: the title is drawn, DECISION (Z) starts a game, Esc ends the program with
#      exit code 0 and "Game.ini" (512 bytes) written beside it, and the first start was audible
#      (the zip's Game.default.ini put in place);
#   4. starts a second copy on the same folder, once while the first copy's window is up and once
#      while another process holds the folder's lock (as a copy in another session would): each
#      leaves at once with exit code 0 and writes nothing;
#   5. replays tests/replay/*.txt with the Windows kelvorine-replay and compares the traces with
#      the Linux build's.
# Every Wine call runs under a time limit; a message box fails the test (and is closed), a crash
# fails it through the exit code.
# $1 = source folder, $2 = build folder (the Linux build that runs this test).
set -uo pipefail
SRC=$1
BUILD=$2
STARTED=$SECONDS

# Sanitizer folders test the Linux build only; a Windows build folder does not run itself.
if grep -qsE -- '-fsanitize|CMAKE_CROSSCOMPILING_EMULATOR:' "$BUILD/CMakeCache.txt" ||
    grep -qs 'mingw-w64.cmake' "$BUILD/CMakeCache.txt"; then
    echo "not a plain Linux build folder: skipped"
    exit 77
fi

export TZ=UTC
# The script's functions only: not exported, so that the build-windows.sh started below builds.
KELVORINE_WIN_LIB=1
# shellcheck source=../../scripts/build-windows.sh
source "$SRC/scripts/build-windows.sh"
unset KELVORINE_WIN_LIB
set +e

WORK=$(mktemp -d /tmp/kelvorine-wine-XXXXXX)
XPID=''
GPID=''
HPID=''
WATCH=''
cleanup() {
    [ -n "$WATCH" ] && kill "$WATCH" 2>/dev/null
    [ -n "$GPID" ] && kill "$GPID" 2>/dev/null
    [ -n "$HPID" ] && kill "$HPID" 2>/dev/null
    win_wine_stop
    [ -n "$XPID" ] && kill "$XPID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    exit 1
}
step() { echo "== $* ($((SECONDS - STARTED)) s)"; }

# ------------------------------------------------------------------------------ build
step "packages and dependencies"
win_install_packages || fail "cannot install the cross compiler and Wine"
win_build_deps || fail "dependency build"

# A free display picked at random, so that test runs of several checkouts do not meet.
for _ in $(seq 50); do
    d=$((200 + RANDOM % 700))
    if [ ! -e "/tmp/.X$d-lock" ] && [ ! -e "/tmp/.X11-unix/X$d" ]; then
        DISP=:$d
        break
    fi
done
Xvfb "$DISP" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
XPID=$!
export DISPLAY=$DISP
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

step "fresh Wine prefix"
# The display is known before Wine starts: its desktop takes the screen size from it.
win_wine_start "$WORK/prefix" fresh

WBUILD="$SRC/build/windows-release"
if [ -n "${KELVORINE_RELEASE_DIR:-}" ]; then
    step "the release's Windows zip"
    ZIP=$(ls "$KELVORINE_RELEASE_DIR"/kelvorine-*-windows-x64.zip 2>/dev/null | head -1)
    [ -n "$ZIP" ] || fail "no Windows zip in $KELVORINE_RELEASE_DIR"
else
    step "Windows build (scripts/build-windows.sh)"
    BUILD_START=$SECONDS
    KELVORINE_WIN_BUILD=$WBUILD "$SRC/scripts/build-windows.sh" >"$WORK/build.log" 2>&1 ||
        { tail -40 "$WORK/build.log"; fail "Windows build"; }
    ZIP=$(ls "$WBUILD"/kelvorine-*-windows-x64.zip 2>/dev/null | head -1)
    [ -n "$ZIP" ] || { tail -5 "$WORK/build.log"; fail "no zip"; }
    echo "Windows build: $((SECONDS - BUILD_START)) s"
fi
echo "$(basename "$ZIP"): $(du -h "$ZIP" | cut -f1)"
# What the player gets: the zip, unpacked into a folder of its own.
mkdir -p "$WORK/unzipped"
(cd "$WORK/unzipped" && cmake -E tar xf "$ZIP") || fail "cannot unpack $ZIP"
RUN="$WORK/unzipped/$(basename "$ZIP" .zip)"
win_check_folder "$RUN" || fail "the zip is incomplete"
grep -q $'^  Esc  *quit at once[^\r]*\r$' "$RUN/README.txt" || fail "README.txt lacks the controls or Windows line ends"

# ------------------------------------------------------------------------------ unit tests
step "unit tests under Wine"
(cd "$WBUILD" && timeout 600 wine tests/kelvorine_tests.exe --gtest_brief=1 </dev/null >"$WORK/unit.txt" 2>&1)
rc=$?
grep -E '^\[  (PASSED|FAILED|SKIPPED) ' "$WORK/unit.txt"
if [ $rc -ne 0 ]; then
    grep -E '^\[  FAILED  \]|Failure|error' "$WORK/unit.txt" | head -40
    [ $rc -eq 124 ] && echo "the unit tests did not finish in time; last lines:" && tail -5 "$WORK/unit.txt"
    fail "unit tests under Wine (exit $rc)"
fi

# ------------------------------------------------------------------------------ the game
step "kelvorine.exe"
# Any message box is a failure: note it and close it so that nothing waits on it.
watch_boxes() {
    while :; do
        for w in $(xdotool search --name '^(Message|Error)$' 2>/dev/null); do
            echo "message box: $(xdotool getwindowname "$w" 2>/dev/null)" >>"$WORK/boxes.txt"
            xdotool key --window "$w" Return 2>/dev/null
        done
        sleep 0.5
    done
}
watch_boxes &
WATCH=$!

# The sound of this run goes to a file: 16-bit stereo at 44,100 Hz, whatever Wine asks for.
CAPTURE=$WORK/sound.raw
cat >"$WORK/capture.conf" <<EOF
pcm.!default { type plug slave { pcm "capture" format S16_LE rate 44100 channels 2 } }
pcm.capture { type file slave.pcm "discard" file "$CAPTURE" format "raw" }
pcm.discard { type null }
ctl.!default { type null }
EOF
# Started from another folder, as a shortcut with its own working folder does: the shaders come
# from beside the program, "Game.ini" goes there too.
mkdir -p "$WORK/elsewhere"
(cd "$WORK/elsewhere" && ALSA_CONFIG_PATH="$WORK/capture.conf" exec timeout 90 wine "$RUN/kelvorine.exe" </dev/null >"$WORK/game.txt" 2>&1) &
GPID=$!

W=''
for _ in $(seq 60); do
    W=$(xdotool search --onlyvisible --name '^Kelvorine$' 2>/dev/null | head -1)
    [ -n "$W" ] && break
    kill -0 "$GPID" 2>/dev/null || break
    sleep 0.5
done
[ -n "$W" ] || { cat "$WORK/game.txt"; fail "no window"; }
sleep 4  # the first picture comes 2-3 s after the window

# Holds a key long enough for the once-per-frame poll.
press() {
    xdotool windowfocus --sync "$W" 2>/dev/null
    xdotool keydown "$1"
    sleep 0.1
    xdotool keyup "$1"
}
# Mean brightness and number of colours of the window.
shot() { import -window "$W" "$WORK/$1.png" 2>/dev/null && convert "$WORK/$1.png" -format '%[fx:mean] %k' info:; }

read -r mean colours < <(shot title)
echo "title: mean $mean, $colours colours"
awk -v m="$mean" -v c="$colours" 'BEGIN { exit !(m > 0.05 && c > 200) }' || fail "the title is not drawn"

press z
# The menu closes, the screen fades out and the game fades in: a busy machine takes longer than
# the frame counts say, so the game screen is looked at again until the fade is over (20 s).
region_mean() { convert "$WORK/game.png" -resize 1280x720! -crop "$1" -format '%[fx:mean]' info:; }
for _ in $(seq 10); do
    sleep 2
    read -r mean colours < <(shot game)
    diff=$(compare -metric RMSE "$WORK/title.png" "$WORK/game.png" null: 2>&1 | sed -E 's/.*\(([0-9.e-]+)\).*/\1/')
    # The well: its two walls of grey blocks (screen columns 496-520 and 760-784) beside the dark well.
    left=$(region_mean 12x300+502+200)
    well=$(region_mean 200x300+540+200)
    right=$(region_mean 12x300+766+200)
    awk -v d="$diff" -v l="$left" -v w="$well" -v r="$right" \
        'BEGIN { exit !(d > 0.05 && l > 0.3 && r > 0.3 && w < 0.2) }' && break
done
echo "game: mean $mean, $colours colours"
echo "title -> game difference: $diff"
echo "well: left wall $left, inside $well, right wall $right"
awk -v m="$mean" -v c="$colours" 'BEGIN { exit !(m > 0.02 && c > 50) }' || fail "nothing drawn after DECISION"
awk -v d="$diff" 'BEGIN { exit !(d > 0.05) }' || fail "DECISION did not start a game"
awk -v l="$left" -v w="$well" -v r="$right" 'BEGIN { exit !(l > 0.3 && r > 0.3 && w < 0.2) }' ||
    fail "no well on the game screen"

press Escape
for _ in $(seq 40); do kill -0 "$GPID" 2>/dev/null || break; sleep 0.5; done
wait "$GPID"
rc=$?
GPID=''
cat "$WORK/game.txt"
[ $rc -eq 124 ] && fail "kelvorine.exe did not end after Esc"
[ $rc -eq 0 ] || fail "kelvorine.exe ended with exit code $rc"
[ -f "$RUN/Game.ini" ] || fail "Game.ini not written"
[ "$(stat -c %s "$RUN/Game.ini")" -eq 512 ] || fail "Game.ini is not 512 bytes"
# The first start took the template's audible volumes: the game (effect 0 on DECISION, then the
# music) reached the sound device.
# Measured here: RMS 0.034 and peak 0.36 over 13 s (mostly the title, which is silent).
first_start_audible "$CAPTURE" || fail "the first start is silent"
[ -f "$WORK/boxes.txt" ] && { cat "$WORK/boxes.txt"; fail "a message box appeared"; }

# ------------------------------------------------------------------------------ a second copy
step "a second copy on the same folder"
# Started from the program's folder, it must write nothing and end at once with exit code 0.
second_copy() {
    local before after rc
    before=$(cat "$RUN/Game.ini" "$RUN/dir.txt" | md5sum)
    (cd "$RUN" && timeout 30 wine "$RUN/kelvorine.exe" </dev/null >"$WORK/second.txt" 2>&1)
    rc=$?
    after=$(cat "$RUN/Game.ini" "$RUN/dir.txt" | md5sum)
    cat "$WORK/second.txt"
    [ $rc -eq 0 ] || fail "$1: the second copy ended with exit code $rc"
    [ "$before" = "$after" ] || fail "$1: the second copy wrote the settings"
    echo "$1: the second copy left with exit code 0 and wrote nothing"
}

# While the first copy runs: the second one meets its window.
(cd "$RUN" && exec timeout 60 wine "$RUN/kelvorine.exe" </dev/null >"$WORK/first.txt" 2>&1) &
GPID=$!
W=''
for _ in $(seq 60); do
    W=$(xdotool search --onlyvisible --name '^Kelvorine$' 2>/dev/null | head -1)
    [ -n "$W" ] && break
    sleep 0.5
done
[ -n "$W" ] || { cat "$WORK/first.txt"; fail "the first copy has no window"; }
second_copy "beside a running copy"
[ "$(xdotool search --onlyvisible --name '^Kelvorine$' 2>/dev/null | wc -l)" -eq 1 ] ||
    fail "a second window appeared"
press Escape
wait "$GPID"
rc=$?
GPID=''
[ $rc -eq 0 ] || { cat "$WORK/first.txt"; fail "the first copy ended with exit code $rc"; }

# The folder's lock held by another process, as by a copy in another session, whose window this
# session cannot see.
cat >"$WORK/hold.c" <<'HOLD'
#include <windows.h>
// Holds the file named first, unshared, until the file named second is gone.
int wmain(int argc, wchar_t** argv) {
    if (argc != 3) return 2;
    HANDLE lock = CreateFileW(argv[1], GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_ALWAYS,
                              FILE_FLAG_DELETE_ON_CLOSE, NULL);
    if (lock == INVALID_HANDLE_VALUE) return 1;
    HANDLE ready = CreateFileW(argv[2], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    CloseHandle(ready);
    for (int i = 0; i < 600 && GetFileAttributesW(argv[2]) != INVALID_FILE_ATTRIBUTES; ++i) Sleep(100);
    CloseHandle(lock);
    return 0;
}
HOLD
x86_64-w64-mingw32-gcc-posix -municode -static -O1 -o "$WORK/hold.exe" "$WORK/hold.c" || fail "cannot build the lock holder"
(cd "$RUN" && exec timeout 90 wine "$WORK/hold.exe" Kelvorine.lock held.flag </dev/null >/dev/null 2>&1) &
HPID=$!
for _ in $(seq 100); do [ -e "$RUN/held.flag" ] && break; sleep 0.2; done
[ -e "$RUN/held.flag" ] || fail "the lock holder did not start"
second_copy "the folder's lock held elsewhere"
rm -f "$RUN/held.flag"
wait "$HPID"
HPID=''
[ -e "$RUN/Kelvorine.lock" ] && fail "the lock file stayed behind"
[ -f "$WORK/boxes.txt" ] && { cat "$WORK/boxes.txt"; fail "a message box appeared"; }

# ------------------------------------------------------------------------------ replays
step "replay traces"
LINUX_REPLAY="$BUILD/kelvorine-replay"
# The Linux tool of the same sources (a no-op when the build folder is current).
timeout 300 cmake --build "$BUILD" --target kelvorine-replay >"$WORK/linux-replay.log" 2>&1 ||
    echo "the Linux kelvorine-replay could not be rebuilt; using what $BUILD holds"
if [ ! -x "$LINUX_REPLAY" ]; then
    echo "no Linux kelvorine-replay in $BUILD: traces not compared"
else
    n=0
    for script in "$SRC"/tests/replay/*.txt; do
        [ -f "$script" ] || continue
        start=$(grep -o -- '--start [a-z]*' "$script" | head -1 | cut -d' ' -f2)
        name=$(basename "$script" .txt)
        "$LINUX_REPLAY" --start "${start:-title}" <"$script" >"$WORK/$name.linux" 2>/dev/null
        (cd "$WBUILD" && timeout 120 wine kelvorine-replay.exe --start "${start:-title}" <"$script" \
            2>/dev/null | tr -d '\r' >"$WORK/$name.windows")
        [ -s "$WORK/$name.linux" ] || fail "no Linux trace for $name"
        cmp -s "$WORK/$name.linux" "$WORK/$name.windows" ||
            { diff "$WORK/$name.linux" "$WORK/$name.windows" | head -5; fail "trace $name differs"; }
        echo "$name: $(wc -l <"$WORK/$name.linux") frames, identical"
        n=$((n + 1))
    done
    echo "$n traces compared"
fi

step "done"
exit 0
