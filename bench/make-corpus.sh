#!/usr/bin/env bash
# Generates a benchmark corpus: N photo-like JPEGs of WIDTH × HEIGHT spread over ROOT (Unsorted)
# and "Category 01".."Category 20", one in six stored sideways (EXIF orientation 6).
# Existing files are kept, so running it again only fills in what is missing.
#   bench/make-corpus.sh ROOT N WIDTH HEIGHT [--exif-thumbnails | --camera-exif] [--companions]
#                        [--one-folder] [--heic | --heic-grid]
# --exif-thumbnails: every JPEG carries a 160 × 120 EXIF thumbnail. --camera-exif: every JPEG
# carries the EXIF block a camera writes (camera, lens, exposure, time taken, a maker note). --companions: N shots, every
# other one a RAW+JPEG pair with an XMP sidecar (IMG_n.JPG, IMG_n.CR3, IMG_n.xmp).
# --one-folder: every photo lies in ROOT itself and the categories stay empty.
# --heic: IMG_n.heic files without thumbnail items (one coded picture); --heic-grid: the same in
# 512 x 512 tiles, as phones write them.
set -euo pipefail
if [ $# -lt 4 ] || [ $# -gt 8 ]; then
    echo "usage: $0 ROOT N WIDTH HEIGHT [--exif-thumbnails | --camera-exif] [--companions]" \
        "[--one-folder] [--heic | --heic-grid]" >&2
    exit 2
fi
repo=$(cd "$(dirname "$0")/.." && pwd)
program=$("$repo/bench/build-target.sh" calvenor-make-corpus)
exec "$program" "$@"
