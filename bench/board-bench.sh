#!/usr/bin/env bash
# Times the sorting board over CORPUS: the first screen's thumbnails, the main thread's work per
# Down key press from the first photo to the last, and peak memory. CORPUS is used as it is if
# it already holds files; otherwise N photos (default 5000) of WIDTH × HEIGHT (default
# 1600 × 1200) are made there first. The last line of output is one line of key=value figures.
#   bench/board-bench.sh CORPUS [N [WIDTH HEIGHT]]
set -euo pipefail
if [ $# -lt 1 ] || [ $# -gt 4 ]; then
    echo "usage: $0 CORPUS [N [WIDTH HEIGHT]]" >&2
    exit 2
fi
repo=$(cd "$(dirname "$0")/.." && pwd)
program=$("$repo/bench/build-target.sh" calvenor-board-bench)
corpus=$1
if [ -z "$(ls -A -- "$corpus" 2>/dev/null)" ]; then
    echo "Making ${2:-5000} photos of ${3:-1600} x ${4:-1200} in $corpus"
    "$repo/bench/make-corpus.sh" "$corpus" "${2:-5000}" "${3:-1600}" "${4:-1200}" | tail -n 1
fi
find "$corpus" -type f -exec cat {} + >/dev/null # a warm disk cache
"$program" "$corpus" 2>/dev/null
