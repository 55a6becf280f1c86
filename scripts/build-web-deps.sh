#!/usr/bin/env bash
# Builds the libraries of the browser version for WebAssembly: SDL2, zlib, libpng, libogg and
# libvorbis, from Debian's source packages, with Debian's emscripten. Emscripten's own "ports"
# would download sources at build time; these are the archive's sources instead.
#
#   scripts/build-web-deps.sh            builds (or finds cached) and prints the prefix folder
#
# The prefix (include/, lib/, lib/pkgconfig, lib/cmake) lives in
# ~/.cache/kelvorine/web-deps/<hash of these build steps and the emscripten version>/prefix, so
# every worktree and every run shares one build (about 4 minutes on two cores).
#
# Source this file with KELVORINE_WEB_LIB=1 to get web_deps_prefix and web_build_deps without
# running anything.
set -euo pipefail

KELVORINE_SRC=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
KELVORINE_WEB_CACHE=${KELVORINE_WEB_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/kelvorine}

log() { printf '[build-web] %s\n' "$*" >&2; }

source "$KELVORINE_SRC/scripts/deb-source.sh"

web_deps_key() {
    { declare -f deb_src_enable deb_src_fetch deb_cmake_install web_build_deps; emcc --version 2>/dev/null | sed -n 1p; } |
        sha256sum | cut -c1-16
}

web_deps_prefix() { echo "$KELVORINE_WEB_CACHE/web-deps/$(web_deps_key)/prefix"; }

web_build_deps() {
    local root prefix started
    command -v emcmake >/dev/null || { log "emscripten is not installed (apt-get install emscripten)"; return 1; }
    root="$KELVORINE_WEB_CACHE/web-deps/$(web_deps_key)"
    prefix="$root/prefix"
    if [ -f "$prefix/.complete" ]; then
        log "dependencies cached in $prefix"
        return 0
    fi
    started=$SECONDS
    deb_src_enable
    # Builds of other versions of these steps are of no further use.
    rm -rf "$root" "$KELVORINE_WEB_CACHE"/web-deps/*/
    mkdir -p "$prefix"
    deb_src_fetch "$root/src" zlib libpng1.6 libogg libvorbis libsdl2
    # Static libraries only; the search for packages also looks into the prefix (emscripten's
    # toolchain searches its own sysroot only). Configure checks run their test programs in the
    # machine's node (emcmake would add a flag that Debian's node no longer knows), as single
    # files (node's fetch does not load a .wasm from a file path).
    local common=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix"
        -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_FIND_ROOT_PATH="$prefix" -DBUILD_SHARED_LIBS=OFF
        -DCMAKE_POLICY_DEFAULT_CMP0077=NEW -DCMAKE_CROSSCOMPILING_EMULATOR="$(command -v node)"
        -DCMAKE_EXE_LINKER_FLAGS=-sSINGLE_FILE=1 -DCMAKE_POLICY_DEFAULT_CMP0056=NEW)
    local DEB_CMAKE_WRAP=emcmake
    dep() { deb_cmake_install "$root" "$@" "${common[@]}"; }
    # zlib with its own configure script (the Debian source drops the files that its CMake
    # project lists for Windows).
    log "building zlib"
    (cd "$(ls -d "$root"/src/zlib-*/)" && nice emconfigure ./configure --static --prefix="$prefix" &&
        nice emmake make -j2 libz.a && emmake make install) >"$root/zlib.log" 2>&1 ||
        { tail -30 "$root/zlib.log" >&2; log "zlib failed (log: $root/zlib.log)"; return 1; }
    dep libpng "$(ls -d "$root"/src/libpng1.6-*/)" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF \
        -DPNG_EXECUTABLES=OFF -DZLIB_LIBRARY="$prefix/lib/libz.a" -DZLIB_INCLUDE_DIR="$prefix/include"
    dep libogg "$(ls -d "$root"/src/libogg-*/)" -DINSTALL_DOCS=OFF -DBUILD_TESTING=OFF
    dep libvorbis "$(ls -d "$root"/src/libvorbis-*/)"
    # SDL: video on a canvas, Web Audio, the Gamepad API; no threads (the page needs no
    # cross-origin isolation).
    dep sdl2 "$(ls -d "$root"/src/libsdl2-*/)" -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF \
        -DSDL_THREADS=OFF -DSDL_PTHREADS=OFF
    rm -rf "$root"/build-* "$root/src"
    touch "$prefix/.complete"
    log "dependencies built in $((SECONDS - started)) s"
}

if [ -z "${KELVORINE_WEB_LIB:-}" ]; then
    web_build_deps
    web_deps_prefix
fi
