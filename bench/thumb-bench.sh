#!/usr/bin/env bash
# Benchmarks thumbnail rendering for a 368-pixel cell against Debian's vipsthumbnail on
# 12-megapixel JPEGs. CORPUS, when given, is used as it is if it already holds files;
# otherwise 200 photos of 4000 × 3000 are made there (make-corpus.sh) and left for the next
# run. Without it they are made in a temporary folder that is removed afterwards. The last
# line of output is one line of key=value figures.
#   bench/thumb-bench.sh [CORPUS]
set -euo pipefail
if [ $# -gt 1 ]; then
    echo "usage: $0 [CORPUS]" >&2
    exit 2
fi
repo=$(cd "$(dirname "$0")/.." && pwd)
"$repo/bench/ensure-vips.sh"
program=$("$repo/bench/build-target.sh" calvenor-thumb-bench)

if [ $# -eq 1 ]; then
    corpus=$1
else
    scratch=$(mktemp -d)
    trap 'rm -rf -- "$scratch"' EXIT
    corpus=$scratch/corpus
fi
if [ -e "$corpus" ] && [ ! -d "$corpus" ]; then
    echo "$corpus is not a folder" >&2
    exit 2
fi
if [ -n "$(ls -A -- "$corpus" 2>/dev/null)" ]; then
    echo "Using the photos already in $corpus"
else
    echo "Making 200 photos of 4000 x 3000 in $corpus"
    "$repo/bench/make-corpus.sh" "$corpus" 200 4000 3000 | tail -n 1
fi
# The program reads every photo through once before timing, so both sides decode from memory.
"$program" "$corpus"
