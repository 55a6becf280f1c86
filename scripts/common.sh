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

# ------------------------------------------------------------------------------ release checks
# The native data generator of build/default, built (or brought up to date) first; prints its path.
# A build folder that is not configured yet gets the game's configuration without the tests, as
# ./run.sh makes it, so that a clean clone needs only the packages of the game.
native_mkdata() {
    local build="$KELVORINE_ROOT/build/default"
    if [[ ! -f "$build/build.ninja" ]]; then
        (cd "$KELVORINE_ROOT" && cmake --preset default -DKELVORINE_TESTS=OFF -DKELVORINE_BENCH=OFF >&2) ||
            { printf 'cannot configure %s for the data generator\n' "$build" >&2; return 1; }
    fi
    cmake --build "$build" --target kelvorine-mkdata >&2 ||
        { printf 'cannot build the data generator kelvorine-mkdata in %s\n' "$build" >&2; return 1; }
    printf '%s\n' "$build/kelvorine-mkdata"
}

# The entries of a UTF-16 list file (byte order mark, then one name per line), with '/' between
# folders, one per line.
list_entries() {
    tail -c +3 "$1" | iconv -f UTF-16LE -t UTF-8 | tr -d '\r\0' | tr '\\' '/' | sed '/^$/d'
}

# Checks a data folder: the texture list and every picture it names (but the empty slots), the
# sound list, every sound it names and the loop file of each music track (the first 64 entries),
# and the font (unless the second argument is --no-font: the web page draws with the bitmap font
# only). Prints each missing file to stderr ("missing: data/..."); false when anything is missing.
check_data_folder() {
    local data=$1 font=${2:-} missing=() list name n
    [[ -d "$data" ]] || { printf 'missing: the data folder %s\n' "$data" >&2; return 1; }
    for list in grp/grp_0003.txt ogg/ogg_0000.txt; do
        if [[ ! -s "$data/$list" ]]; then
            missing+=("$list")
            continue
        fi
        n=0
        while IFS= read -r name; do
            # "null0000.png" leaves a texture slot empty.
            [[ $name == null0000.png || -s "$data/$name" ]] || missing+=("$name")
            if [[ $list == ogg/* ]] && ((n < 64)); then
                [[ -s "$data/$name.sli" ]] || missing+=("$name.sli")
            fi
            n=$((n + 1))
        done < <(list_entries "$data/$list")
        [[ $list == grp/* ]] || ((n >= 96)) || missing+=("$list: $n entries, not the 96 sounds")
    done
    # The installed game's font is a link to the system's font, which need not be on this machine.
    [[ $font == --no-font || -s "$data/VLGothic/VL-Gothic-Regular.ttf" || -L "$data/VLGothic/VL-Gothic-Regular.ttf" ]] ||
        missing+=(VLGothic/VL-Gothic-Regular.ttf)
    ((${#missing[@]} == 0)) && return 0
    mapfile -t missing < <(printf '%s\n' "${missing[@]}" | sort -u)
    printf "missing: $(basename "$data")/%s\n" "${missing[@]}" >&2
    return 1
}

# True when FILE is "dir.txt" as a release carries it: a byte order mark and the name NAME.
check_dir_txt() {
    local file=$1 want=$2 named
    [[ -s "$file" ]] || { printf 'missing: %s\n' "$(basename "$file")" >&2; return 1; }
    named=$(tail -c +3 "$file" | iconv -f UTF-16LE -t UTF-8)
    [[ "$(head -c 2 "$file" | od -An -tx1 | tr -d ' ')" == fffe && "$named" == "$want" ]] ||
        { printf 'wrong: %s names "%s", not "%s"\n' "$(basename "$file")" "$named" "$want" >&2; return 1; }
}

# The project version, from the one place it is written: the CMake project() call.
project_version() {
    sed -n 's/^project(Kelvorine VERSION \([0-9.]*\) .*/\1/p' "$KELVORINE_ROOT/CMakeLists.txt"
}

# first_start_audible FILE: FILE holds what a first start sent to the speakers, raw 16-bit stereo
# at 44,100 Hz (the silent title included). Prints its length, RMS and peak; false when nothing
# was captured or it is silent (RMS up to 0.005 or peak up to 0.05: with both volumes at 0 every
# sample is 0, and the start's effect and music give an RMS of 0.03 to 0.05, a peak near 0.37).
first_start_audible() {
    local file=$1 rms peak
    [[ -s "$file" ]] || { echo "first start's sound: nothing was captured"; return 1; }
    read -r rms peak < <(sox -t raw -r 44100 -e signed -b 16 -c 2 -L "$file" -n stat 2>&1 |
        awk '/RMS +amplitude/ { r = $3 } /Maximum amplitude/ { m = $3 } END { print r, m }')
    echo "first start's sound: $(($(stat -c %s "$file") / 176400)) s captured, RMS $rms, peak $peak"
    awk -v r="$rms" -v m="$peak" 'BEGIN { exit !(r > 0.005 && m > 0.05) }'
}
