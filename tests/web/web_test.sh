#!/usr/bin/env bash
# The browser version end to end (./test.sh web): builds the page (scripts/build-web.sh), serves it
# on 127.0.0.1 with its own server and drives Debian's chromium headless with software WebGL 2, and
# one with WebGL switched off, through puppeteer-core (web_test.mjs says what is played and
# checked). Then:
#   - the title held at turn HOLD, drawn by the software rasteriser, by WebGL and without WebGL,
#     matches the desktop software renderer's picture of the same frame (kelvorine-replay);
#   - the page is under 10 MB.
# Prints the figures of docs/web.md: page size, turns per second and the cost of a display frame
# with WebGL and without, the title matches, the first visit's sound level, the offline visit, the
# pad, touch and full-screen checks. Pictures and the report are left in build/web-test/.
#
#   tests/web/web_test.sh [--no-build] [--archive FILE]
#
# --archive FILE tests a release's web archive instead of build/web: the zip is unpacked into an
# empty folder and its one top folder (kelvorine-<version>-web/) is served. It implies --no-build.
set -euo pipefail

SRC=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
PAGE=$SRC/build/web
OUT=$SRC/build/web-test
HOLD=120
MAX_PAGE_BYTES=$((10 * 1000 * 1000))
TITLE_RMSE_LIMIT=0.02   # normalised; a different frame of the title is about 0.044 away

log() { printf '[web-test] %s\n' "$*" >&2; }
die() { log "FAIL: $*"; exit 1; }

BUILD_PAGE=1
ARCHIVE=''
while [ $# -gt 0 ]; do
    case $1 in
        --no-build) BUILD_PAGE=0 ;;
        --archive)
            [ $# -ge 2 ] || die "--archive needs a file"
            ARCHIVE=$(realpath "$2") || die "no archive $2"
            BUILD_PAGE=0
            shift ;;
        *) die "unknown argument $1 (tests/web/web_test.sh [--no-build] [--archive FILE])" ;;
    esac
    shift
done
[ "$BUILD_PAGE" = 0 ] || "$SRC/scripts/build-web.sh"
rm -rf "$OUT"
mkdir -p "$OUT/reference"
if [ -n "$ARCHIVE" ]; then
    [ -f "$ARCHIVE" ] || die "no archive $ARCHIVE"
    mkdir "$OUT/archive"
    (cd "$OUT/archive" && cmake -E tar xf "$ARCHIVE") || die "cannot unpack $ARCHIVE"
    tops=$(ls -A "$OUT/archive")
    [ "$(printf '%s\n' "$tops" | wc -l)" = 1 ] && [ -d "$OUT/archive/$tops" ] ||
        die "the archive holds $(printf '%s ' $tops)rather than one top folder"
    PAGE=$OUT/archive/$tops
    log "testing the archive's page $tops"
fi
[ -f "$PAGE/index.html" ] && [ -f "$PAGE/kelvorine.wasm" ] || die "no page in $PAGE (scripts/build-web.sh)"
command -v chromium >/dev/null || die "chromium is not installed"
REPLAY=$SRC/build/default/kelvorine-replay
[ -x "$REPLAY" ] || die "no $REPLAY (build the default preset first)"
MKDATA=$SRC/build/default/kelvorine-mkdata
[ -x "$MKDATA" ] || die "no $MKDATA (build the default preset first)"

# The test driver: puppeteer-core only, pinned by the lock file; it never downloads a browser.
# Debian's nodejs comes without npm (a node from elsewhere may bring its own).
if ! command -v npm >/dev/null; then
    log "installing npm"
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends npm >&2 || die "npm cannot be installed"
fi
if [ ! -d "$SRC/tests/web/node_modules/puppeteer-core" ] ||
    [ "$SRC/tests/web/package-lock.json" -nt "$SRC/tests/web/node_modules/.package-lock.json" ]; then
    log "installing the test driver (npm ci)"
    (cd "$SRC/tests/web" && PUPPETEER_SKIP_DOWNLOAD=1 timeout 300 npm ci --no-audit --no-fund >&2)
fi

# The desktop software renderer's title at the same frame: frame HOLD-1 of a replay (frame 0 is
# the picture after the first turn).
# The default data, as the page packs it (the generator makes the same pictures every time).
"$MKDATA" "$OUT/mkdata" >/dev/null || die "the data generator failed"
printf '0 0 0\n%.0s' $(seq "$HOLD") | "$REPLAY" --start title --data "$OUT/mkdata/data" \
    --png-every 1 "$OUT/reference" >/dev/null
REFERENCE=$(printf '%s/reference/frame_%06d.png' "$OUT" $((HOLD - 1)))
[ -f "$REFERENCE" ] || die "the replay drew no frame $((HOLD - 1))"

SERVER_PID=''
cleanup() { [ -n "$SERVER_PID" ] && kill "$SERVER_PID" 2>/dev/null || true; }
trap cleanup EXIT
KELVORINE_SERVE_QUIET=1 python3 -u "$PAGE/serve.py" --port 0 >"$OUT/server.log" 2>&1 &
SERVER_PID=$!
URL=''
for _ in $(seq 50); do
    URL=$(sed -n 's/^Serving Kelvorine at \(http[^ ]*\)$/\1/p' "$OUT/server.log")
    [ -n "$URL" ] && break
    sleep 0.1
done
[ -n "$URL" ] || die "the server did not start: $(cat "$OUT/server.log")"
log "page served at $URL"

# The headless browser's own output goes to a log of its own.
(cd "$SRC/tests/web" && timeout 600 node web_test.mjs "$URL" "$OUT" "$HOLD") >"$OUT/figures.json" 2>"$OUT/driver.log" ||
    { cat "$OUT/driver.log" >&2; die "the browser run failed"; }
cat "$OUT/driver.log" >&2

# Each browser title against the desktop's.
RMSES=''
for pic in title title-webgl title-nowebgl; do
    rmse=$( (compare -metric RMSE "$OUT/$pic.png" "$REFERENCE" null: 2>&1 || true) | sed -n 's/.*(\(.*\)).*/\1/p')
    [ -n "$rmse" ] || die "the $pic picture cannot be compared (sizes: $(identify -format '%wx%h ' "$OUT/$pic.png" "$REFERENCE"))"
    awk -v r="$rmse" -v l="$TITLE_RMSE_LIMIT" 'BEGIN { exit !(r <= l) }' ||
        die "the browser's $pic differs from the desktop software renderer's (RMSE $rmse > $TITLE_RMSE_LIMIT; build/web-test/$pic.png)"
    RMSES="$RMSES $pic=$rmse"
done

bytes=$(du -cb "$PAGE"/* | tail -1 | cut -f1)
[ "$bytes" -lt "$MAX_PAGE_BYTES" ] || die "the page is $bytes bytes, over 10 MB"

node -e '
const f = JSON.parse(require("fs").readFileSync(process.argv[1], "utf8"));
const mb = (Number(process.argv[2]) / 1e6).toFixed(2);
const row = (name, r) => `  ${name}: ${r.title} turns/s on the title, ${r.game} in a game; display frame cost ` +
  `p50 ${r.costMs.p50.toFixed(2)} ms, p99 ${r.costMs.p99.toFixed(2)} ms; frame interval p50 ${r.frameMs.p50.toFixed(1)} ms` +
  (r.path === "webgl" ? `; ${r.gl.draws} draws, ${r.gl.uploadBytes} bytes uploaded per frame` : "");
console.log([
  `page ${mb} MB; first title frame ${f.firstFrameMs.toFixed(0)} ms after navigation; WebGL: ${f.webgl || "none"}`,
  row("software rasteriser (2D canvas)", f.software),
  row("WebGL", f.withWebgl),
  row("without WebGL", f.withoutWebgl),
  `  title matches the desktop (RMSE):${process.argv[3]}`,
  `  first visit: audible, output level ${f.audio.level} (${f.audio.framesPerSecond} frames/s, music underruns ${f.musicUnderruns})`,
  `  offline: ${f.offline}`,
  `  pad: ${f.pad}`,
  `  touch: ${f.touch}`,
  `  full screen: ${f.fullScreen}`,
  `  scores ${f.scores.join(", ")}`,
].join("\n"));
' "$OUT/figures.json" "$bytes" "$RMSES"
echo "the browser version: ok"
