#!/usr/bin/env bash
# Installs the build into a scratch DESTDIR and checks what lands there: the program without a
# RUNPATH, the launcher, the AppStream data, the icons, the man page and the copyright file,
# each accepted by the desktop's own validators.
#   tests/install/check-install.sh BUILD_DIR
set -euo pipefail
build=$1
destdir=$(mktemp -d)
trap 'rm -rf -- "$destdir"' EXIT
DESTDIR="$destdir" cmake --install "$build" --prefix /usr >/dev/null
cd "$destdir/usr"

expected="bin/calvenor-photo-sorter
share/applications/com.calvenor.photo_sorter.desktop
share/doc/calvenor-photo-sorter/changelog.gz
share/doc/calvenor-photo-sorter/copyright
share/icons/hicolor/128x128/apps/com.calvenor.photo_sorter.png
share/icons/hicolor/16x16/apps/com.calvenor.photo_sorter.png
share/icons/hicolor/22x22/apps/com.calvenor.photo_sorter.png
share/icons/hicolor/24x24/apps/com.calvenor.photo_sorter.png
share/icons/hicolor/256x256/apps/com.calvenor.photo_sorter.png
share/icons/hicolor/32x32/apps/com.calvenor.photo_sorter.png
share/icons/hicolor/48x48/apps/com.calvenor.photo_sorter.png
share/icons/hicolor/512x512/apps/com.calvenor.photo_sorter.png
share/icons/hicolor/64x64/apps/com.calvenor.photo_sorter.png
share/icons/hicolor/scalable/apps/com.calvenor.photo_sorter.svg
share/man/man1/calvenor-photo-sorter.1.gz
share/metainfo/com.calvenor.photo_sorter.metainfo.xml"
actual=$(find . -type f | sed 's|^\./||' | LC_ALL=C sort)
if [ "$actual" != "$expected" ]; then
    echo "installed files differ from the expected list:" >&2
    diff <(echo "$expected") <(echo "$actual") >&2 || true
    exit 1
fi
if readelf -d bin/calvenor-photo-sorter | grep -Eq 'RPATH|RUNPATH'; then
    echo "the installed program carries a RUNPATH" >&2
    exit 1
fi
for side in 16 48 512; do
    file "share/icons/hicolor/${side}x${side}/apps/com.calvenor.photo_sorter.png" |
        grep -q "${side} x ${side}" || { echo "the ${side} px icon has another size" >&2; exit 1; }
done
"$destdir/usr/bin/calvenor-photo-sorter" --version | grep -q '^Photo Sorter [0-9]'
missing=()
command -v desktop-file-validate >/dev/null || missing+=(desktop-file-validate)
command -v appstreamcli >/dev/null || missing+=(appstreamcli)
if [ ${#missing[@]} -gt 0 ]; then
    echo "SKIP: ${missing[*]} not installed (scripts/install-deps.sh installs them)"
    exit 77
fi
desktop-file-validate share/applications/com.calvenor.photo_sorter.desktop
appstreamcli validate --no-net --pedantic share/metainfo/com.calvenor.photo_sorter.metainfo.xml
