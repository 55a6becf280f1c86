#!/usr/bin/env bash
# Start-up failures of the real game: a missing shader file, a missing texture list, a corrupt
# picture and a machine without a sound device each end the program with their messages (closed
# here with Return), exit code 0 and no crash.
source "$(dirname "$0")/game_lib.bash"

need_stage
start_x
PRISTINE="$WORK/pristine"
mv "$GAME_DIR" "$PRISTINE"

# run_case NAME BOXES MESSAGE...: the game in a fresh copy after the damage done by damage_NAME;
# the message boxes are closed as they come (BOXES are expected; a key sent to a box that was
# already going counts for nothing, so at least one is required) and every MESSAGE must be on the
# standard error stream.
run_case() {
    local name=$1 boxes=$2
    shift 2
    rm -rf "$GAME_DIR"
    cp -r "$PRISTINE" "$GAME_DIR"
    "damage_$name"
    GAME_TIMEOUT=60
    start_game
    local closed code
    closed=$(close_boxes 200)
    code=$(wait_exit 100)
    [ "$code" = 0 ] || fail "$name: exit code $code"
    [ "$closed" -ge 1 ] && [ "$closed" -le "$boxes" ] || fail "$name: $closed message boxes, expected $boxes"
    for m in "$@"; do
        grep -qF "$m" "$WORK/stderr" || fail "$name: no \"$m\" (stderr: $(cat "$WORK/stderr"))"
    done
    [ -z "$(message_boxes)" ] || fail "$name: a message box is left open"
    echo "$name: $closed of $boxes message boxes closed, exit code 0"
}

damage_shader() { rm "$GAME_DIR/SamplePS.glsl"; }
damage_texture_list() { rm "$GAME_DIR/data/grp/grp_0003.txt"; }
damage_picture() {
    # The PNG signature and header stay; the image data is cut short and overwritten.
    local png="$GAME_DIR/data/grp/grp_0000.png"
    head -c 3000 "$png" >"$WORK/cut.png"
    yes corrupt | head -c 2000 >>"$WORK/cut.png"
    mv "$WORK/cut.png" "$png"
}

run_case shader 1 "DirectGraphicsの初期化に失敗しました。"
run_case texture_list 3 "grp_0003.txt ファイルが見つかりません" "失敗しました。1" "ゲームの初期化に失敗しました。"
run_case picture 3 "失敗しました。4" "ゲームの初期化に失敗しました。"
# No sound device: ALSA's default device names a card that does not exist.
damage_sound() { printf 'pcm.!default { type hw card 97 }\nctl.!default { type hw card 97 }\n' >"$WORK/no-card.conf"; }
GAME_AUDIODRIVER=alsa ALSA_CONFIG_PATH="$WORK/no-card.conf" \
    run_case sound 1 "XAudio2の初期化に失敗しました。" 'sound device "default" of the alsa driver cannot be opened' \
    "SDL_AUDIODRIVER=dummy"
echo "start-up failures: ok"
