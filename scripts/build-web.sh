#!/usr/bin/env bash
# Builds the browser version: build/web/ holds index.html, kelvorine.js, kelvorine.wasm, the
# packaged data (kelvorine.data), the web app manifest (manifest.webmanifest) with its two icons
# (icon-128.png, icon-256.png), the service worker that keeps the page for offline visits (sw.js)
# and serve.py, a small local server for playing it.
#
#   scripts/build-web.sh
#   python3 build/web/serve.py          then open http://127.0.0.1:8080/
#
# Environment:
#   KELVORINE_WEB_OUT     output folder (default build/web)
#
# Steps: the WebAssembly libraries (scripts/build-web-deps.sh, cached); the default data from the
# Linux data generator (built in build/default when missing), Ogg sounds only, without the WAV
# files and the TrueType font (which the game never draws with); the game configured with
# emscripten's CMake wrapper (backend "web", build/web-build) and linked with the data packaged;
# then the page folder.
set -euo pipefail

KELVORINE_SRC=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
KELVORINE_WEB_LIB=1 source "$KELVORINE_SRC/scripts/build-web-deps.sh"

OUT=${KELVORINE_WEB_OUT:-$KELVORINE_SRC/build/web}
BUILD=$KELVORINE_SRC/build/web-build
GAME=$KELVORINE_SRC/build/web-game   # the folder packaged as /game

web_game_folder() {
    local mk=$KELVORINE_SRC/build/default/kelvorine-mkdata
    if [ ! -x "$mk" ]; then
        log "building the data generator (build/default)"
        [ -f "$KELVORINE_SRC/build/default/build.ninja" ] || (cd "$KELVORINE_SRC" && cmake --preset default >&2)
        nice cmake --build "$KELVORINE_SRC/build/default" --target kelvorine-mkdata >&2
    fi
    rm -rf "$GAME" "$BUILD/mkdata" "$BUILD/icons"
    mkdir -p "$GAME/data" "$BUILD/mkdata"
    "$mk" "$BUILD/mkdata" >&2
    cp -r "$BUILD/mkdata/data/grp" "$BUILD/mkdata/data/ogg" "$GAME/data/"
    cp "$KELVORINE_SRC"/src/platform/sdl/shaders/Sample{VS,PS}.glsl "$GAME/"
    # The settings a first visit starts with: the defaults with audible music and effects.
    "$mk" --game-ini "$GAME/Game.ini" >&2
    "$mk" --icons "$BUILD/icons" "$GAME/data" >&2
}

web_main() {
    local started=$SECONDS prefix
    # Emscripten's JavaScript optimiser needs acorn, which Debian installs as node-acorn under
    # /usr/share/nodejs; a node from another source does not look there by itself.
    export NODE_PATH=${NODE_PATH:+$NODE_PATH:}/usr/share/nodejs
    web_build_deps
    prefix=$(web_deps_prefix)
    web_game_folder
    log "configuring (build/web-build)"
    EM_PKG_CONFIG_PATH="$prefix/lib/pkgconfig" nice emcmake cmake -S "$KELVORINE_SRC" -B "$BUILD" -G Ninja \
        -DCMAKE_BUILD_TYPE=Release -DKELVORINE_BACKEND=web -DKELVORINE_WEB_DEPS="$prefix" \
        -DKELVORINE_WEB_GAME="$GAME" -DKELVORINE_TESTS=OFF -DKELVORINE_BENCH=OFF \
        -DKELVORINE_TOOLS=OFF -DKELVORINE_FUZZ=OFF \
        -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_FIND_ROOT_PATH="$prefix" \
        -DCMAKE_CROSSCOMPILING_EMULATOR="$(command -v node)" >"$BUILD.log" 2>&1 ||
        { tail -30 "$BUILD.log" >&2; log "configuring failed (log: $BUILD.log)"; return 1; }
    log "building"
    nice cmake --build "$BUILD" --target kelvorine -j2 >>"$BUILD.log" 2>&1 ||
        { grep -E 'error|Error' "$BUILD.log" | head -30 >&2; log "build failed (log: $BUILD.log)"; return 1; }
    rm -rf "$OUT"
    mkdir -p "$OUT"
    cp "$BUILD"/kelvorine.{js,wasm,data} "$OUT/"
    cp "$KELVORINE_SRC"/src/platform/web/{index.html,serve.py,manifest.webmanifest} "$OUT/"
    cp "$BUILD/icons/128x128/apps/kelvorine.png" "$OUT/icon-128.png"
    cp "$BUILD/icons/256x256/apps/kelvorine.png" "$OUT/icon-256.png"
    # The service worker's cache is named after the page's contents, so that a changed page
    # replaces what a browser kept of the old one.
    local version
    version=$(cd "$OUT" && cat index.html manifest.webmanifest kelvorine.js kelvorine.wasm kelvorine.data \
        icon-128.png icon-256.png | sha256sum | cut -c1-16)
    sed "s/@PAGE_VERSION@/$version/" "$KELVORINE_SRC/src/platform/web/sw.js" >"$OUT/sw.js"
    log "page in $OUT ($(du -sh "$OUT" | cut -f1)), built in $((SECONDS - started)) s"
    log "play: python3 $OUT/serve.py, then open http://127.0.0.1:8080/"
}

web_main "$@"
