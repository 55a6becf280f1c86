#!/usr/bin/env bash
# The two commands on a fresh machine: clones the commit under test (HEAD, committed files only)
# into a minimal Debian 12 root (scripts/fresh-root.sh), runs ./run.sh there until the game has
# presented its title (on an X server of this machine, dummy audio), then ./test.sh unit there.
# A machine that already has every package proves nothing about what ./run.sh installs; this does.
#
#   scripts/test-fresh.sh              as root (./test.sh fresh runs it, through sudo if needed)
#
#   FRESH_RUN_MINUTES=15   time allowed for ./run.sh (packages, build, first title frame; 2-4 min)
#   FRESH_UNIT_MINUTES=35  time allowed for ./test.sh unit (about 20 min on a loaded machine)
#   FRESH_STEPS="run unit" the steps to take ("run" alone stops after the title)
#   FRESH_KEEP=1           keeps the logs folder (always kept on failure)
# Logs: build/fresh-logs/{run,unit}.log; the tail of a failing step's log is printed.
set -euo pipefail
cd "$(dirname "$0")/.."
KELVORINE_ROOT=$(pwd)
source scripts/fresh-root.sh

RUN_MINUTES=${FRESH_RUN_MINUTES:-15}
UNIT_MINUTES=${FRESH_UNIT_MINUTES:-35}
STEPS=${FRESH_STEPS:-run unit}
LOGS="$KELVORINE_ROOT/build/fresh-logs"

say() { printf '[fresh] %s\n' "$*"; }
fail() {
    printf '[fresh] FAIL: %s\n' "$*" >&2
    exit 1
}

((EUID == 0)) || fail "needs root (debootstrap, mount, chroot)"
for tool in git Xvfb debootstrap; do
    command -v "$tool" >/dev/null || fail "'$tool' not found (./test.sh installs it)"
done

COMMIT=$(git rev-parse HEAD)
ROOT=$(mktemp -d /var/tmp/kelvorine-fresh.XXXXXX)
XVFB_PID=
cleanup() {
    [[ -n "$XVFB_PID" ]] && kill "$XVFB_PID" 2>/dev/null
    fresh_root_destroy "$ROOT"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP
rm -rf "$LOGS"
mkdir -p "$LOGS"

started=$SECONDS
say "Fresh Debian 12 root in $ROOT"
fresh_root_create "$ROOT"
say "Cloning $COMMIT"
git clone -q --no-checkout --no-hardlinks "$KELVORINE_ROOT" "$ROOT/root/kelvorine"
git -C "$ROOT/root/kelvorine" -c advice.detachedHead=false checkout -q --detach "$COMMIT"

# Prints the minutes and seconds since $1 (a $SECONDS value).
since() { printf '%dm%02ds' $(((SECONDS - $1) / 60)) $(((SECONDS - $1) % 60)); }

# A step's log tail, when it failed.
show_log() {
    printf '[fresh] last lines of %s:\n' "$1" >&2
    tail -n 60 "$1" >&2
}

if [[ " $STEPS " == *" run "* ]]; then
    # An X server of this machine on a free display; its socket reaches the root through the
    # bind-mounted /tmp/.X11-unix.
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$LOGS/display" 2>"$LOGS/xvfb.log" &
    XVFB_PID=$!
    for _ in $(seq 100); do
        [[ -s "$LOGS/display" ]] && break
        sleep 0.1
    done
    display=$(cat "$LOGS/display")
    [[ -n "$display" && -S "$ROOT/tmp/.X11-unix/X$display" ]] || fail "Xvfb did not start: $(cat "$LOGS/xvfb.log")"

    sizes() { fresh_root_run "$ROOT" dpkg-query -W -f='${Installed-Size}\n' | awk '{ s += $1 } END { print s }'; }
    size_before=$(sizes)
    say "./run.sh (at most $RUN_MINUTES minutes; log: $LOGS/run.log)"
    step=$SECONDS
    rc=0
    fresh_root_run "$ROOT" timeout "$((RUN_MINUTES * 60))" env DISPLAY=":$display" \
        KELVORINE_EXIT_AFTER_FIRST_PRESENT=title SDL_AUDIODRIVER=dummy \
        bash -c 'cd kelvorine && ./run.sh' </dev/null >"$LOGS/run.log" 2>&1 || rc=$?
    if ((rc != 0)); then
        show_log "$LOGS/run.log"
        ((rc == 124)) && fail "./run.sh did not reach the title within $RUN_MINUTES minutes"
        fail "./run.sh exited with $rc"
    fi
    grep -q '^first-present title ' "$LOGS/run.log" || {
        show_log "$LOGS/run.log"
        fail "./run.sh exited 0 without presenting the title"
    }
    say "./run.sh reached the title in $(since "$step"); it installed $((($(sizes) - size_before) / 1024)) MB of packages"
    kill "$XVFB_PID" 2>/dev/null
    XVFB_PID=
fi

if [[ " $STEPS " == *" unit "* ]]; then
    # The tests start X servers of their own inside the root, which must not share this machine's
    # socket folder (they see only the root's lock files).
    fresh_root_private_x11 "$ROOT"
    say "./test.sh unit (at most $UNIT_MINUTES minutes; log: $LOGS/unit.log)"
    step=$SECONDS
    rc=0
    fresh_root_run "$ROOT" nice -n 10 timeout "$((UNIT_MINUTES * 60))" \
        bash -c 'cd kelvorine && ./test.sh unit' </dev/null >"$LOGS/unit.log" 2>&1 || rc=$?
    if ((rc != 0)); then
        grep -E '^FAIL|\*\*\*Failed|\*\*\*Timeout' "$LOGS/unit.log" | sed 's/^/[fresh] /' >&2 || true
        show_log "$LOGS/unit.log"
        ((rc == 124)) && fail "./test.sh unit did not finish within $UNIT_MINUTES minutes"
        fail "./test.sh unit exited with $rc"
    fi
    grep -E '^[0-9]+% tests passed|^Total Test time' "$LOGS/unit.log" | sed 's/^/[fresh] /'
    say "./test.sh unit passed in $(since "$step")"
fi

say "Fresh machine: all steps passed ($STEPS) in $(since "$started")"
[[ -n "${FRESH_KEEP:-}" ]] || rm -rf "$LOGS"
