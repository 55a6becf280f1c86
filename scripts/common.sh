# Shared set-up for ./run.sh and ./test.sh. Source it from the repository root.
#   install_packages   installs the Debian packages of scripts/packages.txt that are missing
#   configure_build    configures and builds the "default" preset (build/default)
# Both stop the calling script on failure (it runs with set -euo pipefail).

KELVORINE_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

say() { printf '\n==> %s\n' "$*"; }
die() { printf '\nerror: %s\n' "$*" >&2; exit 1; }

# Prints the packages of the list that are not installed, one per line.
missing_packages() {
    local pkg
    while read -r pkg; do
        pkg="${pkg%%#*}"
        pkg="${pkg//[[:space:]]/}"
        [[ -z "$pkg" ]] && continue
        if ! dpkg-query -W -f='${Status}\n' "$pkg" 2>/dev/null | grep -q '^install ok installed$'; then
            printf '%s\n' "$pkg"
        fi
    done < "$KELVORINE_ROOT/scripts/packages.txt"
}

install_packages() {
    command -v dpkg-query >/dev/null || die "dpkg-query not found: these scripts need Debian 12 (or a derivative)."
    local missing
    mapfile -t missing < <(missing_packages)
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

configure_build() {
    cd "$KELVORINE_ROOT"
    say "Configuring (preset default, build/default)"
    cmake --preset default
    say "Building"
    cmake --build --preset default
}

# True when the build folder has a target of that name.
has_target() {
    ninja -C "$KELVORINE_ROOT/build/default" -t targets all 2>/dev/null | grep -q "^$1:"
}
