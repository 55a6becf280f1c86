#!/bin/bash
# kelvorine-replay on the menu walk: ranking and options screens, their values and sprites.
# $1 = source folder, $2 = build folder.
set -euo pipefail
SRC=$1
BIN=$2/kelvorine-replay
[ -x "$BIN" ] || { echo "kelvorine-replay not built"; exit 77; }
command -v python3 >/dev/null || { echo "python3 missing"; exit 77; }
export TZ=UTC
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

"$BIN" --start title --sprites < "$SRC/tests/replay/menu_walk.txt" > "$WORK/walk.trace"

python3 - "$WORK/walk.trace" <<'PY'
import json, sys
t = [json.loads(l) for l in open(sys.argv[1])]
def check(cond, msg):
    if not cond:
        print("FAIL:", msg)
        sys.exit(1)

check(all(len(d["draws"]) >= d["sprites"] for d in t), "every queued sprite is listed")
check(all(len(r) == 13 for d in t for r in d["draws"]), "13 values per draw")

# Ranking: opened and closed with one effect each; its heading only at subOpen 8.
rank = [d for d in t if d["menuChoice"] == 1 and d["subOpen"] == 8]
check(rank, "ranking panel fully open")
def has_heading(d):  # 'R' of "RANKING" at (592, 24)
    return any(r[0] == 6 and r[1] == 592 and r[2] == 24 and r[5] == 2 * 16 and r[6] == 5 * 32
               for r in d["draws"])
check(all(has_heading(d) for d in rank), "heading drawn while open")
check(not any(has_heading(d) for d in t if d["subOpen"] != 8), "no heading while moving")
check(all(d["optionsMirror"] == t[0]["optionsMirror"] for d in t if d["menuChoice"] == 1),
      "arrows on the ranking change nothing")

# Options: values changed and applied.
last = t[-1]
check(last["vsync"] == 0 and last["optionsMirror"][1] == 0, "VSYNC wrapped to OFF")
check(last["timerMode"] == 3 and last["optionsMirror"][2] == 3, "TIMER wrapped to No Wait")
check(last["bgmVolume"] == 2500 and last["optionsMirror"][4] == 5, "BGM volume held right")
check(last["colorTheme"] == 1, "COLOR")
check(last["subPhase"] == 0 and last["subOpen"] == 0, "options closed")
# DECISION on the SHIFT row keeps the panel open: exactly four confirmations in the walk
# (ranking open/close, options open/close).
check(sum(d["se"].count(0) for d in t) == 4, "four confirmations")
check(all(d["subPhase"] in (2, 4) for d in t if d["optionCursor"] == 9 and d["subOpen"] == 8),
      "panel stays open on a button row")
print("ok")
PY
