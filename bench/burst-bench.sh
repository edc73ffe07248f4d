#!/usr/bin/env bash
# Times and scores burst detection on a corpus of calvenor-make-bursts: N photos (default
# 10000) of 2000 x 1500 with 300 bursts (in proportion for another N), made once under
# CACHE/bursts (CACHE: $CALVENOR_BENCH_CACHE, else ~/.cache/calvenor-bench) and made again only
# when the count or the seed changes. With the page cache warm:
#   baseline  the same photos' thumbnails for the board's default cell, on the decode pool's
#             thread count (median of three rounds)
#   cold      opening the folder in a store until the similarity index is complete and the
#             bursts follow its last fact, with an empty similarity cache (a fresh
#             XDG_CACHE_HOME); RUNS times (default 1), the median reported
#   warm      the same once more over the last cold run's cache
# and the grouping's pairwise precision and recall and the share of bursts whose best photo is
# their sharp frame, scored against the corpus's truth.tsv, and how long the window's thread
# left a 5 ms timer waiting during the work and while idle after it. Each step prints the load
# average it started at. With --reference it also measures what the corpus asks of the rule
# with the bench's own yardstick (calvenor-burst-bench --reference). Ends with a Markdown table
# and one line of key=value figures.
#   bench/burst-bench.sh [--count N] [--seed S] [--runs RUNS] [--no-baseline] [--reference]
set -euo pipefail
usage() {
    echo "usage: $0 [--count N] [--seed S] [--runs RUNS] [--no-baseline] [--reference]" >&2
    exit 2
}
count=10000
seed=1
runs=1
with_baseline=1
with_reference=0
while [ $# -gt 0 ]; do
    case $1 in
        --count) [ $# -ge 2 ] || usage; count=$2; shift ;;
        --seed) [ $# -ge 2 ] || usage; seed=$2; shift ;;
        --runs) [ $# -ge 2 ] || usage; runs=$2; shift ;;
        --no-baseline) with_baseline=0 ;;
        --reference) with_reference=1 ;;
        *) usage ;;
    esac
    shift
done
repo=$(cd "$(dirname "$0")/.." && pwd)
maker=$("$repo/bench/build-target.sh" calvenor-make-bursts)
program=$("$repo/bench/build-target.sh" calvenor-burst-bench)
cache=${CALVENOR_BENCH_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/calvenor-bench}
corpus=$cache/bursts
photos=$corpus/photos
truth=$corpus/truth.tsv

load() { cut -d' ' -f1-3 /proc/loadavg; }
field() { tr ' ' '\n' | sed -n "s/^$1=//p"; }
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR ? v[int((NR + 1) / 2)] : "n/a") }'; }

echo "Corpus: $count photos, seed $seed, in $corpus (load $(load))"
started=$(date +%s%N)
"$maker" "$corpus" --count "$count" --seed "$seed" | tail -n 2
echo "corpus ready in $(((($(date +%s%N) - started) / 1000000))) ms"
"$program" --self-test "$truth" | tail -n 1
find "$photos" -type f -exec cat {} + >/dev/null # a warm page cache for every step

output=$(mktemp)
scratch=$(mktemp -d)
trap 'rm -f -- "$output"; rm -rf -- "$scratch"' EXIT

baseline_ms=n/a
baseline_line=""
baseline_load=""
if [ "$with_baseline" -eq 1 ]; then
    baseline_load=$(load)
    echo "Baseline (load $baseline_load)"
    "$program" --baseline "$photos" | tee "$output"
    baseline_line=$(tail -n 1 "$output")
    baseline_ms=$(printf '%s' "$baseline_line" | field baseline_ms)
fi

cold_lines=""
cold_loads=""
for ((run = 1; run <= runs; run++)); do
    rm -rf -- "$scratch/cache"
    mkdir -p "$scratch/cache"
    cold_loads+="$(load); "
    echo "Cold run $run of $runs (load $(load))"
    "$program" --ours "$photos" "$truth" --cache "$scratch/cache" \
        --groups-out "$scratch/groups-cold.tsv" | tee "$output"
    cold_lines+="$(tail -n 1 "$output")"$'\n'
done
warm_load=$(load)
echo "Warm run (load $warm_load)"
"$program" --ours "$photos" "$truth" --cache "$scratch/cache" | tee "$output"
warm_line=$(tail -n 1 "$output")
cold_line=$(printf '%s' "$cold_lines" | tail -n 1)

reference_line=""
if [ "$with_reference" -eq 1 ]; then
    echo "Reference (load $(load))"
    "$program" --reference "$photos" "$truth" | tee "$output"
    reference_line=$(tail -n 1 "$output")
fi

cold_ms=$(printf '%s' "$cold_lines" | field ours_ms | median)
warm_ms=$(printf '%s' "$warm_line" | field ours_ms)
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0 && a != "n/a") printf "%.2f", a / b; else print "n/a" }'; }
get() { printf '%s' "$1" | field "$2"; }

echo
echo "| figure | value | goal |"
echo "|---|---|---|"
echo "| photos / bursts | $count / $(get "$cold_line" bursts) | |"
echo "| baseline: thumbnails, $(get "$baseline_line" threads) threads, ${baseline_ms} ms (load $baseline_load) | ${baseline_ms} ms | |"
echo "| ours, cold cache (median of $runs; load $cold_loads) | ${cold_ms} ms | |"
echo "| ours / baseline, cold | $(ratio "$cold_ms" "$baseline_ms") | ≤ 1.5 |"
echo "| ours, warm cache (load $warm_load) | ${warm_ms} ms | |"
echo "| ours / baseline, warm | $(ratio "$warm_ms" "$baseline_ms") | |"
echo "| pairwise precision | $(get "$cold_line" precision) | ≥ 0.95 |"
echo "| pairwise recall | $(get "$cold_line" recall) | ≥ 0.90 |"
echo "| best is the sharp frame | $(get "$cold_line" best) | ≥ 0.9 |"
echo "| bursts found exactly / matched / all | $(get "$cold_line" exact) / $(get "$cold_line" matched) / $(get "$cold_line" bursts) | |"
echo "| recall of the interleaved bursts ($(get "$cold_line" interleaved)) | $(get "$cold_line" interleaved_recall) | |"
echo "| window thread, longest gap / p99, during the work | $(get "$cold_line" work_gap_max_ms) / $(get "$cold_line" work_gap_p99_ms) ms | |"
echo "| window thread, longest gap / p99, idle after it | $(get "$cold_line" idle_gap_max_ms) / $(get "$cold_line" idle_gap_p99_ms) ms | |"
echo "| warm run: longest gap / p99 during the work | $(get "$warm_line" work_gap_max_ms) / $(get "$warm_line" work_gap_p99_ms) ms | |"
if [ -n "$reference_line" ]; then
    echo "| reference: burst neighbours over 12 apart / strangers 12 or closer / best | $(get "$reference_line" reference_within_above_12) / $(get "$reference_line" reference_across_at_most_12) / $(get "$reference_line" reference_best) | |"
    echo "| reference: the rule on the yardstick's facts, precision / recall / best | $(get "$reference_line" reference_rule_precision) / $(get "$reference_line" reference_rule_recall) / $(get "$reference_line" reference_rule_best) | |"
fi
echo
echo "baseline_ms=$baseline_ms cold_ms=$cold_ms warm_ms=$warm_ms" \
    "cold_ratio=$(ratio "$cold_ms" "$baseline_ms") warm_ratio=$(ratio "$warm_ms" "$baseline_ms")" \
    "$(printf '%s' "$cold_line" | tr ' ' '\n' | grep -E '^(precision|recall|best|work_gap|idle_gap)' | tr '\n' ' ')"
