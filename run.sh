#!/usr/bin/env bash
# Builds Kelvorine and starts it: installs the missing Debian packages needed to build and play
# (scripts/packages-play.txt), configures the default preset, builds the game and its data
# generator only, fills the staging folder build/default/stage and runs the game from there.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh

install_packages play
configure_play

STAGE="$KELVORINE_ROOT/build/default/stage"
if has_target stage; then
    say "Building the game and staging it into build/default/stage"
    cmake --build build/default --target stage
fi

# The game needs its binary, dir.txt and the data folder side by side.
problems=()
has_target stage || problems+=("the build has no 'stage' target yet (it copies the game, dir.txt, data and shaders)")
[[ -x "$STAGE/kelvorine" ]] || problems+=("no game binary at build/default/stage/kelvorine")
[[ -f "$STAGE/dir.txt" ]] || problems+=("no dir.txt in build/default/stage")
if ((${#problems[@]} > 0)); then
    printf '\nThe build finished, but the game cannot start yet:\n' >&2
    printf '  - %s\n' "${problems[@]}" >&2
    exit 1
fi

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    printf '\nwarning: no DISPLAY is set; the game needs a graphical session (or Xvfb).\n' >&2
fi
say "Starting Kelvorine"
cd "$STAGE"
exec ./kelvorine
