#!/usr/bin/env bash
# Runs Kelvorine's whole test suite: installs the missing Debian packages (scripts/packages-play.txt
# and scripts/packages-test.txt), configures and builds the default preset with its tests and
# benchmarks, then runs every stage below in order.
#
#   ./test.sh                 every stage
#   ./test.sh unit            only the named stages (setup and build always run first)
#
# Stages: release (scripts/release.sh: the Debian package, the Windows zip and the web archive in
# build/release, each made once), unit (ctest of the default preset: unit tests, replay scripts,
# the real game under Xvfb, the release's Windows zip under Wine), sanitizers (asan and tsan
# presets), fuzz (libFuzzer), package (the release's Debian package installed and played in a
# fresh Debian 12 root), fresh (both commands in a fresh Debian 12 root), web (the release's web
# archive unpacked, served and played in a headless chromium).
#
# The stages after release play the files it made (KELVORINE_RELEASE_DIR). Run without the
# release stage, each makes what it plays itself with the same scripts (build-windows.sh,
# package.sh, build-web.sh).
#
# To add a stage: write a function stage_<name> and append <name> to STAGES.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh

# The release: every artefact made and checked once; the later stages play these files.
stage_release() {
    say "Stage release: scripts/release.sh"
    scripts/release.sh
    export KELVORINE_RELEASE_DIR="$KELVORINE_ROOT/build/release"
}

# ctest of the default preset: unit tests and the script (end-to-end) tests.
stage_unit() {
    say "Stage unit: ctest --preset default"
    # The end-to-end tests run the staged game (binary, generated data, shaders).
    cmake --build build/default --target stage
    ctest --preset default -j "$(nproc)"
}

# The unit suite under AddressSanitizer + UndefinedBehaviorSanitizer, and the threaded audio and
# shell tests under ThreadSanitizer.
stage_sanitizers() {
    say "Stage sanitizers"
    scripts/test-sanitizers.sh
}

# Every libFuzzer target for a bounded time (FUZZ_SECONDS, 30 s each by default).
stage_fuzz() {
    say "Stage fuzz"
    scripts/test-fuzz.sh
}

# The Debian package (the release's, else made here): validated, installed into a fresh Debian 12 root and played there by a
# new user from an unrelated folder, then purged (scripts/test-package.sh; needs root).
stage_package() {
    say "Stage package"
    local deb=()
    [[ -n "${KELVORINE_RELEASE_DIR:-}" ]] && deb=("$(ls "$KELVORINE_RELEASE_DIR"/kelvorine_*_amd64.deb)")
    if ((EUID == 0)); then
        scripts/test-package.sh "${deb[@]}"
    else
        sudo scripts/test-package.sh "${deb[@]}"
    fi
}

# The two commands on a fresh minimal Debian 12 root (cached after the first run): ./run.sh until
# the title is presented, then ./test.sh unit. Needs root (debootstrap, mount, chroot).
stage_fresh() {
    say "Stage fresh"
    if ((EUID == 0)); then
        scripts/test-fresh.sh
    else
        sudo --preserve-env=FRESH_RUN_MINUTES,FRESH_UNIT_MINUTES,FRESH_STEPS,FRESH_KEEP scripts/test-fresh.sh
    fi
}

# The browser version: the release's web archive unpacked into an empty folder (else the page
# built here), served locally and played in Debian's chromium, headless with software WebGL 2
# (tests/web/web_test.sh).
stage_web() {
    say "Stage web"
    if [[ -n "${KELVORINE_RELEASE_DIR:-}" ]]; then
        tests/web/web_test.sh --archive "$(ls "$KELVORINE_RELEASE_DIR"/kelvorine-*-web.zip)"
    else
        tests/web/web_test.sh
    fi
}

STAGES=(release unit sanitizers fuzz package fresh web)

install_packages play test
configure_build

selected=("$@")
((${#selected[@]} > 0)) || selected=("${STAGES[@]}")
for stage in "${selected[@]}"; do
    declare -F "stage_$stage" >/dev/null || die "unknown stage '$stage' (stages: ${STAGES[*]})"
    "stage_$stage"
done
say "All stages passed: ${selected[*]}"
