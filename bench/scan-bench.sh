#!/usr/bin/env bash
# Benchmarks the collection scan on ROOT (see make-corpus.sh) against a floor of plain reads
# and Debian's vipsheader. The last line of output is one line of key=value figures.
#   bench/scan-bench.sh ROOT [--scan-only]   (--scan-only: the listing alone, three runs)
set -euo pipefail
if [ $# -lt 1 ] || [ $# -gt 2 ] || [ ! -d "$1" ]; then
    echo "usage: $0 ROOT [--scan-only] (ROOT an existing folder)" >&2
    exit 2
fi
repo=$(cd "$(dirname "$0")/.." && pwd)
"$repo/bench/ensure-vips.sh"
program=$("$repo/bench/build-target.sh" calvenor-scan-bench)
exec "$program" "$@"
