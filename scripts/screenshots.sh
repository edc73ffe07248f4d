#!/usr/bin/env bash
# Takes screenshots of the real window under Xvfb, for comparing the look by eye.
#   scripts/screenshots.sh [OUTDIR]     (default: build/screenshots)
# Needs xvfb, xdotool and imagemagick (installed here when missing; the app does not need them).
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/screenshots}
mkdir -p "$out"
missing=()
for p in xvfb xdotool imagemagick; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""; [ "$(id -u)" -ne 0 ] && sudo="sudo"
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON >/dev/null
cmake --build build --target calvenor-photo-sorter >/dev/null
app=$PWD/build/src/App/calvenor-photo-sorter

export DISPLAY=:93
Xvfb "$DISPLAY" -screen 0 1280x860x24 >/dev/null 2>&1 &
xvfb=$!
home=$(mktemp -d)
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$home"' EXIT
sleep 1
# A private home: no saved settings, no recent folders, a demo collection of its own.
export HOME=$home XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data DBUS_SESSION_BUS_ADDRESS=disabled:

run() { "$app" "$@" >/dev/null 2>&1 & echo $!; }
shot() { sleep "${2:-2}"; import -window root "$out/$1.png"; echo "$out/$1.png"; }
key() { xdotool key --clearmodifiers "$@"; sleep 0.6; }

pid=$(run); shot welcome; kill "$pid"; wait "$pid" 2>/dev/null || true
pid=$(run "$home/missing folder"); shot alert; kill "$pid"; wait "$pid" 2>/dev/null || true
pid=$(run --demo); sleep 4
shot workspace 0
key Right; key space; shot preview 2; key space
# Without a window manager nothing gives the main window its focus back.
xdotool search --name "Calvenor Photo Sorter" windowfocus 2>/dev/null || true
key ctrl+n; xdotool type --delay 40 "Travel"; shot sheet 1
key Escape
# The sorting board with a selection of three (count badges), then filed into "Family".
key Right; key ctrl+a; key Escape; key Right
xdotool mousemove 314 236 keydown ctrl click 1 keyup ctrl; xdotool mousemove 512 236 keydown ctrl click 1 keyup ctrl
shot board-selection 1
key 1; key Next; key Next; key Next; shot board-bottom 1
# Browse mode: tiles, list, masonry, and an empty category.
key ctrl+shift+b; key ctrl+1; shot browse-tiles 1
key ctrl+2; shot browse-list 1
key ctrl+3; shot browse-masonry 1
kill "$pid"; wait "$pid" 2>/dev/null || true
