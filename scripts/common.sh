# Shared set-up for ./run.sh and ./test.sh. Source it from the repository root.
#   install_packages LIST...  installs the missing Debian packages of scripts/packages-LIST.txt
#                             (play: building and playing; test: tests, benchmarks, cross builds)
#   configure_play            configures build/default ("default" preset) for the game alone
#   configure_build           configures build/default with the tests and benchmarks, builds all
#   has_target NAME           true when build/default has a target of that name
# They stop the calling script on failure (it runs with set -euo pipefail).

KELVORINE_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

say() { printf '\n==> %s\n' "$*"; }
die() { printf '\nerror: %s\n' "$*" >&2; exit 1; }

# Prints the packages of the named lists that are not installed, one per line.
missing_packages() {
    local list pkg status
    for list in "$@"; do
        [[ -f "$KELVORINE_ROOT/scripts/packages-$list.txt" ]] || die "no package list scripts/packages-$list.txt"
        while read -r pkg; do
            pkg="${pkg%%#*}"
            pkg="${pkg//[[:space:]]/}"
            [[ -z "$pkg" ]] && continue
            status="$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)"
            [[ "$status" == "install ok installed" ]] || printf '%s\n' "$pkg"
        done <"$KELVORINE_ROOT/scripts/packages-$list.txt"
    done
}

install_packages() {
    command -v dpkg-query >/dev/null || die "dpkg-query not found: these scripts need Debian 12 (or a derivative)."
    local missing
    mapfile -t missing < <(missing_packages "$@")
    if ((${#missing[@]} == 0)); then
        say "All required Debian packages are installed."
        return 0
    fi
    local sudo=()
    if ((EUID != 0)); then
        command -v sudo >/dev/null || die "missing packages (${missing[*]}) and not root: run as root or install sudo."
        sudo=(sudo)
    fi
    say "Installing missing packages: ${missing[*]}"
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
}

# The game alone: a first configuration leaves the tests and benchmarks out (their libraries are
# not installed by ./run.sh); a build folder configured by ./test.sh keeps its choices. Only the
# targets the game needs are built, by the caller.
configure_play() {
    cd "$KELVORINE_ROOT"
    say "Configuring (preset default, build/default)"
    if [[ -f build/default/CMakeCache.txt ]]; then
        cmake --preset default
    else
        cmake --preset default -DKELVORINE_TESTS=OFF -DKELVORINE_BENCH=OFF
    fi
}

configure_build() {
    cd "$KELVORINE_ROOT"
    say "Configuring (preset default, build/default, with tests and benchmarks)"
    cmake --preset default -DKELVORINE_TESTS=ON -DKELVORINE_BENCH=ON
    say "Building"
    cmake --build --preset default
}

# True when the build folder has a target of that name. The list is read whole before searching:
# a reader that stops at the first match kills the writer (SIGPIPE), which pipefail reports as a
# failure.
has_target() {
    local targets
    targets="$(ninja -C "$KELVORINE_ROOT/build/default" -t targets all 2>/dev/null)" || return 1
    grep -q "^$1:" <<<"$targets"
}
