#!/bin/bash
# The ranking and options panels are half transparent over the title's logo and items: with the
# default data, every glyph on them must stand out from what surrounds it. tools/panel_contrast.py
# draws both panels over a whole loop of the scrolling title and measures each glyph against the
# pixels around it (the darkest the panel fill, the font outline and the title backdrop allow).
# $1 = source folder, $2 = build folder.
set -uo pipefail
REPLAY=$2/kelvorine-replay
DATA=$2/stage/data
[ -x "$REPLAY" ] || { echo "kelvorine-replay not built"; exit 77; }
[ -f "$DATA/grp/grp_0003.txt" ] || { echo "no staged data (build the stage target)"; exit 77; }
command -v python3 >/dev/null || { echo "python3 missing"; exit 77; }
# Every 30th frame: 8 frames of each panel spread over the backdrop's 240-frame loop.
python3 "$1/tools/panel_contrast.py" "$REPLAY" "$DATA" --step 30 --worst 2 --min-mean 4.5 --min-p90 4.0
