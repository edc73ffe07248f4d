#!/usr/bin/env bash
# Installs every package needed to build, run and test the project (Debian 12).
# Idempotent and non-interactive: does nothing when everything is present.
#   --fuzz   also clang and its fuzzer runtime, for ./test.sh --fuzz
set -euo pipefail

packages=(
    g++ cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-image-formats-plugins qt6-l10n-tools qt6-translations-l10n
    libgl-dev
    qt6-multimedia-dev gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav
    libheif-dev libraw-dev libjxl-dev libtiff-dev libblkid-dev libjpeg62-turbo-dev
    libfontconfig-dev
    libavformat-dev libavcodec-dev libswscale-dev libavutil-dev ffmpeg
    xvfb xauth
    util-linux mount
    sshfs openssh-sftp-server bindfs ntfs-3g exfat-fuse exfatprogs fusefat dosfstools
    dbus-daemon
    desktop-file-utils appstream file binutils dpkg-dev lintian xdg-utils
)
if [ "${1:-}" = "--fuzz" ]; then
    packages+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
