#!/bin/bash
# kelvorine-replay's command line: start states, settings file, malformed scripts.
# $1 = source folder, $2 = build folder.
set -uo pipefail
BIN=$2/kelvorine-replay
[ -x "$BIN" ] || { echo "kelvorine-replay not built"; exit 77; }
command -v python3 >/dev/null || { echo "python3 missing"; exit 77; }
export TZ=UTC
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# Malformed lines name their line number and exit with 2; comments and blank lines are skipped.
printf '# comment\n\n0 0 100\n0 x 100\n' | "$BIN" > "$WORK/out" 2> "$WORK/err"
[ $? -eq 2 ] || fail "bad line exit code"
grep -q "line 4" "$WORK/err" || fail "line number missing: $(cat "$WORK/err")"
[ "$(wc -l < "$WORK/out")" -eq 1 ] || fail "frames before the bad line are traced"
for bad in "0 0" "16 0 1" "0 0 1 2" "-1 0 5" "1 2 99999999999999999999"; do
    printf '%s\n' "$bad" | "$BIN" > /dev/null 2>&1
    [ $? -eq 2 ] || fail "accepted '$bad'"
done
"$BIN" --start nowhere < /dev/null > /dev/null 2>&1
[ $? -eq 2 ] || fail "bad --start accepted"
"$BIN" --ini "$WORK/missing.ini" < /dev/null > /dev/null 2>&1
[ $? -eq 2 ] || fail "missing settings file accepted"
: | "$BIN" > "$WORK/empty" || fail "empty script"
[ ! -s "$WORK/empty" ] || fail "empty script wrote frames"

# A settings file: BGM step 7, SE step 3, PAUSE on pad button 1, two ranking scores.
python3 - "$WORK/Game.ini" <<'PY'
import struct, sys
img = bytearray(512)
img[0:5] = bytes([0, 1, 0, 1, 1])
img[5:9] = struct.pack("<f", 1e-6)
img[13:24] = bytes([1, 0, 0, 1, 1, 0, 1, 0, 1, 1, 1])
img[26] = 1
img[34] = 7
img[35] = 3
img[36:44] = struct.pack("<ii", 5000, 1200)
open(sys.argv[1], "wb").write(img)
PY
printf '0 0 1700000000\n' | "$BIN" --ini "$WORK/Game.ini" > "$WORK/ini.trace" || fail "--ini run"
printf '0 0 1700000000\n' | "$BIN" --start play > "$WORK/play.trace" || fail "--start play run"

python3 - "$WORK" <<'PY'
import json, sys
w = sys.argv[1]
def check(cond, msg):
    if not cond:
        print("FAIL:", msg)
        sys.exit(1)
ini = json.loads(open(f"{w}/ini.trace").read())
check(ini["bgmVolume"] == 3500 and ini["seVolume"] == 1500, "volumes from the file")
check(ini["buttonArrangement"] == [0, 0, 1, 0], "arrangement from the file")
check(ini["ranking"][:3] == [5000, 1200, 0], "ranking from the file")
check(ini["optionsMirror"][4:10] == [7, 3, 0, 0, 1, 0], "options mirror from the file")
check(ini["scene"] == 1 and ini["titlePhase"] == 1 and ini["musicRestart"] == 1, "title start")

play = json.loads(open(f"{w}/play.trace").read())
check(play["scene"] == 4, "play scene")
check(play["fadeAlpha"] == 250 and play["fadeFromBlack"] == 1, "fading in")
check(play["musicRequestPending"] == 0 and play["currentMusicTrack"] == 7, "music served")
check(play["musicRestart"] == 0 and play["boardReady"] == 1, "game set up")
check(all(c in "09" or c.isdigit() for c in play["board"]), "board digits")
check("draws" not in play, "no draws without --sprites")
print("ok")
PY
