#!/usr/bin/env bash
# Runs the unit suite under AddressSanitizer + UndefinedBehaviorSanitizer (with LeakSanitizer),
# then the audio and shell tests, where the music thread runs beside the main thread, under
# ThreadSanitizer. Any sanitizer report fails the stage. Only the test programs and the replay
# tool are built, to keep the stage within about a quarter of an hour on two cores.
#
#   scripts/test-sanitizers.sh           both
#   scripts/test-sanitizers.sh asan      one of them
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

jobs="${SANITIZER_JOBS:-$(nproc)}"
which=("$@")
((${#which[@]} > 0)) || which=(asan tsan)

run_asan() {
    say "Sanitizers: asan preset (AddressSanitizer, UndefinedBehaviorSanitizer, LeakSanitizer)"
    cmake --preset asan >/dev/null
    # The SDL backend's own tests join when that backend is configured (ctest counts a
    # registered test program that was not built as a failure). grep reads the whole list.
    local targets=(kelvorine_tests kelvorine-replay)
    if ninja -C build/asan -t targets all | grep '^kelvorine_sdl_tests:' >/dev/null; then
        targets+=(kelvorine_sdl_tests)
    fi
    ninja -C build/asan -j "$jobs" "${targets[@]}"
    export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1:detect_stack_use_after_return=1"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
    # Every unit test, then the script tests that drive the replay tool and the unit program
    # (the ones that need the real SDL game are not built here).
    ctest --preset asan -LE e2e -j "$jobs"
    ctest --preset asan -R '^e2e\.(replay_|soak_|killwrite_)'
}

run_tsan() {
    say "Sanitizers: tsan preset (ThreadSanitizer) on the audio and shell tests"
    cmake --preset tsan >/dev/null
    ninja -C build/tsan -j "$jobs" kelvorine_tests
    export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
    local filter='Mixer*:AudioTest*:EngineTest*:StreamTest*:AppTest*:AppFailureTest*:Startup/*:Fault*:SavedFiles*:PacingTest*:Window*:SettingsFileTest*:LoadFileTest*'
    local log
    log="$(mktemp)"
    if build/tsan/tests/kelvorine_tests --gtest_filter="$filter" 2>&1 | tee "$log"; then
        rm -f "$log"
        return 0
    fi
    # A race report always fails. A few music tests play in real time and can miss their
    # deadlines on a loaded machine under the sanitizer's slowdown: those are run once more.
    if grep -q 'ThreadSanitizer' "$log"; then
        rm -f "$log"
        die "ThreadSanitizer reported a race"
    fi
    local failed
    failed="$(sed -n 's/^\[  FAILED  \] \([A-Za-z0-9_/.]*\)$/\1/p' "$log" | sort -u | paste -sd: -)"
    rm -f "$log"
    [[ -n "$failed" ]] || die "the tsan test run failed"
    say "Sanitizers: running again once: $failed"
    build/tsan/tests/kelvorine_tests --gtest_filter="$failed"
}

for w in "${which[@]}"; do
    case "$w" in
        asan) run_asan ;;
        tsan) run_tsan ;;
        *) die "unknown sanitizer '$w' (asan, tsan)" ;;
    esac
done
say "Sanitizers: ${which[*]} passed"
