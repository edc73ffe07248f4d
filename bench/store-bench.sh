#!/usr/bin/env bash
# Times the collection store's work per key press on a generated collection of 10,000 photos.
# ROOT, when given, must be missing or empty: the collection is made there and left behind.
# Without it a temporary folder is used and removed afterwards. With --companions every photo
# is a JPEG+CR3+XMP shot; with --scale it is a card dump of 100,000 photos, and the figures are
# memory per photo, number keys, the reconciliation after bursts of keys and peak memory. The
# last line of output is one line of key=value figures.
#   bench/store-bench.sh [--companions | --scale] [ROOT]
set -euo pipefail
options=()
if [ $# -ge 1 ] && { [ "$1" = --companions ] || [ "$1" = --scale ]; }; then
    options+=("$1")
    shift
fi
if [ $# -gt 1 ]; then
    echo "usage: $0 [--companions | --scale] [ROOT] (a missing or empty folder)" >&2
    exit 2
fi
repo=$(cd "$(dirname "$0")/.." && pwd)
program=$("$repo/bench/build-target.sh" calvenor-store-bench)
if [ $# -eq 1 ]; then
    exec "$program" "${options[@]}" "$1"
fi
scratch=$(mktemp -d)
trap 'rm -rf -- "$scratch"' EXIT
"$program" "${options[@]}" "$scratch/collection"
