#!/usr/bin/env bash
# Makes the Debian package of the game: build/kelvorine_<version>_amd64.deb. The package is built
# under a temporary name, unpacked and checked (the game, the shaders, the settings template, every
# file of the data folder, the licences, the version in the man page and the metainfo), and only
# then takes its real name: a missing file stops the script with a non-zero exit code and leaves no
# package behind.
#
#   scripts/package.sh [--check]
#
#   --check   also validate the result: lintian, desktop-file-validate, appstreamcli (errors fail)
#
# Environment:
#   KELVORINE_PACKAGE_BUILD   CMake build folder to take the game from (default build/default,
#                             configured with the default preset when it is not there yet)
#   KELVORINE_PACKAGE_OUT     folder of the .deb (default build)
#   KELVORINE_MAINTAINER      "Name <address>" of the package's maintainer
#
# Layout of the package:
#   /usr/games/kelvorine                            the game (stripped)
#   /usr/share/games/kelvorine/                     SampleVS.glsl, SamplePS.glsl, Game.ini (the
#                                                   template of a player's settings), data/ (made by
#                                                   kelvorine-mkdata; its font file is a link to the
#                                                   font of fonts-vlgothic)
#   /usr/share/applications/org.kelvorine.Kelvorine.desktop,
#   /usr/share/metainfo/org.kelvorine.Kelvorine.metainfo.xml,
#   /usr/share/icons/hicolor/<n>x<n>/apps/kelvorine.png (48 to 256, drawn from the game's blocks),
#   /usr/share/man/man6/kelvorine.6.gz, /usr/share/doc/kelvorine/{copyright,changelog.gz}
# Library dependencies come from dpkg-shlibdeps; the font from the fonts-vlgothic dependency.
set -euo pipefail

SRC=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${KELVORINE_PACKAGE_BUILD:-$SRC/build/default}
OUT=${KELVORINE_PACKAGE_OUT:-$SRC/build}
MAINTAINER=${KELVORINE_MAINTAINER:-The Kelvorine authors <kelvorine@example.org>}
FONT=/usr/share/fonts/truetype/vlgothic/VL-Gothic-Regular.ttf
SHARED=usr/share/games/kelvorine
APPID=org.kelvorine.Kelvorine
# check_data_folder, project_version.
source "$SRC/scripts/common.sh"

log() { printf '[package] %s\n' "$*" >&2; }
die() { printf '[package] error: %s\n' "$*" >&2; exit 1; }

check=''
for arg in "$@"; do
    case $arg in
        --check) check=1 ;;
        *) die "unknown option $arg (usage: scripts/package.sh [--check])" ;;
    esac
done

for tool in cmake dpkg-deb dpkg-shlibdeps strip gzip; do
    command -v "$tool" >/dev/null || die "'$tool' not found (Debian packages cmake, dpkg-dev, binutils)"
done
[ -f "$FONT" ] || die "no $FONT (Debian package fonts-vlgothic)"

# ------------------------------------------------------------------------------ build
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
    [ "$BUILD" = "$SRC/build/default" ] || die "$BUILD is not a configured build folder"
    # As ./run.sh configures it: the game and its data generator need no test libraries.
    (cd "$SRC" && cmake --preset default -DKELVORINE_TESTS=OFF -DKELVORINE_BENCH=OFF >&2) ||
        die "cannot configure $BUILD"
fi
log "building kelvorine and kelvorine-mkdata in $BUILD"
cmake --build "$BUILD" --target kelvorine kelvorine-mkdata >&2 || die "cannot build kelvorine and kelvorine-mkdata in $BUILD"
VERSION=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$BUILD/CMakeCache.txt")
[ -n "$VERSION" ] || die "no project version in $BUILD/CMakeCache.txt"
[ "$VERSION" = "$(project_version)" ] || die "$BUILD was configured for version $VERSION, the sources say $(project_version): configure it again"
DATE=$(date -u -d "@${SOURCE_DATE_EPOCH:-$(git -C "$SRC" log -1 --format=%ct 2>/dev/null || date +%s)}" +%Y-%m-%d)
MKDATA="$BUILD/kelvorine-mkdata"

WORK=$(mktemp -d /tmp/kelvorine-package-XXXXXX)
trap 'rm -rf "$WORK"' EXIT
PKG="$WORK/root"
umask 022

# ------------------------------------------------------------------------------ files
log "assembling the package tree"
install -d "$PKG/DEBIAN" "$PKG/usr/games" "$PKG/$SHARED" "$PKG/usr/share/applications" \
    "$PKG/usr/share/metainfo" "$PKG/usr/share/man/man6" "$PKG/usr/share/doc/kelvorine" \
    "$PKG/usr/share/icons/hicolor"
strip --strip-unneeded --remove-section=.comment --remove-section=.note \
    -o "$PKG/usr/games/kelvorine" "$BUILD/kelvorine"
chmod 755 "$PKG/usr/games/kelvorine"

"$MKDATA" "$WORK/data" >&2 || die "kelvorine-mkdata failed"
cp -r "$WORK/data/data" "$PKG/$SHARED/data"
# The font of the system, not a copy: the link is relative, as links inside /usr/share should be.
rm "$PKG/$SHARED/data/VLGothic/VL-Gothic-Regular.ttf"
ln -s ../../../../fonts/truetype/vlgothic/VL-Gothic-Regular.ttf "$PKG/$SHARED/data/VLGothic/VL-Gothic-Regular.ttf"
link=$(readlink "$PKG/$SHARED/data/VLGothic/VL-Gothic-Regular.ttf")
[ "$(realpath -m "/$SHARED/data/VLGothic/$link")" = "$FONT" ] || die "the font link does not lead to $FONT"
"$MKDATA" --installed-game-ini "$PKG/$SHARED/Game.ini" >&2 || die "cannot write the settings template"
install -m 644 "$SRC/src/platform/sdl/shaders/SampleVS.glsl" "$SRC/src/platform/sdl/shaders/SamplePS.glsl" \
    "$PKG/$SHARED/"
"$MKDATA" --icons "$PKG/usr/share/icons/hicolor" "$WORK/data/data" >&2 || die "cannot draw the icons"

install -m 644 "$SRC/packaging/$APPID.desktop" "$PKG/usr/share/applications/"
sed -e "s|@VERSION@|$VERSION|g" -e "s|@DATE@|$DATE|g" \
    "$SRC/packaging/$APPID.metainfo.xml" >"$PKG/usr/share/metainfo/$APPID.metainfo.xml"
sed -e "s|@VERSION@|$VERSION|g" -e "s|@DATE@|$DATE|g" "$SRC/packaging/kelvorine.6" |
    gzip -9n >"$PKG/usr/share/man/man6/kelvorine.6.gz"
install -m 644 "$SRC/packaging/copyright" "$PKG/usr/share/doc/kelvorine/copyright"
{
    printf 'kelvorine (%s) unstable; urgency=medium\n\n' "$VERSION"
    printf '  * Release %s of Kelvorine.\n\n' "$VERSION"
    printf ' -- %s  %s\n' "$MAINTAINER" "$(date -u -R -d "$DATE")"
} | gzip -9n >"$PKG/usr/share/doc/kelvorine/changelog.gz"
find "$PKG" -type d -exec chmod 755 {} +
find "$PKG/usr" -type f ! -path "$PKG/usr/games/*" -exec chmod 644 {} +

# ------------------------------------------------------------------------------ control
log "computing the library dependencies"
mkdir -p "$WORK/shlibs/debian"
printf 'Source: kelvorine\n\nPackage: kelvorine\nArchitecture: amd64\n' >"$WORK/shlibs/debian/control"
shlibs=$(cd "$WORK/shlibs" && dpkg-shlibdeps -O -e"$PKG/usr/games/kelvorine" 2>"$WORK/shlibdeps.log") ||
    { cat "$WORK/shlibdeps.log" >&2; die "dpkg-shlibdeps failed"; }
depends=${shlibs#shlibs:Depends=}
[ -n "$depends" ] && [ "$depends" != "$shlibs" ] || die "dpkg-shlibdeps gave no dependencies: $shlibs"
size=$(du -k -s --apparent-size "$PKG/usr" | cut -f1)
cat >"$PKG/DEBIAN/control" <<EOF
Package: kelvorine
Version: $VERSION
Architecture: amd64
Maintainer: $MAINTAINER
Installed-Size: $size
Depends: $depends, fonts-vlgothic
Section: games
Priority: optional
Description: falling-block puzzle game
 Pieces fall into a well ten cells wide and twenty-eight rows tall: the
 seven four-cell pieces and a one-cell block, with the next six shown.
 Move them sideways, rotate them either way and push them down; full rows
 vanish and score by their number and the level, and every twenty rows the
 fall speeds up. The ten best scores are ranked with their date and time.
 .
 It plays with the keyboard or a game pad, with music and sound effects, in
 a window or full screen. Settings and the ranking are kept in
 ~/.local/share/kelvorine.
EOF
(cd "$PKG" && find usr -type f -print0 | LC_ALL=C sort -z | xargs -0 md5sum >DEBIAN/md5sums)
chmod 644 "$PKG/DEBIAN/control" "$PKG/DEBIAN/md5sums"

mkdir -p "$OUT"
DEB="$OUT/kelvorine_${VERSION}_amd64.deb"
rm -f "$DEB"
dpkg-deb --root-owner-group -Zxz --build "$PKG" "$WORK/package.deb" >&2 || die "dpkg-deb failed"

# ------------------------------------------------------------------------------ contents
# What is checked is the package file itself, unpacked.
dpkg-deb -x "$WORK/package.deb" "$WORK/unpacked" || die "the package just made cannot be unpacked"
check_deb_tree() {
    local t=$1 bad=0 f
    for f in usr/games/kelvorine "$SHARED/SampleVS.glsl" "$SHARED/SamplePS.glsl" "$SHARED/Game.ini" \
        "usr/share/applications/$APPID.desktop" "usr/share/metainfo/$APPID.metainfo.xml" \
        usr/share/man/man6/kelvorine.6.gz usr/share/doc/kelvorine/copyright; do
        [ -s "$t/$f" ] || { echo "missing: /$f" >&2; bad=1; }
    done
    [ ! -s "$t/$SHARED/Game.ini" ] || [ "$(stat -c %s "$t/$SHARED/Game.ini")" = 512 ] ||
        { echo "wrong: /$SHARED/Game.ini is not 512 bytes" >&2; bad=1; }
    check_data_folder "$t/$SHARED/data" || bad=1
    # The licences of everything the package carries: the game's and the font's.
    for f in "License: Expat" "License: M+Font"; do
        grep -q "$f" "$t/usr/share/doc/kelvorine/copyright" 2>/dev/null || { echo "missing: the $f licence in the copyright file" >&2; bad=1; }
    done
    # grep reads the whole page (no -q): an early exit would end zcat by SIGPIPE, which pipefail
    # reports as a failure.
    zcat "$t/usr/share/man/man6/kelvorine.6.gz" 2>/dev/null | grep "\"Kelvorine $VERSION\"" >/dev/null ||
        { echo "wrong: the man page does not carry version $VERSION" >&2; bad=1; }
    grep -q "<release version=\"$VERSION\" date=\"$DATE\"/>" "$t/usr/share/metainfo/$APPID.metainfo.xml" 2>/dev/null ||
        { echo "wrong: the metainfo has no release entry $VERSION of $DATE" >&2; bad=1; }
    [ "$(dpkg-deb -f "$WORK/package.deb" Version)" = "$VERSION" ] || { echo "wrong: the control file's version" >&2; bad=1; }
    return $bad
}
check_deb_tree "$WORK/unpacked" || die "the package is incomplete (see above); no $(basename "$DEB") was made"
mv "$WORK/package.deb" "$DEB"
log "made $DEB ($(du -h "$DEB" | cut -f1)), depends: $depends, fonts-vlgothic"

# ------------------------------------------------------------------------------ validation
if [ -n "$check" ]; then
    for tool in lintian desktop-file-validate appstreamcli; do
        command -v "$tool" >/dev/null || die "'$tool' not found (Debian packages lintian, desktop-file-utils, appstream)"
    done
    failed=''
    log "lintian"
    lintian --tag-display-limit 0 "$DEB" >"$WORK/lintian.txt" 2>&1 || true
    cat "$WORK/lintian.txt" >&2
    grep -q '^E: ' "$WORK/lintian.txt" && failed+=' lintian'
    log "desktop-file-validate"
    desktop-file-validate "$PKG/usr/share/applications/$APPID.desktop" >&2 || failed+=' desktop-file-validate'
    log "appstreamcli validate"
    appstreamcli validate --no-net "$PKG/usr/share/metainfo/$APPID.metainfo.xml" >"$WORK/appstream.txt" 2>&1 || true
    cat "$WORK/appstream.txt" >&2
    grep -q '^E: ' "$WORK/appstream.txt" && failed+=' appstreamcli'
    [ -z "$failed" ] || die "validation reported errors:$failed"
    log "validated: no errors from lintian, desktop-file-validate, appstreamcli"
fi
echo "$DEB"
