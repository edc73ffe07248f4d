#!/usr/bin/env bash
# Times the EXIF info reader on a 12-megapixel camera JPEG written to FOLDER (a temporary folder
# when none is given): the capture time alone, every field, with the file's opening, and the
# background fill's header read. The last line of output is one line of key=value figures.
#   bench/exif-bench.sh [FOLDER [ROUNDS]]
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
program=$("$repo/bench/build-target.sh" calvenor-exif-bench)
if [ $# -ge 1 ]; then
    exec "$program" "$@"
fi
scratch=$(mktemp -d)
trap 'rm -rf -- "$scratch"' EXIT
"$program" "$scratch"
