#!/bin/bash
# Soak: random input through the whole core for many frames (menus, options, pauses, many games).
# Every frame's ranking must be sorted best first, games must come and go, and the resident
# memory must stay flat after the start-up. $1 = source folder, $2 = build folder.
#   SOAK_FRAMES (default 100000)  frames to run; SOAK_SEED (default 1) the input's seed.
set -uo pipefail
BIN=$2/kelvorine-replay
[ -x "$BIN" ] || { echo "kelvorine-replay not built"; exit 77; }
command -v python3 >/dev/null || { echo "python3 missing"; exit 77; }
FRAMES=${SOAK_FRAMES:-100000}
SEED=${SOAK_SEED:-1}
export TZ=UTC
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# Random DIR/BUTTONS in runs of 1..40 frames; down and DECISION are favoured a little so games
# are started and pieces land; the calendar clock advances one second per 60 frames.
python3 - "$FRAMES" "$SEED" > "$WORK/script" <<'PY'
import random, sys
frames, seed = int(sys.argv[1]), int(sys.argv[2])
rng = random.Random(seed)
dirs = [0, 0, 1, 2, 2, 2, 4, 8, 4, 8, 5, 10, 15]
buttons = [0, 0, 0, 1, 1, 2, 4, 8, 9, 3]
out = []
f = 0
while f < frames:
    n = min(frames - f, rng.randint(1, 40))
    line = f"{rng.choice(dirs)} {rng.choice(buttons)} "
    for k in range(n):
        out.append(line + str(1700000000 + (f + k) // 60))
    f += n
sys.stdout.write("\n".join(out) + "\n")
PY

mkfifo "$WORK/trace"
python3 - "$WORK/trace" > "$WORK/summary" <<'PY' &
import re, sys
rank = re.compile(rb'"ranking":\[([-0-9,]*)\]')
scene = re.compile(rb'"scene":(-?\d+)')
frames = games = 0
last_scene = None
best = []
for line in open(sys.argv[1], "rb"):
    frames += 1
    r = [int(x) for x in rank.search(line).group(1).split(b",")]
    if any(r[i] < r[i + 1] for i in range(len(r) - 1)):
        print(f"UNSORTED frame {frames - 1}: {r}")
        sys.exit(1)
    s = int(scene.search(line).group(1))
    if s == 4 and last_scene != 4:
        games += 1
    last_scene = s
    best = r
print(f"frames={frames} games={games} ranking={best}")
PY
checker=$!

start=$(date +%s.%N)
"$BIN" < "$WORK/script" > "$WORK/trace" 2> "$WORK/err" &
pid=$!
# Resident memory, sampled every 0.2 s while the tool runs.
: > "$WORK/rss"
while kill -0 "$pid" 2>/dev/null; do
    awk '/^VmRSS/{print $2}' "/proc/$pid/status" 2>/dev/null >> "$WORK/rss"
    sleep 0.2
done
wait "$pid"; rc=$?
end=$(date +%s.%N)
wait "$checker"; crc=$?
[ "$rc" -eq 0 ] || fail "kelvorine-replay exited with $rc: $(tail -5 "$WORK/err")"
[ "$crc" -eq 0 ] || fail "$(cat "$WORK/summary")"
! grep -q "runtime error\|Sanitizer" "$WORK/err" || fail "sanitizer report: $(head -20 "$WORK/err")"
summary=$(cat "$WORK/summary")
games=$(sed -n 's/.*games=\([0-9]*\).*/\1/p' <<< "$summary")
[ "${summary%% *}" = "frames=$FRAMES" ] || fail "traced $summary, expected $FRAMES frames"
[ "$games" -ge $((FRAMES / 50000 + 1)) ] || fail "too few games: $summary"

# Flat memory: after the first quarter of the samples the resident size grows by < 1 MiB.
python3 - "$WORK/rss" <<'PY' || fail "resident memory grew"
import sys
rss = [int(x) for x in open(sys.argv[1]) if x.strip()]
if len(rss) < 8:
    print(f"rss: {len(rss)} samples, too short to judge"); sys.exit(0)
settled = rss[len(rss) // 4]
peak = max(rss[len(rss) // 4:])
print(f"rss: {len(rss)} samples, first {rss[0]} kB, settled {settled} kB, peak after {peak} kB")
sys.exit(0 if peak - settled < 1024 else 1)
PY
awk -v s="$start" -v e="$end" -v m="$summary" 'BEGIN{printf "soak: %s in %.1f s\n", m, e - s}'
