#!/bin/bash
# kelvorine-mkdata's command line: a full run into a fresh folder, and the failures a user can
# meet (no arguments, an output path that is a file, an unwritable settings path) end with a
# message and a nonzero status instead of a partial "success".
# $1 = source folder, $2 = build folder.
set -uo pipefail
TOOL=$2/kelvorine-mkdata
[ -x "$TOOL" ] || { echo "kelvorine-mkdata not built"; exit 77; }
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$TOOL" >/dev/null 2>"$WORK/err"; rc=$?
[ $rc -eq 2 ] || fail "no arguments: status $rc"
grep -q usage "$WORK/err" || fail "no arguments: no usage text"

start=$(date +%s.%N)
"$TOOL" "$WORK/out" >/dev/null || fail "full run failed"
end=$(date +%s.%N)
echo "full run: $(echo "$end - $start" | bc) s, $(du -sh "$WORK/out" | cut -f1)"
for f in dir.txt data/grp/grp_0003.txt data/ogg/ogg_0000.txt data/wav/wav_0000.txt \
         data/VLGothic/VL-Gothic-Regular.ttf data/ogg/bgm_0007.ogg.sli data/wav/bgm_0007.wav.sli; do
    [ -s "$WORK/out/$f" ] || fail "missing $f"
done
# A second run over an existing folder replaces the files and succeeds.
"$TOOL" "$WORK/out" >/dev/null || fail "run over an existing folder failed"

touch "$WORK/plainfile"
"$TOOL" "$WORK/plainfile" >/dev/null 2>"$WORK/err"; rc=$?
[ $rc -eq 1 ] || fail "output path is a file: status $rc"
grep -q "cannot create folder" "$WORK/err" || fail "output path is a file: no message"

"$TOOL" --game-ini "$WORK/no/such/folder/Game.ini" >/dev/null 2>"$WORK/err"; rc=$?
[ $rc -eq 1 ] || fail "unwritable settings path: status $rc"
grep -q "cannot write" "$WORK/err" || fail "unwritable settings path: no message"

"$TOOL" --game-ini "$WORK/Game.ini" || fail "settings file run failed"
[ "$(stat -c %s "$WORK/Game.ini")" = 512 ] || fail "settings file is not 512 bytes"
echo "ok"
