#!/usr/bin/env bash
# Installs Debian's libvips-tools (and libraw-bin, for RAW previews) when missing. The
# benchmarks compare against their tools; the application never needs them, so they are
# installed here and nowhere else.
set -euo pipefail
if ! command -v vipsheader >/dev/null || ! command -v vipsthumbnail >/dev/null ||
    ! command -v simple_dcraw >/dev/null; then
    echo "Installing libvips-tools and libraw-bin"
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends libvips-tools libraw-bin >/dev/null
fi
