#!/bin/bash
# The real game under Xvfb with SDL's disk audio driver, which writes what is mixed to a raw file
# (16-bit stereo 44,100 Hz) in real time. Three runs on the staged game with the Ogg sound list:
#   1. volumes on: the title is silent; DECISION plays effect 0; the music follows within 0.5 s
#      of the game's first frame. That frame is found on screen: the title fades to black and the
#      game fades in from black, so it is the darkest of a series of window dumps, each taken with
#      the capture's length at that moment (capture time, which under load runs slower than the
#      wall clock: the 0.5 s bound is then only stricter);
#   2. music at 0: in the game everything is silent until PAUSE plays effect 0;
#   3. both volumes at 0: the whole capture is silent.
# $1 = source folder, $2 = build folder (its stage/ folder holds the game).
set -euo pipefail
BUILD=$2
STAGE=$BUILD/stage
[ -x "$STAGE/kelvorine" ] && [ -f "$STAGE/dir.txt" ] && [ -d "$STAGE/data/ogg" ] || { echo "no staged game in $STAGE"; exit 77; }
for tool in Xvfb xdpyinfo xdotool xwd sox python3; do
    command -v $tool >/dev/null || { echo "$tool missing"; exit 77; }
done

WORK=$(mktemp -d)
XPID=
GPID=
cleanup() {
    [ -n "$GPID" ] && kill "$GPID" 2>/dev/null || true
    [ -n "$XPID" ] && kill "$XPID" 2>/dev/null || true
    [ -n "${KEEP_WORK:-}" ] && echo "kept $WORK" || rm -rf "$WORK"
}
trap cleanup EXIT

# A free display number.
D=90
while [ -e /tmp/.X11-unix/X$D ] || [ -e /tmp/.X$D-lock ]; do D=$((D + 1)); done
Xvfb :$D -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
XPID=$!
export DISPLAY=:$D
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

# The game folder: the program, its shaders and dir.txt copied, the data shared read-only.
GAME=$WORK/game
mkdir -p "$GAME"
cp "$STAGE/kelvorine" "$STAGE/dir.txt" "$GAME/"
cp "$STAGE"/*.glsl "$GAME/" 2>/dev/null || true
ln -s "$(cd "$STAGE/data" && pwd)" "$GAME/data"

# Settings image: the staged defaults with the Ogg list (file code 1 at byte 21), the timer mode
# timeGetTime (byte 18 = 0), and the music and effect volume steps at bytes 34 and 35.
write_ini() {
    python3 - "$STAGE/Game.ini" "$GAME/Game.ini" "$1" "$2" <<'PY'
import sys
src, dst, bgm, se = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
try:
    img = bytearray(open(src, "rb").read())
except OSError:
    img = bytearray()
if len(img) != 512:  # the defaults of a missing settings file
    img = bytearray(512)
    img[0:24] = bytes([0, 1, 0, 1, 1, 0xBD, 0x37, 0x86, 0x35, 0, 0, 0, 0, 1, 0, 0, 1, 1, 0, 1, 0, 1, 1, 1])
img[2] = 0      # framed window
img[18] = 0     # timeGetTime pacing
img[21] = 1     # Ogg sound list
img[34], img[35] = bgm, se
open(dst, "wb").write(img)
PY
}

# Bytes written so far to the capture (the driver writes at the real rate).
captured() { stat -c %s "$GAME/out.raw" 2>/dev/null || echo 0; }

start_game() {
    rm -f "$GAME/out.raw"
    (cd "$GAME" && SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$GAME/out.raw" exec timeout 60 ./kelvorine) \
        >"$WORK/game.log" 2>&1 &
    GPID=$!
    W=$(timeout 20 xdotool search --sync --onlyvisible --name '^Kelvorine$' | head -1)
    [ -n "$W" ] || { echo "FAIL: no game window"; cat "$WORK/game.log"; exit 1; }
    xdotool windowfocus --sync "$W" 2>/dev/null || true
}

press() { xdotool keydown "$1"; sleep 0.08; xdotool keyup "$1"; }

stop_game() {
    press Escape
    for _ in $(seq 50); do kill -0 "$GPID" 2>/dev/null || break; sleep 0.1; done
    kill "$GPID" 2>/dev/null || true
    wait "$GPID" 2>/dev/null || true
    GPID=
}

# RMS of 50 ms windows of the capture, one line "seconds rms".
windows() {
    python3 - "$GAME/out.raw" <<'PY'
import array, sys
data = array.array("h", open(sys.argv[1], "rb").read())
step = 2 * 2205
for i in range(0, len(data) - step + 1, step):
    w = data[i:i + step]
    rms = (sum(x * x for x in w) / len(w)) ** 0.5
    print(f"{i / 2 / 44100:.3f} {rms:.1f}")
PY
}

SEC=176400  # bytes per second of capture

# ---- run 1: music and effects on
write_ini 12 16
start_game
sleep 2.5
P1=$(captured)
press z
# Window dumps for 8 s after the press, each with the capture length when it was taken.
mkdir -p "$WORK/shots"
: > "$WORK/shots.txt"
END=$((SECONDS + 8))
i=0
while [ $SECONDS -lt $END ]; do
    i=$((i + 1))
    c=$(captured)
    xwd -silent -id "$W" > "$WORK/shots/$i.xwd" || break
    echo "$c $WORK/shots/$i.xwd" >> "$WORK/shots.txt"
done
sleep 1
stop_game
windows > "$WORK/run1.txt"
python3 - "$WORK/run1.txt" "$P1" "$WORK/shots.txt" <<'PY' || exit 1
import struct, sys
SEC = 176400
rows = [tuple(map(float, l.split())) for l in open(sys.argv[1])]
press = int(sys.argv[2]) / SEC
loud = lambda r: r > 30

def brightness(path):  # mean of the middle of the window, every 8th pixel
    d = open(path, "rb").read()
    h = struct.unpack(">25I", d[:100])
    size, w, ht, bpl, ncol = h[0], h[4], h[5], h[12], h[19]
    off = size + ncol * 12
    tot = n = 0
    for y in range(ht // 4, 3 * ht // 4, 8):
        for x in range(w // 4, 3 * w // 4, 8):
            p = off + y * bpl + 4 * x
            tot += d[p] + d[p + 1] + d[p + 2]
            n += 3
    return tot / n

shots = [(int(c) / SEC, brightness(p)) for c, p in (l.split() for l in open(sys.argv[3]))]

def fail(msg):
    print("FAIL:", msg)
    print("  shots:", " ".join(f"{t:.2f}:{b:.0f}" for t, b in shots))
    print("  sound:", " ".join(f"{t:.2f}:{r:.0f}" for t, r in rows if press - 0.5 <= t <= press + 6))
    sys.exit(1)

if not all(r < 1 for t, r in rows if 0.2 <= t < press - 0.1):
    fail("the title is not silent")
E = next((t for t, r in rows if t >= press - 0.1 and loud(r)), None)
if E is None or E > press + 0.3:
    fail("DECISION did not play effect 0")
k = min(range(len(shots)), key=lambda j: shots[j][1])
if not 0 < k < len(shots) - 1 or shots[k][1] > 8:
    fail("the fade to the game was not seen")
before, after = shots[k - 1][0], shots[k + 1][0]
M = next((t for t, r in rows if t >= E + 0.3 and all(loud(r2) for t2, r2 in rows if t <= t2 < t + 1.0)), None)
if M is None:
    fail("no music in the game")
if M > after + 0.5:
    fail(f"music began {M - after:.2f} s after the game's first frame")
if M < before - 0.05:
    fail("music began before the game")
print(f"ok: title silent; effect 0 at {E - press:+.2f} s; music {M - shots[k][0]:+.2f} s from the game's first frame")
PY
rm -rf "$WORK/shots"

# ---- run 2: music at 0: silence in the game until PAUSE plays effect 0
write_ini 0 16
start_game
sleep 2.0
press z
sleep 6
P2=$(captured)
press a
sleep 1.0
stop_game
windows > "$WORK/run2.txt"
python3 - "$WORK/run2.txt" "$(python3 -c "print($P2 / $SEC)")" <<'PY' || exit 1
import sys
rows = [tuple(map(float, l.split())) for l in open(sys.argv[1])]
pause = float(sys.argv[2])
if not all(r < 1 for t, r in rows if pause - 1.0 <= t < pause - 0.1):
    print("FAIL: the game is not silent with the music at 0"); sys.exit(1)
E = next((t for t, r in rows if t >= pause - 0.1 and r > 30), None)
if E is None or E > pause + 0.3:
    print("FAIL: PAUSE did not play effect 0"); sys.exit(1)
print(f"ok: music at 0 is silent; effect 0 at +{E - pause:.2f} s after PAUSE")
PY

# ---- run 3: both volumes at 0
write_ini 0 0
start_game
sleep 1.5
press z
sleep 2.5
press a
sleep 0.5
stop_game
[ "$(captured)" -gt $((2 * SEC)) ] || { echo "FAIL: nothing was captured"; exit 1; }
MAX=$(sox -t raw -r 44100 -e signed -b 16 -c 2 -L "$GAME/out.raw" -n stat 2>&1 | awk '/Maximum amplitude/{print $3}')
python3 -c "import sys; sys.exit(0 if float('$MAX') == 0 else 1)" || { echo "FAIL: capture not silent at volume 0 (max $MAX)"; exit 1; }
echo "ok: both volumes at 0 give a silent capture"
