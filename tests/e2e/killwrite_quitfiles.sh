#!/bin/bash
# "Game.ini" and "dir.txt" survive a kill at any moment of their writing: a writer replaces both
# files over and over with two alternating complete states and is killed with SIGKILL after a
# random delay, many times. After every kill each file must hold one of the two states whole.
# $1 = source folder, $2 = build folder. KILLWRITE_ROUNDS changes the number of kills (200).
set -uo pipefail
BIN=$2/tests/kelvorine_tests
[ -x "$BIN" ] || { echo "kelvorine_tests not built"; exit 77; }
command -v python3 >/dev/null || { echo "python3 missing"; exit 77; }
ROUNDS=${KILLWRITE_ROUNDS:-200}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

check() {
    python3 - "$WORK" "$1" <<'PY'
import struct, sys
folder, round_ = sys.argv[1], sys.argv[2]
def bad(msg):
    print(f"round {round_}: {msg}"); sys.exit(1)
try:
    ini = open(folder + "/Game.ini", "rb").read()
except FileNotFoundError:
    sys.exit(3)  # killed before the first write finished: nothing to compare yet
if len(ini) != 512: bad(f"Game.ini has {len(ini)} bytes")
scores = struct.unpack_from("<10i", ini, 36)
if scores not in ((1,) * 10, (2,) * 10): bad(f"Game.ini ranking mixed: {scores}")
if any(ini[347:]): bad("Game.ini tail not zero")
try:
    txt = open(folder + "/dir.txt", "rb").read()
except FileNotFoundError:
    sys.exit(3)
states = (b"\xff\xfe" + "a\\".encode("utf-16-le"), b"\xff\xfe" + "bbbb\\".encode("utf-16-le"))
if txt not in states: bad(f"dir.txt is {txt!r}")
PY
}

checked=0
for ((i = 1; i <= ROUNDS; i++)); do
    KELVORINE_KILLWRITE_DIR=$WORK "$BIN" --gtest_filter=FaultKillWrite.WriterLoop \
        > /dev/null 2>&1 &
    pid=$!
    # The writer marks the start of its loop; wait for that (10 s at most), then 0 to ~80 ms:
    # from before the first write to well into the loop.
    for ((w = 0; w < 1000; w++)); do [ -e "$WORK/writer.ready" ] && break; sleep 0.01; done
    sleep "$(printf '0.%03d' $((RANDOM % 80)))"
    kill -9 "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    rm -f "$WORK/writer.ready"
    check "$i"
    rc=$?
    case $rc in
        0) checked=$((checked + 1)) ;;
        3) ;;
        *) fail "a file was left incomplete after kill $i" ;;
    esac
done
[ "$checked" -ge $((ROUNDS / 2)) ] || fail "only $checked of $ROUNDS kills landed after a first write"
echo "killwrite: $ROUNDS kills, $checked checked states, every file whole"
