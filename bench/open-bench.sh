#!/usr/bin/env bash
# Times opening ROOT as a user launching the application with it: to the board shown, to the
# first screen of thumbnails painted and to every dimension read, with the longest the window
# left input waiting (see board-bench.cpp, --open). RUNS runs (default 3) with a warm disk
# cache, then RUNS with a cold one: the page cache is dropped before each, which needs root
# (skipped with a message otherwise). For scale, a bare `find -printf` of the same folder
# (names, sizes, times and inodes: the listing's floor) is timed the same ways.
# Each run prints one line of key=value figures; the medians come last.
#   bench/open-bench.sh ROOT [RUNS]
set -euo pipefail
if [ $# -lt 1 ] || [ $# -gt 2 ] || [ ! -d "$1" ]; then
    echo "usage: $0 ROOT [RUNS]" >&2
    exit 2
fi
repo=$(cd "$(dirname "$0")/.." && pwd)
program=$("$repo/bench/build-target.sh" calvenor-board-bench)
root=$1
runs=${2:-3}

drop_caches() {
    sync
    echo 3 >/proc/sys/vm/drop_caches
}
can_drop=yes
if ! (drop_caches) 2>/dev/null; then
    can_drop=no
    echo "Cold runs skipped: dropping the page cache needs root (/proc/sys/vm/drop_caches)." >&2
fi

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR ? v[int((NR + 1) / 2)] : "n/a") }'; }
field() { tr ' ' '\n' | sed -n "s/^$1=//p"; }

find_ms() {
    local start end
    start=$(date +%s%N)
    find "$root" -maxdepth 2 -printf '%f %s %T@ %i\n' >/dev/null
    end=$(date +%s%N)
    echo $(((end - start) / 1000000))
}

run_series() { # warm|cold
    local kind=$1 lines="" i line
    for ((i = 0; i < runs; i++)); do
        if [ "$kind" = cold ]; then drop_caches; else find "$root" -maxdepth 2 -type f -exec cat {} + >/dev/null; fi
        line="$(CALVENOR_LAUNCH_NS=$(date +%s%N) "$program" --open "$root" 2>/dev/null | tail -n 1)"
        [ "$kind" = cold ] && drop_caches
        line="$line find_ms=$(find_ms)"
        echo "$kind run $((i + 1)): $line"
        lines+="$line"$'\n'
    done
    local summary="$kind:"
    for key in shown_ms first_screen_ms settled_ms input_worst_ms rss_mb find_ms; do
        summary+=" ${key}=$(printf '%s' "$lines" | field "$key" | median)"
    done
    summaries+="$summary"$'\n'
}

summaries=""
run_series warm
[ "$can_drop" = yes ] && run_series cold
printf '%s' "$summaries"
