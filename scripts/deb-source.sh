# Debian source packages for the cross builds (Windows and WebAssembly). Source it; it defines:
#   deb_src_enable              makes `apt-get source` work (deb-src entries derived from the
#                               machine's own apt sources: the same archives, type deb-src)
#   deb_src_fetch DIR PKG...    downloads and unpacks the newest reachable version of each source
#                               package into DIR (one folder per package, named by dpkg-source)
# Both write their progress to stderr through `log`, which the caller defines.

deb_src_enable() {
    if apt-get source --print-uris -qq libogg >/dev/null 2>&1; then return 0; fi
    local list=/etc/apt/sources.list.d/kelvorine-deb-src.sources
    if ! grep -rqsE '^(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        log "adding deb-src entries derived from the apt sources"
        : >"$list.tmp"
        local f
        for f in /etc/apt/sources.list.d/*.sources; do
            [ -f "$f" ] && [ "$f" != "$list" ] || continue
            sed -E 's/^Types:[[:space:]]*deb[[:space:]]*$/Types: deb-src/' "$f" >>"$list.tmp"
            echo >>"$list.tmp"
        done
        if [ -f /etc/apt/sources.list ]; then
            sed -n -E 's/^deb[[:space:]]+/deb-src /p' /etc/apt/sources.list >/etc/apt/sources.list.d/kelvorine-deb-src.list
        fi
        mv "$list.tmp" "$list"
    fi
    apt-get update >&2
}

deb_src_fetch() {
    local dir=$1 pkg ver got dsc
    shift
    mkdir -p "$dir"
    # Newest source version that the archive can deliver (a security update may be listed in the
    # index before its files are reachable).
    for pkg in "$@"; do
        got=''
        for ver in $(apt-cache showsrc "$pkg" | awk '/^Version:/{print $2}' | sort -u -r -V); do
            if (cd "$dir" && apt-get source --download-only -qq "$pkg=$ver" >&2 2>/dev/null); then
                got=$ver
                break
            fi
            rm -f "$dir/${pkg}_"*
        done
        [ -n "$got" ] || { log "cannot download the source of $pkg"; return 1; }
        log "source $pkg $got"
    done
    for dsc in "$dir"/*.dsc; do
        (cd "$dir" && dpkg-source -x --no-check "$(basename "$dsc")" >/dev/null)
    done
}

# Configures, builds and installs one CMake project, its output in DIR/NAME.log (the last lines
# are shown when it fails). Set DEB_CMAKE_WRAP to a command that wraps cmake's configure step
# (emcmake for WebAssembly); the builds run under nice, the machine is shared.
#   deb_cmake_install DIR NAME SOURCE [cmake options...]
deb_cmake_install() {
    local dir=$1 name=$2 srcdir=$3
    shift 3
    log "building $name"
    nice ${DEB_CMAKE_WRAP:-} cmake -S "$srcdir" -B "$dir/build-$name" "$@" >"$dir/$name.log" 2>&1 &&
        nice cmake --build "$dir/build-$name" -j2 >>"$dir/$name.log" 2>&1 &&
        cmake --install "$dir/build-$name" >>"$dir/$name.log" 2>&1 ||
        { tail -30 "$dir/$name.log" >&2; log "$name failed (log: $dir/$name.log)"; return 1; }
}
