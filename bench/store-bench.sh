#!/usr/bin/env bash
# Times the collection store's work per key press on a generated collection of 10,000 photos.
# ROOT, when given, must be missing or empty: the collection is made there and left behind.
# Without it a temporary folder is used and removed afterwards. The last line of output is one
# line of key=value figures.
#   bench/store-bench.sh [ROOT]
set -euo pipefail
if [ $# -gt 1 ]; then
    echo "usage: $0 [ROOT] (a missing or empty folder)" >&2
    exit 2
fi
repo=$(cd "$(dirname "$0")/.." && pwd)
"$repo/scripts/install-deps.sh"
cmake -S "$repo" -B "$repo/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON >/dev/null
cmake --build "$repo/build" --target calvenor-store-bench >/dev/null
if [ $# -eq 1 ]; then
    exec "$repo/build/bench/calvenor-store-bench" "$1"
fi
scratch=$(mktemp -d)
trap 'rm -rf -- "$scratch"' EXIT
"$repo/build/bench/calvenor-store-bench" "$scratch/collection"
