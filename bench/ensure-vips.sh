#!/usr/bin/env bash
# Installs Debian's libvips-tools when missing. The benchmarks compare against its tools; the
# application never needs them, so they are installed here and nowhere else.
set -euo pipefail
if ! command -v vipsheader >/dev/null || ! command -v vipsthumbnail >/dev/null; then
    echo "Installing libvips-tools"
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends libvips-tools >/dev/null
fi
