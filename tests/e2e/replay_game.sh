#!/bin/bash
# kelvorine-replay on the example game scripts: a whole game from the title to game over and
# back, and a pause in a running game. Checks the key facts of the traces.
# $1 = source folder, $2 = build folder.
set -euo pipefail
SRC=$1
BIN=$2/kelvorine-replay
[ -x "$BIN" ] || { echo "kelvorine-replay not built"; exit 77; }
command -v python3 >/dev/null || { echo "python3 missing"; exit 77; }
export TZ=UTC
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

"$BIN" --start title < "$SRC/tests/replay/full_game.txt" > "$WORK/game.trace"
"$BIN" --start play < "$SRC/tests/replay/pause.txt" > "$WORK/pause.trace"

python3 - "$WORK" <<'PY'
import json, sys
work = sys.argv[1]
def load(name):
    return [json.loads(l) for l in open(f"{work}/{name}.trace")]
def check(cond, msg):
    if not cond:
        print("FAIL:", msg)
        sys.exit(1)

g = load("game")
check([d["frame"] for d in g] == list(range(len(g))), "frames are numbered 0, 1, ...")
keys = list(g[0].keys())
check(keys[:4] == ["frame", "scene", "board", "pieceX"] and keys[-3:] == ["ranking", "se", "sprites"],
      "key order")
check(all(len(d["board"]) == 360 for d in g), "board strings hold 360 cells")

# The title: one confirmation on the start, fade to black, the start frame ends at scene 4 / 250.
start = next(i for i, d in enumerate(g) if d["scene"] == 4)
check(g[start - 1]["fadeAlpha"] == 255 and g[start - 1]["scene"] == 1, "black before the start")
s = g[start]
check(s["fadeAlpha"] == 250 and s["fadeFromBlack"] == 1 and s["fadeToBlack"] == 0, "start frame fade")
check(s["titlePhase"] == 0 and s["titleOpen"] == 0 and s["menuChoice"] == 0, "menu block zeroed")
check(sum(d["se"].count(0) for d in g[:start]) == 1, "effect 0 once on the title")

# The game: music track 7 from the first play frame, then game over and back to the title.
first_play = g[start + 1]
check(first_play["currentMusicTrack"] == 7 and first_play["musicRequestPending"] == 0, "music 7")
over = next(i for i, d in enumerate(g) if d["gameOverCounter"] > 0)
check(over > start, "game over reached")
score = g[over]["score"]
check(score > 0, "the game scored")
back = next(i for i, d in enumerate(g) if i > over and d["scene"] == 1)
t = g[back]
check(score in t["ranking"] and t["ranking"][0] == score, "score entered the ranking")
check(t["fadeFromBlack"] == 1, "the title fades in after a game")
check(g[-1]["fadeAlpha"] == 0 and g[-1]["titlePhase"] == 4, "title idle at the end")

# Pause: effect 0 on the press, phases 1 -> 2 -> 4 -> 8 -> 16 -> 0, the game halts meanwhile.
p = load("pause")
phases = []
for d in p:
    if not phases or phases[-1] != d["pausePhase"]:
        phases.append(d["pausePhase"])
check(phases == [0, 1, 2, 4, 8, 16, 0], f"pause phases {phases}")
press = next(i for i, d in enumerate(p) if d["pausePhase"] == 1)
check(p[press]["se"] == [0] and p[press]["paused"] == 1, "pause press frame")
check(sum(len(d["se"]) for d in p) == 1, "one effect in the whole pause script")
halted = [d for d in p if d["paused"] == 1]
check(len({(d["pieceY"], d["gravityCounter"]) for d in halted}) == 1, "nothing moves while paused")
one = [i for i, d in enumerate(p) if d["pausePhase"] == 1]
check(len(one) == 8, "phase 1 lasts 8 frames")
eight = [i for i, d in enumerate(p) if d["pausePhase"] == 8]
# Nine frames including the one that finds the counter at 0 and moves on to 16.
check(len(eight) == 8 and p[eight[-1] + 1]["pausePhase"] == 16, "phase 8 runs its nine frames")
print("ok")
PY
