#!/usr/bin/env bash
# Builds the libFuzzer targets (the "fuzz" preset: clang with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a bounded time, starting from the seed corpus and
# the saved regression inputs. The repository is not modified: the corpus is copied into a
# temporary working folder. Fails on the first crash, leak or sanitizer report.
#
#   scripts/test-fuzz.sh                  every target, 30 s each
#   FUZZ_SECONDS=600 scripts/test-fuzz.sh fuzz_png fuzz_wave
#   FUZZ_KEEP=1 ...                       keep the working folder (grown corpus, crash files)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

seconds="${FUZZ_SECONDS:-30}"
jobs="${FUZZ_JOBS:-2}"

say "Fuzz: configuring and building the fuzz preset"
cmake --preset fuzz >/dev/null
targets=("$@")
if ((${#targets[@]} == 0)); then
    for src in fuzz/fuzz_*.cpp; do
        name="$(basename "$src" .cpp)"
        targets+=("$name")
    done
fi
ninja -C build/fuzz -j "$jobs" "${targets[@]}"

work="$(mktemp -d /tmp/kelvorine-fuzz-XXXXXX)"
if [[ -z "${FUZZ_KEEP:-}" ]]; then
    trap 'rm -rf "$work"' EXIT
fi

failed=()
for name in "${targets[@]}"; do
    corpus="$work/$name/corpus"
    mkdir -p "$corpus" "$work/$name/artifacts"
    [[ -d "fuzz/corpus/$name" ]] && cp -r "fuzz/corpus/$name/." "$corpus/"
    seeds=("$corpus")
    # Inputs that once crashed are replayed first, then kept as seeds.
    if [[ -d "fuzz/regressions/$name" ]]; then
        seeds+=("$PWD/fuzz/regressions/$name")
    fi
    say "Fuzz: $name for ${seconds}s ($(ls "$corpus" | wc -l) seeds)"
    log="$work/$name/log.txt"
    if ! (cd "$work/$name" && ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}" \
          UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
          "$OLDPWD/build/fuzz/fuzz/$name" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 \
          -artifact_prefix="$work/$name/artifacts/" -print_final_stats=1 "${seeds[@]}" >"$log" 2>&1); then
        failed+=("$name")
        tail -n 60 "$log" >&2
        printf 'crash input(s): %s\n' "$(ls "$work/$name/artifacts")" >&2
        continue
    fi
    grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb|Done [0-9]+ runs' "$log" | tr '\n' ' '
    printf '\n'
done

if ((${#failed[@]} > 0)); then
    [[ -n "${FUZZ_KEEP:-}" ]] || trap - EXIT
    die "fuzz targets failed: ${failed[*]} (inputs kept in $work)"
fi
say "Fuzz: all ${#targets[@]} targets ran ${seconds}s without a finding"
