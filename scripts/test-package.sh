#!/usr/bin/env bash
# The Debian package as a player meets it, on a fresh machine:
#
#   scripts/test-package.sh [DEB]     DEB: a package already made and checked (the release's)
#
#   1. without DEB, scripts/package.sh --check: the package is made, and lintian,
#      desktop-file-validate and appstreamcli report no errors;
#   2. a fresh Debian 12 root (scripts/fresh-root.sh) installs it with apt-get install ./<deb>,
#      dependencies resolved by apt;
#   3. a player (not root, a new home) starts the desktop entry's command from an unrelated folder on
#      an X server of this machine: the title is drawn, DECISION (Z) starts a game, Esc ends it with exit
#      code 0, "Game.ini" and "dir.txt" are in ~/.local/share/kelvorine, and the first start was
#      audible (SDL's disk audio driver captures what the game mixed);
#   4. apt-get purge removes the game and leaves the player's folder as it was.
# Runs as root (the fresh root mounts and chroots). Prints the time of each step.
set -euo pipefail
SRC=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=fresh-root.sh
source "$SRC/scripts/fresh-root.sh"
# shellcheck source=common.sh
source "$SRC/scripts/common.sh"

STARTED=$SECONDS
step() { printf '\n[test-package] %s (%d s)\n' "$*" "$((SECONDS - STARTED))"; }
fail() {
    printf '[test-package] FAIL: %s\n' "$*" >&2
    [ -n "${WORK:-}" ] && [ -f "$WORK/game.log" ] && sed 's/^/  game: /' "$WORK/game.log" >&2
    exit 1
}
((EUID == 0)) || fail "needs root (it mounts and chroots a fresh Debian root)"
for tool in Xvfb xdotool import convert compare sox; do
    command -v "$tool" >/dev/null || fail "'$tool' not found"
done

WORK=$(mktemp -d /tmp/kelvorine-package-test-XXXXXX)
ROOT=''
XPID=''
GPID=''
cleanup() {
    [ -n "$GPID" ] && kill "$GPID" 2>/dev/null
    [ -n "$ROOT" ] && fresh_root_destroy "$ROOT"
    [ -n "$XPID" ] && kill "$XPID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT

# ------------------------------------------------------------------------------ package
if [ -n "${1:-}" ]; then
    DEB=$(realpath "$1")
    step "the package $(basename "$DEB")"
else
    step "making and validating the package"
    DEB=$("$SRC/scripts/package.sh" --check | tail -1)
fi
[ -f "$DEB" ] || fail "no package"

# ------------------------------------------------------------------------------ fresh root
step "fresh Debian 12 root"
ROOT=$(mktemp -d /var/tmp/kelvorine-root.XXXXXX)
fresh_root_create "$ROOT" || fail "cannot make the fresh root"
cp "$DEB" "$ROOT/root/"
step "apt-get install ./$(basename "$DEB")"
fresh_root_run "$ROOT" apt-get update -qq >"$WORK/apt.log" 2>&1 || { cat "$WORK/apt.log"; fail "apt-get update"; }
fresh_root_run "$ROOT" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
    "./$(basename "$DEB")" >>"$WORK/apt.log" 2>&1 || { tail -30 "$WORK/apt.log"; fail "apt-get install"; }
grep -E '^(Setting up|The following NEW)' "$WORK/apt.log" | tail -3
[ -x "$ROOT/usr/games/kelvorine" ] || fail "no /usr/games/kelvorine after the install"
[ -f "$ROOT/usr/share/games/kelvorine/data/VLGothic/VL-Gothic-Regular.ttf" ] ||
    fail "the data folder's font link leads nowhere (fonts-vlgothic not installed?)"

# The desktop icons, drawn from the game's blocks: square, of their size, not empty.
for n in 48 64 128 256; do
    icon="$ROOT/usr/share/icons/hicolor/${n}x$n/apps/kelvorine.png"
    [ -f "$icon" ] || fail "no ${n}px icon"
    read -r w h opaque < <(convert "$icon" -format '%w %h ' -write info: -alpha extract -format '%[fx:mean]\n' info:)
    [ "$w $h" = "$n $n" ] && awk -v a="$opaque" 'BEGIN { exit !(a > 0.5) }' || fail "the ${n}px icon is $w x $h, opacity $opaque"
done

fresh_root_add_user "$ROOT" player
PLAYER_HOME="$ROOT/home/player"
FILES="$PLAYER_HOME/.local/share/kelvorine"
[ ! -e "$PLAYER_HOME/.local" ] || fail "the new home is not empty of game files"
install -d -o 0 -g 0 -m 755 "$ROOT/srv/elsewhere"

# ------------------------------------------------------------------------------ X server
for _ in $(seq 20); do
    n=$((200 + RANDOM % 700))
    [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
    XPID=$!
    for _ in $(seq 50); do [ -S "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    [ -S "/tmp/.X11-unix/X$n" ] && kill -0 "$XPID" 2>/dev/null && break
    XPID=''
done
[ -n "$XPID" ] || fail "Xvfb did not start"
export DISPLAY=":$n"

# ------------------------------------------------------------------------------ the player
step "the player starts the desktop entry's command from /srv/elsewhere"
(
    fresh_root_run_as player "$ROOT" env DISPLAY="$DISPLAY" SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/tmp/sound.raw \
        sh -c 'cd /srv/elsewhere && exec timeout 120 $(sed -n "s/^Exec=//p" /usr/share/applications/org.kelvorine.Kelvorine.desktop)' \
        >"$WORK/game.log" 2>&1
    echo $? >"$WORK/exit"
) &
GPID=$!

W=$(timeout 30 xdotool search --sync --onlyvisible --name '^Kelvorine$' 2>/dev/null | head -1) || true
[ -n "$W" ] || fail "no game window"
timeout 10 xdotool windowfocus --sync "$W" || fail "cannot focus the window"
press() {
    timeout 5 xdotool windowfocus --sync "$W" >/dev/null 2>&1
    timeout 5 xdotool keydown "$1"
    sleep 0.1
    timeout 5 xdotool keyup "$1"
}
shot() { timeout 10 import -window "$W" "$WORK/$1.png" && convert "$WORK/$1.png" -format '%[fx:mean] %k' info:; }
# Waits until screenshot NAME meets the awk condition on (m = mean, c = colours); false after 30 s.
settle() {
    local name=$1 cond=$2 m c
    for _ in $(seq 30); do
        read -r m c < <(shot "$name")
        awk -v m="$m" -v c="$c" "BEGIN { exit !($cond) }" && { echo "$name: mean $m, $c colours"; return 0; }
        sleep 1
    done
    echo "$name: mean $m, $c colours"
    return 1
}
settle title 'm > 0.05 && c > 200' || fail "the title is not drawn"
started=''
for _ in 1 2 3; do
    press z
    for _ in $(seq 10); do
        sleep 1
        shot game >/dev/null
        # compare exits 1 when the pictures differ, which is what is wanted here.
        diff=$(compare -metric RMSE "$WORK/title.png" "$WORK/game.png" null: 2>&1 | sed -E 's/.*\(([0-9.e-]+)\).*/\1/' || true)
        well=$(convert "$WORK/game.png" -resize 1280x720! -crop 200x300+540+200 -format '%[fx:mean]' info:)
        wall=$(convert "$WORK/game.png" -resize 1280x720! -crop 12x300+502+200 -format '%[fx:mean]' info:)
        if awk -v d="$diff" -v w="$well" -v l="$wall" 'BEGIN { exit !(d > 0.05 && w < 0.2 && l > 0.3) }'; then
            started=1
            break 2
        fi
    done
done
[ -n "$started" ] || fail "DECISION did not start a game (difference $diff, well $well, wall $wall)"
echo "game: difference from the title $diff, well $well, wall $wall"
sleep 2  # the game's music and the start's effect, for the sound check below
press Escape
for _ in $(seq 100); do [ -f "$WORK/exit" ] && break; sleep 0.1; done
[ -f "$WORK/exit" ] || fail "the game did not end after Esc"
GPID=''
[ "$(cat "$WORK/exit")" = 0 ] || fail "the game ended with exit code $(cat "$WORK/exit")"
[ "$(stat -c %s "$FILES/Game.ini" 2>/dev/null)" = 512 ] || fail "no Game.ini in ~/.local/share/kelvorine"
[ "$(stat -c %u "$FILES/Game.ini")" = "$(awk -F: '$1 == "player" { print $3 }' "$ROOT/etc/passwd")" ] ||
    fail "Game.ini does not belong to the player"
named=$(tail -c +3 "$FILES/dir.txt" | iconv -f UTF-16LE -t UTF-8)
[ "$named" = /usr/share/games/kelvorine/data/ ] || fail "dir.txt names '$named'"
[ -z "$(ls -A "$ROOT/srv/elsewhere")" ] || fail "files written into the working folder"
echo "exit code 0; ~/.local/share/kelvorine: $(ls "$FILES" | tr '\n' ' ')"
# The first start is audible: SDL's disk driver wrote what was mixed (16-bit stereo, 44,100 Hz),
# the silent title included, from the volumes of the template the first start put in place.
first_start_audible "$ROOT/tmp/sound.raw" || fail "the first start is silent"

# ------------------------------------------------------------------------------ purge
step "apt-get purge kelvorine"
sum=$(cat "$FILES/Game.ini" "$FILES/dir.txt" | md5sum)
fresh_root_run "$ROOT" env DEBIAN_FRONTEND=noninteractive apt-get purge -y -q kelvorine >"$WORK/purge.log" 2>&1 ||
    { cat "$WORK/purge.log"; fail "apt-get purge"; }
[ ! -e "$ROOT/usr/games/kelvorine" ] || fail "the game is still there after the purge"
[ ! -e "$ROOT/usr/share/games/kelvorine" ] || fail "the game's data is still there after the purge"
[ "$(cat "$FILES/Game.ini" "$FILES/dir.txt" | md5sum)" = "$sum" ] || fail "the purge touched the player's folder"
echo "the game is gone; the player's folder stays"

step "done"
