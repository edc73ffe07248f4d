#!/usr/bin/env bash
# Benchmarks thumbnail rendering for a 368-pixel cell against Debian's vipsthumbnail on
# 12-megapixel JPEGs. CORPUS, when given, is used as it is if it already holds files;
# otherwise 200 photos of 4000 × 3000 are made there (make-corpus.sh) and left for the next
# run. Without it they are made in a temporary folder that is removed afterwards. The last
# line of output is one line of key=value figures.
#
# --png makes the corpus of 12 PNGs of 8000 × 6000 at 16 bits a channel instead: Qt decodes
# those whole before shrinking them, which is what the decode budget bounds. The other options
# go to the program: --threads N (default: one per core), --budget MEGAPIXELS (default:
# the application's, 0: unbounded), --no-vips (time the service alone).
#   bench/thumb-bench.sh [--png] [--threads N] [--budget MEGAPIXELS] [--no-vips] [CORPUS]
set -euo pipefail
usage() {
    echo "usage: $0 [--png] [--threads N] [--budget MEGAPIXELS] [--no-vips] [CORPUS]" >&2
    exit 2
}
png=0
vips=1
options=()
corpus=""
while [ $# -gt 0 ]; do
    case $1 in
        --png) png=1 ;;
        --no-vips) vips=0; options+=("$1") ;;
        --threads|--budget) [ $# -ge 2 ] || usage; options+=("$1" "$2"); shift ;;
        -*) usage ;;
        *) [ -z "$corpus" ] || usage; corpus=$1 ;;
    esac
    shift
done
repo=$(cd "$(dirname "$0")/.." && pwd)
[ "$vips" -eq 0 ] || "$repo/bench/ensure-vips.sh"
program=$("$repo/bench/build-target.sh" calvenor-thumb-bench)

if [ -z "$corpus" ]; then
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
elif [ "$png" -eq 1 ]; then
    echo "Making 12 PNGs of 8000 x 6000, 16 bits a channel, in $corpus"
    "$program" --make-png "$corpus" 12 8000 6000 16 | tail -n 1
else
    echo "Making 200 photos of 4000 x 3000 in $corpus"
    "$repo/bench/make-corpus.sh" "$corpus" 200 4000 3000 | tail -n 1
fi
# The program reads every photo through once before timing, so both sides decode from memory.
"$program" "${options[@]}" "$corpus"
