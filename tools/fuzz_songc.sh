#!/usr/bin/env bash
# Fuzzes the song compiler's reading of the five song source files with the
# libFuzzer target build/fuzz_songc (built with AddressSanitizer and
# UndefinedBehaviorSanitizer), starting from data/song joined into one input,
# the small seeds in tests/fuzz/songc_seeds and the reproducers of earlier
# faults in tests/fuzz/songc_regressions (which every run replays first).
#
#   bash tools/fuzz_songc.sh [--minutes M] [--runs N] [--seed S] [--corpus DIR] [--fuzzer PATH]
#
#   --minutes M   run for M minutes (default 10), niced, keeping what it finds
#                 interesting in --corpus (default build/fuzz/corpus) for the
#                 next run
#   --runs N      run exactly N inputs instead, from a fresh corpus: with the
#                 fixed --seed (default 1) the same inputs every time; the
#                 default tests run it this way
#
# A finding stops the run with libFuzzer's report, and the input that caused
# it is saved under build/fuzz/ (crash-*, timeout-*, leak-*, oom-*). Mend the
# fault, then keep the input as a regression: copy it into
# tests/fuzz/songc_regressions/ with a name that says what it was.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
minutes=10 runs= seed=1 corpus= fuzzer="$root/build/fuzz_songc"
while [ $# -gt 0 ]; do
    case $1 in
    --minutes) minutes=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    --corpus) corpus=$2; shift 2 ;;
    --fuzzer) fuzzer=$2; shift 2 ;;
    *) echo "usage: fuzz_songc.sh [--minutes M] [--runs N] [--seed S] [--corpus DIR] [--fuzzer PATH]" >&2; exit 2 ;;
    esac
done
[ -x "$fuzzer" ] || { echo "no fuzz target at $fuzzer (it needs clang with libFuzzer: tools/setup.sh installs it)" >&2; exit 1; }
artifacts=$(dirname "$fuzzer")/fuzz
mkdir -p "$artifacts"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# data/song as one input: the five files in the compiler's order, each ended
# by a line "%%".
mkdir "$work/seed"
for f in song instruments samples sequences patterns; do
    cat "$root/data/song/$f.txt"
    printf '%%%%\n'
done >"$work/seed/data-song.txt"

# The timeout is wall-clock time: a niced run on a busy machine can wait
# seconds for the processor, so only a unit stuck for a minute counts.
flags=(-timeout=60 -rss_limit_mb=2048 -max_len=131072 -print_final_stats=1 "-artifact_prefix=$artifacts/")
if [ -n "$runs" ]; then
    mkdir "$work/corpus"
    corpus=$work/corpus
    flags+=("-seed=$seed" "-runs=$runs")
    run=()
else
    corpus=${corpus:-$artifacts/corpus}
    mkdir -p "$corpus"
    flags+=("-max_total_time=$((minutes * 60))")
    run=(nice -n 19)
fi
"${run[@]}" "$fuzzer" "${flags[@]}" "$corpus" "$work/seed" "$root/tests/fuzz/songc_seeds" "$root/tests/fuzz/songc_regressions"
