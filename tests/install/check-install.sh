#!/usr/bin/env bash
# Installs the build into a scratch DESTDIR and checks what lands there: the program without a
# RUNPATH and its video and clip player modules beside it, the launcher, the AppStream data, the icons, the man page and the copyright file,
# each accepted by the desktop's own validators.
#   tests/install/check-install.sh BUILD_DIR
set -euo pipefail
build=$(realpath "$1")
destdir=$(mktemp -d)
trap 'rm -rf -- "$destdir"' EXIT
DESTDIR="$destdir" cmake --install "$build" --prefix /usr >/dev/null
cd "$destdir/usr"

expected="bin/calvenor-photo-sorter
lib/calvenor-photo-sorter/calvenor-player.so
lib/calvenor-photo-sorter/calvenor-video.so
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
share/kio/servicemenus/com.calvenor.photo_sorter.desktop
share/lintian/overrides/calvenor-photo-sorter
share/man/man1/calvenor-photo-sorter.1.gz
share/metainfo/com.calvenor.photo_sorter.metainfo.xml"
actual=$(find . -type f | sed 's|^\./||' | LC_ALL=C sort)
if [ "$actual" != "$expected" ]; then
    echo "installed files differ from the expected list:" >&2
    diff <(echo "$expected") <(echo "$actual") >&2 || true
    exit 1
fi
for binary in bin/calvenor-photo-sorter lib/calvenor-photo-sorter/calvenor-{video,player}.so; do
    if readelf -d "$binary" | grep -Eq 'RPATH|RUNPATH'; then
        echo "the installed $binary carries a RUNPATH" >&2
        exit 1
    fi
done
# FFmpeg comes with the first video and Qt Multimedia with the preview, from the modules, and
# libheif and libjxl with the first photo of theirs: the program itself links none of them, so
# a start does not wait for them and what they link to load.
for library in libavformat libQt6Multimedia libheif libjxl; do
    if readelf -d bin/calvenor-photo-sorter | grep -q "$library"; then
        echo "the installed program links $library itself" >&2
        exit 1
    fi
done
for side in 16 48 512; do
    file "share/icons/hicolor/${side}x${side}/apps/com.calvenor.photo_sorter.png" |
        grep -q "${side} x ${side}" || { echo "the ${side} px icon has another size" >&2; exit 1; }
done
"$destdir/usr/bin/calvenor-photo-sorter" --version | grep -q '^Photo Sorter [0-9]'
# In French, the help is French throughout: Qt's headings and the program's own words.
help=$(LANG=fr_FR.UTF-8 LC_ALL= LANGUAGE= "$destdir/usr/bin/calvenor-photo-sorter" --help)
if ! grep -q 'dossier' <<<"$help" || grep -Eq 'folder|Displays|Usage:|Options:|Arguments:' <<<"$help"; then
    echo "the French --help mixes languages:" >&2
    echo "$help" >&2
    exit 1
fi
# KDE ignores a service menu that is not executable; both menus have their French name.
menu=share/kio/servicemenus/com.calvenor.photo_sorter.desktop
[ -x "$menu" ] || { echo "the service menu is not executable" >&2; exit 1; }
for entry in share/applications/com.calvenor.photo_sorter.desktop "$menu"; do
    grep -q '^Name\[fr\]=' "$entry" || { echo "$entry has no French name" >&2; exit 1; }
done
missing=()
command -v desktop-file-validate >/dev/null || missing+=(desktop-file-validate)
command -v appstreamcli >/dev/null || missing+=(appstreamcli)
command -v xdg-mime >/dev/null || missing+=(xdg-mime)
command -v update-desktop-database >/dev/null || missing+=(update-desktop-database)
if [ ${#missing[@]} -gt 0 ]; then
    echo "SKIP: ${missing[*]} not installed (scripts/install-deps.sh installs them)"
    exit 77
fi
desktop-file-validate share/applications/com.calvenor.photo_sorter.desktop

# The package names what the program loads at run time: Qt's WebP and TIFF readers, Qt's
# French texts, libheif, libjxl, FFmpeg for the video module and Qt Multimedia for the player
# module.
if command -v dpkg-deb >/dev/null && command -v cpack >/dev/null; then
    (cd "$build" && cpack -G DEB -B "$destdir/deb" >/dev/null)
    depends=$(dpkg-deb -f "$destdir"/deb/*.deb Depends)
    for needed in qt6-image-formats-plugins qt6-translations-l10n libqt6gui6 libavformat libqt6multimedia6 libheif1 libjxl; do
        if ! grep -q "$needed" <<<"$depends"; then
            echo "the package does not depend on $needed: $depends" >&2
            exit 1
        fi
    done
fi
appstreamcli validate --no-net --pedantic share/metainfo/com.calvenor.photo_sorter.metainfo.xml

# Installed ahead of the file manager in the data folders, the app must not become the default
# opener of folders.
fm="$destdir/fm/applications"
mkdir -p "$fm" "$destdir/home" "$destdir/config"
printf '[Desktop Entry]\nType=Application\nName=Files\nExec=files %%U\nMimeType=inode/directory;\n' \
    >"$fm/org.example.Files.desktop"
update-desktop-database "$fm"
update-desktop-database "$destdir/usr/share/applications"
for desktop in "" GNOME KDE XFCE; do
    opener=$(env -i PATH="$PATH" HOME="$destdir/home" XDG_CONFIG_HOME="$destdir/config" \
                 XDG_DATA_HOME="$destdir/home" XDG_DATA_DIRS="$destdir/usr/share:$destdir/fm" \
                 XDG_CURRENT_DESKTOP="$desktop" xdg-mime query default inode/directory)
    if [ "$opener" != "org.example.Files.desktop" ]; then
        echo "folders open with '$opener' on desktop '$desktop', not the file manager" >&2
        exit 1
    fi
done
