#!/usr/bin/env bash
# Makes a release: every artefact a player can get, from this checkout, into build/release/:
#
#   kelvorine_<version>_amd64.deb           the Debian package (scripts/package.sh --check)
#   kelvorine-<version>-windows-x64.zip     the Windows folder (scripts/build-windows.sh)
#   kelvorine-<version>-web.zip             the web page for any static host (scripts/build-web.sh),
#                                           one folder kelvorine-<version>-web/ with index.html
#   SHA256SUMS                              the checksums of the three
#
#   scripts/release.sh
#
# It installs the missing Debian packages and builds what it needs (the native game and data
# generator in build/default, the Windows and web builds in their own folders), so a clean clone is
# enough. The version is the CMake project version. Each artefact is checked as it is unpacked (its
# game, data folder, dir.txt, shaders, licences, version); the artefacts are made in
# build/release.part and that folder becomes build/release only when every check passed. A failure
# exits non-zero, names what is missing and leaves no build/release behind.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

OUT=$KELVORINE_ROOT/build/release
PART=$OUT.part
STARTED=$SECONDS
VERSION=$(project_version)
[[ -n "$VERSION" ]] || die "no project version in CMakeLists.txt"
WEB_NAME="kelvorine-$VERSION-web"

# What the web page must hold; FOLDER is the unpacked archive's top folder. Prints what is missing.
# The shaders and the data folder are packed into kelvorine.data, whose files kelvorine.js lists
# with their places: they are taken out and checked like any data folder. (The page writes its own
# dir.txt into the browser's storage on a first visit.)
web_check_folder() {
    local top=$1 bad=0 f
    for f in index.html kelvorine.js kelvorine.wasm kelvorine.data manifest.webmanifest sw.js \
        icon-128.png icon-256.png LICENSE.txt THIRD-PARTY-NOTICES.txt \
        licenses/VLGothic.txt licenses/libpng.txt licenses/zlib.txt licenses/libogg.txt \
        licenses/libvorbis.txt licenses/SDL2.txt; do
        [[ -s "$top/$f" ]] || { echo "missing: $f" >&2; bad=1; }
    done
    ((bad == 0)) || return 1
    rm -rf "$top.packed"
    python3 - "$top/kelvorine.js" "$top/kelvorine.data" "$top.packed" <<'PY' || { echo "wrong: kelvorine.data does not match its list in kelvorine.js" >&2; return 1; }
import json, os, re, sys
js, data, out = sys.argv[1:]
files = json.loads(re.search(r'"files":(\[[^\]]*\])', open(js).read()).group(1))
blob = open(data, "rb").read()
for f in files:
    if f["end"] > len(blob):
        sys.exit(1)
    path = out + f["filename"]
    os.makedirs(os.path.dirname(path), exist_ok=True)
    open(path, "wb").write(blob[f["start"]:f["end"]])
PY
    for f in SampleVS.glsl SamplePS.glsl; do
        [[ -s "$top.packed/game/$f" ]] || { echo "missing: $f in kelvorine.data" >&2; bad=1; }
    done
    check_data_folder "$top.packed/game/data" --no-font || bad=1
    rm -rf "$top.packed"
    return $bad
}

# Packs build/web as PART/kelvorine-<version>-web.zip and checks the archive.
web_archive() {
    local work="$PART/web" zip="$PART/$WEB_NAME.zip"
    [[ -f build/web/index.html ]] || { echo "missing: build/web/index.html (scripts/build-web.sh made no page)" >&2; return 1; }
    mkdir -p "$work/$WEB_NAME/licenses"
    cp -r build/web/. "$work/$WEB_NAME/"
    cp LICENSE "$work/$WEB_NAME/LICENSE.txt"
    cp licenses/THIRD-PARTY-NOTICES.txt "$work/$WEB_NAME/"
    find licenses -name '*.txt' ! -name THIRD-PARTY-NOTICES.txt -exec cp {} "$work/$WEB_NAME/licenses/" \;
    (cd "$work" && cmake -E tar cf "$zip" --format=zip "$WEB_NAME") || return 1
    rm -rf "$work"
    mkdir -p "$work"
    (cd "$work" && cmake -E tar xf "$zip") || return 1
    [[ "$(ls "$work")" == "$WEB_NAME" ]] || { echo "wrong: the archive's top folder is not $WEB_NAME" >&2; return 1; }
    web_check_folder "$work/$WEB_NAME" || return 1
    rm -rf "$work"
}

timed() {
    local what=$1 t=$SECONDS
    shift
    "$@" || die "$what failed (see above); no release was made"
    TIMES+=("$what $((SECONDS - t)) s")
}

install_packages play test
rm -rf "$OUT" "$PART"
mkdir -p "$PART"
trap 'rm -rf "$PART"' EXIT
TIMES=()
say "Release $VERSION: the Debian package"
timed "Debian package" env KELVORINE_PACKAGE_OUT="$PART" scripts/package.sh --check
say "Release $VERSION: the Windows zip"
timed "Windows zip" scripts/build-windows.sh
cp "build/windows-release/kelvorine-$VERSION-windows-x64.zip" "$PART/" ||
    die "missing: build/windows-release/kelvorine-$VERSION-windows-x64.zip"
say "Release $VERSION: the web page"
timed "web page" scripts/build-web.sh
timed "web archive" web_archive

# Exactly the three artefacts, each with the version in its name.
expected=("kelvorine_${VERSION}_amd64.deb" "kelvorine-$VERSION-windows-x64.zip" "$WEB_NAME.zip")
for f in "${expected[@]}"; do
    [[ -s "$PART/$f" ]] || die "missing: $f"
done
[[ "$(ls "$PART" | wc -l)" == 3 ]] || die "unexpected files in the release: $(ls "$PART" | tr '\n' ' ')"
(cd "$PART" && sha256sum "${expected[@]}" >SHA256SUMS && sha256sum --quiet -c SHA256SUMS) || die "cannot write SHA256SUMS"
mv "$PART" "$OUT"

say "Release $VERSION in build/release ($((SECONDS - STARTED)) s; $(IFS=,; echo "${TIMES[*]}" | sed "s/,/, /g"))"
(cd "$OUT" && for f in "${expected[@]}"; do printf '  %-40s %9d bytes\n' "$f" "$(stat -c %s "$f")"; done)
