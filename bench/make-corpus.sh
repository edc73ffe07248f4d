#!/usr/bin/env bash
# Generates a benchmark corpus: N photo-like JPEGs of WIDTH × HEIGHT spread over ROOT (Unsorted)
# and "Category 01".."Category 20", one in six stored sideways (EXIF orientation 6).
# Existing files are kept, so running it again only fills in what is missing.
#   bench/make-corpus.sh ROOT N WIDTH HEIGHT
set -euo pipefail
if [ $# -ne 4 ]; then
    echo "usage: $0 ROOT N WIDTH HEIGHT" >&2
    exit 2
fi
repo=$(cd "$(dirname "$0")/.." && pwd)
program=$("$repo/bench/build-target.sh" calvenor-make-corpus)
exec "$program" "$@"
