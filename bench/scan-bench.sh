#!/usr/bin/env bash
# Benchmarks the collection scan on ROOT (see make-corpus.sh) against a floor of plain reads
# and Debian's vipsheader. The last line of output is one line of key=value figures.
#   bench/scan-bench.sh ROOT
set -euo pipefail
if [ $# -ne 1 ] || [ ! -d "$1" ]; then
    echo "usage: $0 ROOT (an existing folder)" >&2
    exit 2
fi
repo=$(cd "$(dirname "$0")/.." && pwd)
# The comparison tool is needed by the benchmark only, so it is installed here and nowhere else.
if ! command -v vipsheader >/dev/null; then
    echo "Installing libvips-tools"
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends libvips-tools >/dev/null
fi
program=$("$repo/bench/build-target.sh" calvenor-scan-bench)
exec "$program" "$1"
