# A fresh, minimal Debian 12 root: what a new machine has before anything of ours is installed.
# Source it from a bash script that runs as root (it mounts and chroots).
#
#   source scripts/fresh-root.sh
#   ROOT=$(mktemp -d /var/tmp/kelvorine-root.XXXXXX)
#   trap 'fresh_root_destroy "$ROOT"' EXIT     # set the trap before creating: it also cleans up
#                                              # a half-made root
#   fresh_root_create "$ROOT"                  # bare root, mounts, network and apt set up
#   fresh_root_run "$ROOT" apt-get install -y --no-install-recommends some-package
#   fresh_root_run "$ROOT" env DISPLAY=:7 bash -c 'cd /root/kelvorine && ./run.sh'
#   fresh_root_add_user "$ROOT" player         # a non-root user with a home folder
#   fresh_root_run_as player "$ROOT" bash -c 'cd && ./kelvorine/run.sh'
#   fresh_root_private_x11 "$ROOT"             # before an X server is started inside the root
#   fresh_root_destroy "$ROOT"                 # stop what runs in it, umount -l, keep its new
#                                              # downloads in the cache, remove the folder
#
# fresh_root_create unpacks the bare root (debootstrap --variant=minbase bookworm, made once and
# cached as a tarball), writes apt sources and access settings taken from this machine's own apt
# configuration, copies /etc/resolv.conf, stops services from starting inside, links the cached
# .deb files into /var/cache/apt/archives, and mounts
#   /proc (proc), /sys, /dev, /dev/pts, /dev/shm (binds) and /tmp/.X11-unix (bind: an X server of
#   the host serves the root).
# Commands run with a clean environment: HOME, PATH, LANG=C.UTF-8, TERM, USER; add more with env.
#
# Cache (KELVORINE_CACHE, default ~/.cache/kelvorine):
#   fresh-root-<hash>.tar   the bare root, keyed by the hash of this file (an edit makes a new one;
#                           ones unused for two days are removed); made under a lock, so
#                           concurrent users wait for one debootstrap
#   debootstrap/            the .deb files debootstrap downloaded
#   apt-archives/           the .deb files apt downloaded inside roots: linked into each new root,
#                           new ones collected when a root is destroyed
# The first run takes about 2 minutes (a 120 MB tarball); later ones unpack it in seconds.

FRESH_ROOT_CACHE="${KELVORINE_CACHE:-${HOME:-/root}/.cache/kelvorine}"
FRESH_ROOT_KEY="$(sha256sum "${BASH_SOURCE[0]}" | cut -c1-16)"
FRESH_ROOT_TARBALL="$FRESH_ROOT_CACHE/fresh-root-$FRESH_ROOT_KEY.tar"
FRESH_ROOT_PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin

fresh_root_say() { printf '[fresh-root] %s\n' "$*" >&2; }
fresh_root_die() { printf '[fresh-root] error: %s\n' "$*" >&2; return 1; }

# The machine's apt sources as one-line entries "URI SUITE COMPONENTS...", enabled "deb" entries
# only, from /etc/apt/sources.list, /etc/apt/sources.list.d/*.list and *.sources (deb822).
fresh_root_host_sources() {
    local f
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [[ -f "$f" ]] || continue
        # deb [options] URI SUITE COMPONENTS...
        sed -e 's/#.*//' -e 's/\[[^]]*\]//' "$f" | awk '$1 == "deb" && NF >= 4 { $1 = ""; sub(/^ /, ""); print }'
    done
    for f in /etc/apt/sources.list.d/*.sources; do
        [[ -f "$f" ]] || continue
        awk '
            function flush(   i, j, nu, ns, u, s) {
                if (types ~ /(^| )deb( |$)/ && tolower(enabled) != "no") {
                    nu = split(uris, u, " "); ns = split(suites, s, " ")
                    for (i = 1; i <= nu; i++) for (j = 1; j <= ns; j++) print u[i], s[j], comps
                }
                types = uris = suites = comps = ""; enabled = "yes"
            }
            BEGIN { enabled = "yes" }
            /^[ \t]*#/ { next }
            /^[ \t]*$/ { flush(); next }
            {
                key = tolower($1); sub(/:$/, "", key); $1 = ""; sub(/^ +/, "")
                if (key == "types") types = $0
                else if (key == "uris") uris = $0
                else if (key == "suites") suites = $0
                else if (key == "components") comps = $0
                else if (key == "enabled") enabled = $0
            }
            END { flush() }' "$f"
    done
}

# The mirror for debootstrap: the first source that offers bookworm itself.
fresh_root_mirror() {
    local sources
    sources="$(fresh_root_host_sources)"
    awk '$2 == "bookworm" { print $1; exit }' <<<"$sources"
}

# The access settings of the machine's apt (proxies, date checks of snapshot mirrors, retries).
fresh_root_host_apt_conf() {
    local dump
    dump="$(apt-config dump)"
    grep -E '^Acquire::(Check-Valid-Until|Check-Date|Retries|ForceIPv4|ForceIPv6|https?::Proxy|https?::Timeout) ' <<<"$dump" |
        sed 's/$/;/; s/;;$/;/' || true
}

# Runs debootstrap into a temporary folder and packs the result as the cached tarball.
fresh_root_build_cache() {
    local mirror work include=()
    mirror="$(fresh_root_mirror)"
    [[ -n "$mirror" ]] || fresh_root_die "no bookworm source in this machine's apt configuration" || return 1
    [[ "$mirror" == https:* ]] && include=(--include=ca-certificates)
    work="$FRESH_ROOT_CACHE/fresh-root-build.$$"
    fresh_root_say "Making the bare Debian 12 root (debootstrap minbase, once; 2-3 minutes)"
    mkdir -p "$FRESH_ROOT_CACHE/debootstrap" "$work"
    local proxy=()
    local p
    p="$(apt-config dump | sed -n 's/^Acquire::http::Proxy "\(.*\)";$/\1/p')"
    [[ -n "$p" ]] && proxy=("http_proxy=$p")
    if ! env "${proxy[@]}" debootstrap --variant=minbase "${include[@]}" \
        --cache-dir="$FRESH_ROOT_CACHE/debootstrap" bookworm "$work" "$mirror" \
        >"$FRESH_ROOT_CACHE/debootstrap.log" 2>&1; then
        tail -20 "$FRESH_ROOT_CACHE/debootstrap.log" >&2
        fresh_root_destroy "$work"
        fresh_root_die "debootstrap failed (log: $FRESH_ROOT_CACHE/debootstrap.log)"
        return 1
    fi
    # debootstrap may leave its own mounts behind.
    fresh_root_unmount "$work" || return 1
    rm -rf "$work/var/cache/apt/archives/"*.deb "$work/var/lib/apt/lists/"*_Packages 2>/dev/null || true
    tar -C "$work" --numeric-owner -cf "$FRESH_ROOT_TARBALL.part" . &&
        mv "$FRESH_ROOT_TARBALL.part" "$FRESH_ROOT_TARBALL" || {
        fresh_root_destroy "$work"
        fresh_root_die "cannot write $FRESH_ROOT_TARBALL"
        return 1
    }
    fresh_root_destroy "$work"
    # Bare roots made by other versions of this file and unused for two days go.
    find "$FRESH_ROOT_CACHE" -maxdepth 1 -name 'fresh-root-*.tar' ! -name "${FRESH_ROOT_TARBALL##*/}" \
        -atime +2 -delete 2>/dev/null || true
    fresh_root_say "Cached the bare root: $FRESH_ROOT_TARBALL ($(du -h "$FRESH_ROOT_TARBALL" | cut -f1))"
}

# fresh_root_create DIR: DIR (empty or missing) becomes a working root, mounted and ready.
fresh_root_create() {
    local root="$1"
    ((EUID == 0)) || fresh_root_die "a fresh root needs root (mount, chroot)" || return 1
    local tool
    for tool in debootstrap chroot mount umount tar flock sha256sum; do
        command -v "$tool" >/dev/null || fresh_root_die "'$tool' not found (Debian package of the same name)" || return 1
    done
    mkdir -p "$root" "$FRESH_ROOT_CACHE"
    root="$(realpath "$root")"
    [[ -z "$(ls -A "$root")" ]] || fresh_root_die "$root is not empty" || return 1
    (
        flock 9
        [[ -f "$FRESH_ROOT_TARBALL" ]] || fresh_root_build_cache
    ) 9>"$FRESH_ROOT_CACHE/fresh-root.lock" || return 1
    tar -C "$root" --numeric-owner -xf "$FRESH_ROOT_TARBALL" || fresh_root_die "cannot unpack the bare root" || return 1

    # apt: the machine's sources and access settings; downloaded packages stay in the cache.
    local line
    : >"$root/etc/apt/sources.list"
    while read -r line; do
        [[ "$line" == *" bookworm"* ]] && printf 'deb %s\n' "$line" >>"$root/etc/apt/sources.list"
    done < <(fresh_root_host_sources)
    fresh_root_host_apt_conf >"$root/etc/apt/apt.conf.d/50machine-access"
    printf 'APT::Keep-Downloaded-Packages "true";\nAcquire::Languages "none";\n' \
        >"$root/etc/apt/apt.conf.d/50keep-downloads"
    # No daemon started by a package's install script may outlive the root.
    printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
    chmod 755 "$root/usr/sbin/policy-rc.d"
    cp -L /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true

    mount -t proc proc "$root/proc" &&
        mount --bind /sys "$root/sys" &&
        mount --bind /dev "$root/dev" &&
        mount --bind /dev/pts "$root/dev/pts" || {
        fresh_root_die "cannot mount /proc, /sys, /dev or /dev/pts in $root"
        return 1
    }
    if [[ -d /dev/shm ]]; then
        mkdir -p "$root/dev/shm"
        mount --bind /dev/shm "$root/dev/shm" || fresh_root_die "cannot mount /dev/shm in $root" || return 1
    fi
    [[ -d /tmp/.X11-unix ]] || install -d -m 1777 /tmp/.X11-unix
    install -d -m 1777 "$root/tmp/.X11-unix"
    mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix" || fresh_root_die "cannot mount /tmp/.X11-unix in $root" || return 1
    fresh_root_seed_archives "$root"
}

# Downloaded packages are kept between roots: each root starts with links to the cached .deb files
# and hands the ones it downloaded back when destroyed. (A shared, bind-mounted archive folder
# would let only one root at a time run apt: apt locks that folder for a whole install.)
fresh_root_seed_archives() {
    local cache="$FRESH_ROOT_CACHE/apt-archives" dest="$1/var/cache/apt/archives"
    mkdir -p "$cache" "$dest/partial"
    find "$cache" -maxdepth 1 -name '*.deb' -exec ln -f -t "$dest" {} + 2>/dev/null ||
        find "$cache" -maxdepth 1 -name '*.deb' -exec cp -f -t "$dest" {} +
}

fresh_root_collect_archives() {
    local cache="$FRESH_ROOT_CACHE/apt-archives" deb name
    [[ -d "$1/var/cache/apt/archives" ]] || return 0
    mkdir -p "$cache"
    for deb in "$1"/var/cache/apt/archives/*.deb; do
        [[ -f "$deb" ]] || continue
        name="${deb##*/}"
        [[ -e "$cache/$name" ]] && continue
        # Whole files only: a partly copied package must never be found by the next root.
        { ln "$deb" "$cache/.$name.part" 2>/dev/null || cp "$deb" "$cache/.$name.part"; } &&
            mv -f "$cache/.$name.part" "$cache/$name"
    done
}

# fresh_root_private_x11 ROOT: gives the root its own /tmp/.X11-unix. An X server started inside
# the root sees only the root's lock files, so it must not share the host's socket folder.
fresh_root_private_x11() {
    local root mounts
    root="$(realpath "$1")"
    mounts="$(fresh_root_mounts "$root")"
    if grep -qx "$root/tmp/.X11-unix" <<<"$mounts"; then
        umount -l "$root/tmp/.X11-unix"
    fi
    install -d -m 1777 "$root/tmp/.X11-unix"
}

# fresh_root_run ROOT CMD ARGS...: runs CMD in the root as root, from /root.
fresh_root_run() {
    local root="$1"
    shift
    chroot "$root" /usr/bin/env -i HOME=/root USER=root LOGNAME=root PATH="$FRESH_ROOT_PATH" \
        LANG=C.UTF-8 TERM="${TERM:-dumb}" /bin/sh -c 'cd "$HOME" && exec "$@"' sh "$@"
}

# fresh_root_add_user ROOT NAME: a normal user with a home folder and bash.
fresh_root_add_user() {
    chroot "$1" /usr/sbin/useradd --create-home --shell /bin/bash "$2"
}

# fresh_root_run_as USER ROOT CMD ARGS...: runs CMD in the root as USER, from the user's home.
fresh_root_run_as() {
    local user="$1" root="$2" home
    shift 2
    home="$(chroot "$root" /usr/bin/getent passwd "$user" | cut -d: -f6)"
    [[ -n "$home" ]] || fresh_root_die "no user '$user' in $root" || return 1
    chroot --userspec="$user:$user" "$root" /usr/bin/env -i HOME="$home" USER="$user" LOGNAME="$user" \
        PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 TERM="${TERM:-dumb}" \
        /bin/sh -c 'cd "$HOME" && exec "$@"' sh "$@"
}

# The mount points at or below ROOT, deepest first.
fresh_root_mounts() {
    local root="$1" mounts
    mounts="$(awk '{ print $5 }' /proc/self/mountinfo)"
    awk -v r="$root" '$0 == r || index($0, r "/") == 1 { print length($0), $0 }' <<<"$mounts" |
        sort -rn | cut -d' ' -f2-
}

# fresh_root_unmount ROOT: lazily unmounts everything at or below ROOT; fails if anything stays.
fresh_root_unmount() {
    local root m
    root="$(realpath "$1" 2>/dev/null)" || return 0
    while read -r m; do
        [[ -n "$m" ]] && umount -l "$m" 2>/dev/null
    done < <(fresh_root_mounts "$root")
    [[ -z "$(fresh_root_mounts "$root")" ]] || fresh_root_die "still mounted below $root" || return 1
}

# Ends the processes whose root folder is ROOT (X servers, wineserver, anything a test left).
fresh_root_stop_processes() {
    local root="$1" pid pids round
    for round in TERM TERM KILL; do
        pids=()
        for pid in /proc/[0-9]*; do
            [[ "$(readlink "$pid/root" 2>/dev/null)" == "$root" ]] && pids+=("${pid#/proc/}")
        done
        ((${#pids[@]} == 0)) && return 0
        kill "-$round" "${pids[@]}" 2>/dev/null
        sleep 1
    done
}

# fresh_root_destroy ROOT: stops what runs inside, unmounts, removes ROOT. Safe to call twice, and
# on a root that was never (or only half) made. Never removes anything while a mount remains.
fresh_root_destroy() {
    local root
    [[ -e "$1" ]] || return 0
    root="$(realpath "$1")"
    [[ "$root" != / ]] || return 1
    fresh_root_stop_processes "$root"
    fresh_root_unmount "$root" || return 1
    fresh_root_collect_archives "$root"
    rm -rf --one-file-system "$root"
}
