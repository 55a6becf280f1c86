#!/usr/bin/env bash
# Builds the native Windows version with mingw-w64 and assembles a ready-to-zip folder.
#
#   scripts/build-windows.sh [--deps-only] [--no-stage]     (--no-stage: no folder, no zip)
#
# Environment:
#   KELVORINE_WIN_BUILD   build folder (default build/windows-release)
#   KELVORINE_WIN_TYPE    CMake build type (default RelWithDebInfo, as the Linux build)
#
# Steps: installs the missing Debian packages (cross compiler, Wine, ...); builds libogg,
# libvorbis, libpng and googletest for mingw from Debian's source packages into
# build/windows-deps/<hash of this script and the toolchain file> (cached); configures with
# cmake/mingw-w64.cmake; builds kelvorine.exe, the two compiled shaders (through the D3DCompile tool
# run under Wine), the test programs; fills <build>/stage with kelvorine.exe, SampleVS.cso,
# SamplePS.cso, dir.txt, the default data folder and Game.default.ini (the settings a first start
# takes, with audible volumes); and packs it with a read-me and the licence texts as
# <build>/kelvorine-<version>-windows-x64.zip. The data comes from the native data generator
# (build/default/kelvorine-mkdata, built here when it is missing). The zip is written under a
# temporary name, unpacked and checked (win_check_folder), and only then takes its real name: a
# missing file stops the script with a non-zero exit code and leaves no zip behind.
#
# The functions below are also used by tests/e2e/windows_*.sh (source this file with
# KELVORINE_WIN_LIB=1 to get them without running anything).
set -euo pipefail

KELVORINE_SRC=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
KELVORINE_WIN_PACKAGES=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64
    libz-mingw-w64-dev wine wine64 dpkg-dev googletest cmake ninja-build xvfb xdotool imagemagick
    fonts-vlgothic)

log() { printf '[build-windows] %s\n' "$*" >&2; }

# native_mkdata, check_data_folder, check_dir_txt.
source "$KELVORINE_SRC/scripts/common.sh"

# ------------------------------------------------------------------------------------ packages
win_install_packages() {
    local missing=() p status
    for p in "${KELVORINE_WIN_PACKAGES[@]}"; do
        status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
        [ "$status" = "install ok installed" ] || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    log "installing ${missing[*]}"
    if [ "$(id -u)" -ne 0 ]; then
        log "missing packages and not root: apt-get install ${missing[*]}"
        return 1
    fi
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}" >&2 ||
        { apt-get update >&2 && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}" >&2; }
}

# Source packages: deb_src_enable and deb_src_fetch.
source "$KELVORINE_SRC/scripts/deb-source.sh"

# ------------------------------------------------------------------------------------ dependencies
# The cache key: the dependency build steps as written here, and the toolchain file.
win_deps_key() {
    { declare -f deb_src_enable deb_src_fetch deb_cmake_install win_build_deps; cat "$KELVORINE_SRC/cmake/mingw-w64.cmake"; } |
        sha256sum | cut -c1-16
}

win_deps_prefix() { echo "$KELVORINE_SRC/build/windows-deps/$(win_deps_key)/prefix"; }

win_build_deps() {
    local root prefix started
    root="$KELVORINE_SRC/build/windows-deps/$(win_deps_key)"
    prefix="$root/prefix"
    if [ -f "$prefix/.complete" ]; then
        log "dependencies cached in $prefix"
        return 0
    fi
    started=$SECONDS
    deb_src_enable
    rm -rf "$root"
    mkdir -p "$prefix"
    deb_src_fetch "$root/src" libpng1.6 libogg libvorbis
    local tc="$KELVORINE_SRC/cmake/mingw-w64.cmake"
    local common=(-G Ninja -DCMAKE_TOOLCHAIN_FILE="$tc" -DKELVORINE_WIN_DEPS="$prefix"
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF
        -DCMAKE_CROSSCOMPILING_EMULATOR=)
    local mingw=/usr/x86_64-w64-mingw32
    dep() { deb_cmake_install "$root" "$@" "${common[@]}"; }
    dep libogg "$(ls -d "$root"/src/libogg-*/)" -DINSTALL_DOCS=OFF -DBUILD_TESTING=OFF
    dep libvorbis "$(ls -d "$root"/src/libvorbis-*/)" -DCMAKE_PREFIX_PATH="$prefix"
    dep libpng "$(ls -d "$root"/src/libpng1.6-*/)" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF \
        -DPNG_EXECUTABLES=OFF -DZLIB_LIBRARY="$mingw/lib/libz.a" -DZLIB_INCLUDE_DIR="$mingw/include"
    dep googletest /usr/src/googletest -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON
    rm -rf "$root"/build-* "$root/src"
    touch "$prefix/.complete"
    log "dependencies built in $((SECONDS - started)) s"
}

# ------------------------------------------------------------------------------------ Wine
# Prepares a Wine prefix and starts its server with stdio on /dev/null, so that nothing that reads
# a pipe (ninja, ctest, $(...)) waits for Wine's background services.
#   win_wine_start <prefix folder> [fresh]
win_wine_start() {
    local prefix=$1 fresh=${2:-}
    export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    mkdir -p "$(dirname "$prefix")"
    # Without a sound card Wine's XAudio2 mastering voice crashes; a null ALSA device works.
    export ALSA_CONFIG_PATH="$(dirname "$prefix")/wine-alsa.conf"
    printf 'pcm.!default { type null }\nctl.!default { type null }\n' >"$ALSA_CONFIG_PATH"
    if [ -n "$fresh" ]; then
        wineserver -k >/dev/null 2>&1 </dev/null || true
        rm -rf "$prefix"
    fi
    if [ ! -f "$prefix/system.reg" ] || [ ! -f "$prefix/.kelvorine" ]; then
        log "creating the Wine prefix $prefix"
        rm -rf "$prefix"
        timeout 180 wineboot -i >/dev/null 2>&1 </dev/null || true
        timeout 60 wineserver -w >/dev/null 2>&1 </dev/null || true
        win_wine_registry "$prefix"
        timeout 60 wineserver -w >/dev/null 2>&1 </dev/null || true
        touch "$prefix/.kelvorine"
    fi
    wineserver -p 600 >/dev/null 2>&1 </dev/null || true
    timeout 60 wine cmd /c exit >/dev/null 2>&1 </dev/null || true
}

win_wine_stop() {
    [ -n "${WINEPREFIX:-}" ] && wineserver -k >/dev/null 2>&1 </dev/null || true
}

# Registry settings for unattended runs: no window-manager decoration delays (Managed=N), a crash
# ends the process instead of opening the debugger dialog, and message boxes find a font with the
# Japanese glyphs.
win_wine_registry() {
    local reg="$1/kelvorine.reg" link hex
    link=$(printf 'fonts-japanese-gothic.ttf,VL Gothic\0\0' | od -An -v -tx1 | tr -s ' \n' ',,' | sed 's/^,//; s/,$//')
    {
        printf 'REGEDIT4\r\n\r\n'
        printf '[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"Managed"="N"\r\n\r\n'
        printf '[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug]\r\n'
        printf '"Debugger"="false"\r\n"Auto"="1"\r\n\r\n'
        printf '[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink]\r\n'
        printf '"Tahoma"=hex(7):%s\r\n\r\n' "$link"
    } >"$reg"
    timeout 60 wine regedit /S "$(winepath -w "$reg" 2>/dev/null </dev/null)" >/dev/null 2>&1 </dev/null || true
}

# ------------------------------------------------------------------------------------ build
win_configure_and_build() {
    local build=$1 type=$2 prefix started
    prefix=$(win_deps_prefix)
    started=$SECONDS
    cmake -S "$KELVORINE_SRC" -B "$build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$KELVORINE_SRC/cmake/mingw-w64.cmake" \
        -DKELVORINE_WIN_DEPS="$prefix" -DCMAKE_BUILD_TYPE="$type" \
        -DKELVORINE_BENCH=OFF -DKELVORINE_TOOLS=OFF -DKELVORINE_FUZZ=OFF >&2 || return 1
    ninja -C "$build" -j2 >&2 || return 1
    log "Windows build took $((SECONDS - started)) s"
}

# Copies the game's files into <build>/stage: kelvorine.exe, the shaders, and from the native data
# generator dir.txt, the data folder and the settings template Game.default.ini. False (after saying
# why) when any of them cannot be made.
win_stage() {
    local build=$1 stage="$1/stage" mk
    rm -rf "$stage"
    mkdir -p "$stage"
    cp "$build/SampleVS.cso" "$build/SamplePS.cso" "$stage/" || { log "no compiled shaders in $build"; return 1; }
    # The debug information stays in the build folder.
    x86_64-w64-mingw32-strip -o "$stage/kelvorine.exe" "$build/kelvorine.exe" || { log "no kelvorine.exe in $build"; return 1; }
    mk=$(native_mkdata) || return 1
    "$mk" "$stage" >&2 || { log "the data generator $mk failed"; return 1; }
    # Not under the live name: unpacking over an older folder must never replace the player's
    # Game.ini. The program copies it to Game.ini on a start that finds none.
    "$mk" --game-ini "$stage/Game.default.ini" >&2 || { log "cannot write the settings template"; return 1; }
    log "ready-to-zip folder: $stage"
}

# What a Windows folder of the game (named kelvorine-<version>-windows-x64) must hold; prints each
# missing or wrong file, false if any.
win_check_folder() {
    local top=$1 bad=0 f version
    version=$(basename "$top")
    version=${version#kelvorine-}
    version=${version%-windows-x64}
    for f in kelvorine.exe SampleVS.cso SamplePS.cso Game.default.ini README.txt LICENSE.txt \
        THIRD-PARTY-NOTICES.txt licenses/VLGothic.txt licenses/libpng.txt licenses/zlib.txt \
        licenses/libogg.txt licenses/libvorbis.txt; do
        [ -s "$top/$f" ] || { echo "missing: $f" >&2; bad=1; }
    done
    for f in SampleVS.cso SamplePS.cso; do
        [ ! -s "$top/$f" ] || [ "$(head -c 4 "$top/$f")" = DXBC ] || { echo "wrong: $f is not a compiled shader" >&2; bad=1; }
    done
    [ ! -s "$top/Game.default.ini" ] || [ "$(stat -c %s "$top/Game.default.ini")" = 512 ] ||
        { echo "wrong: Game.default.ini is not 512 bytes" >&2; bad=1; }
    [ ! -s "$top/README.txt" ] || grep -q "^Kelvorine $version for Windows" "$top/README.txt" ||
        { echo "wrong: README.txt does not name version $version" >&2; bad=1; }
    [ ! -e "$top/Game.ini" ] || { echo "wrong: a Game.ini would replace the player's" >&2; bad=1; }
    check_dir_txt "$top/dir.txt" 'data\' || bad=1
    check_data_folder "$top/data" || bad=1
    return $bad
}

# Packs <build>/stage as <build>/kelvorine-<version>-windows-x64.zip: one folder of that name with
# the program, the shaders, dir.txt, the data folder, README.txt (the controls), LICENSE.txt,
# THIRD-PARTY-NOTICES.txt and licenses\ (text files with Windows line ends). Prints the zip's path.
win_zip() {
    local build=$1 version name top zip f
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
    [ -n "$version" ] || { log "no project version in $build/CMakeCache.txt"; return 1; }
    name="kelvorine-$version-windows-x64"
    zip="$build/$name.zip"
    rm -rf "$build/zip" "$zip" "$zip.part"
    top="$build/zip/$name"
    mkdir -p "$top/licenses"
    cp -r "$build/stage/." "$top/"
    rm -f "$top/Game.ini"  # a zip unpacked over an older folder must not replace the player's file
    crlf() { sed 's/\r*$/\r/' "$1" >"$2"; }
    sed "s/@VERSION@/$version/" "$KELVORINE_SRC/packaging/windows-readme.txt" >"$build/zip/readme.tmp"
    crlf "$build/zip/readme.tmp" "$top/README.txt"
    rm "$build/zip/readme.tmp"
    crlf "$KELVORINE_SRC/LICENSE" "$top/LICENSE.txt"
    crlf "$KELVORINE_SRC/licenses/THIRD-PARTY-NOTICES.txt" "$top/THIRD-PARTY-NOTICES.txt"
    for f in "$KELVORINE_SRC"/licenses/*.txt; do
        case $(basename "$f") in
            THIRD-PARTY-NOTICES.txt | SDL2.txt) ;;  # SDL is in the web page only
            *) crlf "$f" "$top/licenses/$(basename "$f")" ;;
        esac
    done
    (cd "$build/zip" && cmake -E tar cf "$zip.part" --format=zip "$name") || { log "cannot write $zip.part"; rm -f "$zip.part"; return 1; }
    rm -rf "$build/zip"
    # What is checked is the zip itself, unpacked, not the folder it was made from.
    mkdir -p "$build/zip-check"
    if ! (cd "$build/zip-check" && cmake -E tar xf "$zip.part") || ! win_check_folder "$build/zip-check/$name"; then
        rm -rf "$build/zip-check" "$zip.part"
        log "error: the Windows zip is incomplete (see above); no $name.zip was made"
        return 1
    fi
    rm -rf "$build/zip-check"
    mv "$zip.part" "$zip"
    log "zip: $zip ($(du -h "$zip" | cut -f1))"
    echo "$zip"
}

win_main() {
    local deps_only='' no_stage=''
    while [ $# -gt 0 ]; do
        case $1 in
            --deps-only) deps_only=1 ;;
            --no-stage) no_stage=1 ;;
            *) log "unknown option $1"; return 2 ;;
        esac
        shift
    done
    local build=${KELVORINE_WIN_BUILD:-$KELVORINE_SRC/build/windows-release}
    local type=${KELVORINE_WIN_TYPE:-RelWithDebInfo}
    local started=$SECONDS
    win_install_packages
    win_build_deps
    [ -n "$deps_only" ] && return 0
    # Build-time tools (shader compiler, test discovery) run under Wine.
    win_wine_start "$KELVORINE_SRC/build/windows-wine/prefix"
    trap win_wine_stop EXIT
    win_configure_and_build "$build" "$type" || { log "error: the Windows build failed"; return 1; }
    if [ -z "$no_stage" ]; then
        rm -f "$build"/kelvorine-*-windows-x64.zip
        win_stage "$build" || return 1
        win_zip "$build" >/dev/null || return 1
    fi
    log "done in $((SECONDS - started)) s"
}

if [ -z "${KELVORINE_WIN_LIB:-}" ]; then
    win_main "$@"
fi
