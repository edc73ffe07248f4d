#!/usr/bin/env bash
# Races the application against other image browsers in a real window: each is launched on the
# same folder in the same run, on a private X display (Xvfb, 1280 × 800, openbox maximizing
# every window), and watched the same way by peer-watch (see peer-watch.cpp): until the first
# screen of thumbnails is painted, and the longest its window's thread left a _NET_WM_PING
# waiting, while opening and until its work is done. Every run starts from a fresh HOME, so no
# cache or setting of an earlier run helps (the freedesktop thumbnail cache, ~/.cache/thumbnails,
# which all of them share, included). Warm runs read the folder and the program first; cold runs
# drop the page cache (root). Runs interleave the applications (A B C A B C …); the table gives
# medians, then the goals are checked against them.
#   bench/peer-race.sh [--sets "jpeg1k heic250 jpeg10k jpeg100k"] [--apps "calvenor geeqie qimgv gthumb"]
#                      [--modes "warm cold"] [--runs 3] [--tail-ms 20000] [--keep]
#                      [--view DIR] [--before-run COMMAND]
# --view opens each set's folder under DIR rather than the corpus folder (a share that mounts the
# corpus, say); warm runs still read the corpus itself. --before-run is run (eval) before every
# run, after the caches are dropped (to mount the share afresh, say).
# Sets (made under /tmp/race/corpus on first use, each in one folder without subfolders):
#   jpeg200  200 × 4000 × 3000 JPEGs (a quick check)      heic40   40 × 4000 × 3000 HEICs
#   jpeg1k   1,000 × 4000 × 3000 JPEGs                     heic250  250 × 4000 × 3000 HEICs
#   jpeg10k  10,000 × 1600 × 1200 JPEGs                    jpeg100k 100,000 × 640 × 480 JPEGs
# The HEICs carry no thumbnail item. Without --keep the two largest sets are deleted at the end.
# The peers, the X server and the tools come from Debian's packages, installed here when missing
# (they are for this benchmark only). The application and the corpus maker are the ones built in
# build/, unless CALVENOR_APP and CALVENOR_MAKE_CORPUS name others.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
sets="jpeg1k heic250 jpeg10k jpeg100k"
apps="calvenor geeqie qimgv gthumb"
modes="warm cold"
runs=3
tail_ms=20000
keep=no
view=""
before_run=""
while [ $# -gt 0 ]; do
    case $1 in
    --sets) sets=$2; shift 2 ;;
    --apps) apps=$2; shift 2 ;;
    --modes) modes=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --tail-ms) tail_ms=$2; shift 2 ;;
    --keep) keep=yes; shift ;;
    --view) view=$2; shift 2 ;;
    --before-run) before_run=$2; shift 2 ;;
    *)
        sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2
        exit 2
        ;;
    esac
done
if [ "$(id -u)" -ne 0 ]; then
    echo "peer-race: run as root (installs packages, drops the page cache)" >&2
    exit 2
fi
work=/tmp/race
# shellcheck source=bench/screen-session.sh
. "$repo/bench/screen-session.sh"
mkdir -p "$work/corpus" "$work/bin" "$work/homes" "$work/results"

# --- what the race needs ---------------------------------------------------------------------
packages="xvfb openbox g++ libx11-dev libxext-dev zlib1g-dev"
for app in $apps; do
    case $app in
    calvenor) ;;
    geeqie) packages+=" geeqie" ;;
    qimgv) packages+=" qimgv kimageformat-plugins" ;; # KDE's Qt 5 plugins read HEIC for it
    gthumb) packages+=" gthumb heif-gdk-pixbuf" ;;    # GTK reads HEIC through the pixbuf loader
    *) echo "peer-race: unknown application $app (calvenor geeqie qimgv gthumb)" >&2; exit 2 ;;
    esac
done
case " $sets " in *" heic"*) packages+=" libheif-examples" ;; esac
# shellcheck disable=SC2086 # a list of names
install_missing $packages

watch_bin=$(build_watch_tool peer-watch -lX11 -lXext -lz)
app_bin=${CALVENOR_APP:-$repo/build/src/App/calvenor-photo-sorter}
make_corpus=${CALVENOR_MAKE_CORPUS:-$repo/build/bench/calvenor-make-corpus}
for program in "$app_bin" "$make_corpus"; do
    if [ ! -x "$program" ]; then
        echo "peer-race: $program is missing: build the project first (or set CALVENOR_APP and CALVENOR_MAKE_CORPUS)" >&2
        exit 2
    fi
done

# --- corpora ---------------------------------------------------------------------------------
corpus_spec() { # SET -> "COUNT WIDTH HEIGHT FORMAT"
    case $1 in
    jpeg200) echo "200 4000 3000 jpeg" ;;
    jpeg1k) echo "1000 4000 3000 jpeg" ;;
    jpeg10k) echo "10000 1600 1200 jpeg" ;;
    jpeg100k) echo "100000 640 480 jpeg" ;;
    heic40) echo "40 4000 3000 heic" ;;
    heic250) echo "250 4000 3000 heic" ;;
    *) return 1 ;;
    esac
}

make_set() { # SET: the folder, made once (a marker beside it says it is complete)
    local set=$1 dir=$work/corpus/$1 count width height format started
    read -r count width height format < <(corpus_spec "$set")
    [ -e "$dir.done" ] && return
    started=$(date +%s)
    echo "Making $set: $count × ${width}×$height $format in $dir" >&2
    if [ "$format" = jpeg ]; then
        "$make_corpus" "$dir" "$count" "$width" "$height" --one-folder >/dev/null
    else
        "$make_corpus" "$dir.src" "$count" "$width" "$height" --one-folder >/dev/null
        mkdir -p "$dir"
        # x265's fastest preset: the files are for decoding, and 250 of them encode in minutes.
        # shellcheck disable=SC2016 # the inner shell expands them
        find "$dir.src" -maxdepth 1 -name '*.jpg' -print0 | xargs -0 -P "$(nproc)" -I{} sh -c \
            'out="$1/$(basename "$2" .jpg).heic"; [ -s "$out" ] || heif-enc -q 60 -p preset=ultrafast -o "$out" "$2" >/dev/null' \
            _ "$dir" {}
        rm -rf "$dir.src"
    fi
    # The generator leaves empty category folders; a camera folder has none, and the peers would
    # fill their first screen with folder icons.
    find "$dir" -mindepth 1 -maxdepth 1 -type d -empty -delete
    touch "$dir.done"
    echo "Made $set in $(($(date +%s) - started)) s" >&2
}

# --- the display -----------------------------------------------------------------------------
finish() {
    stop_display
    rm -rf "$work/homes"
}
trap finish EXIT
start_display

# Geeqie shows no thumbnails by default: its own default settings, written on a first quit, get
# the icon view with thumbnails and a wider file pane, so it has a screen of them like the
# others (its image pane beside them still shows the first photo).
geeqie_rc=$work/geeqierc.xml
if [[ " $apps " == *" geeqie "* ]] && [ ! -s "$geeqie_rc" ]; then
    home=$work/homes/geeqie-template
    mkdir -p "$home/empty"
    pid=$(launch "$home" geeqie "$home/empty")
    rc=$home/.config/geeqie/geeqierc.xml
    sleep 3
    env -i PATH=/usr/bin:/bin DISPLAY="$DISPLAY" HOME="$home" XDG_RUNTIME_DIR="$home/run" \
        DBUS_SESSION_BUS_ADDRESS=disabled: NO_AT_BRIDGE=1 timeout 10 geeqie --remote --quit \
        >/dev/null 2>&1 || true
    for _ in $(seq 100); do [ -s "$rc" ] && ! kill -0 "$pid" 2>/dev/null && break; sleep 0.1; done
    stop "$pid"
    if ! grep -q 'file_view_type = "0"' "$rc" 2>/dev/null; then
        echo "peer-race: geeqie wrote no settings to start from ($rc)" >&2
        exit 1
    fi
    sed -e 's/file_view_type = "0"/file_view_type = "1"/' \
        -e 's/show_thumbnails = "false"/show_thumbnails = "true"/' \
        -e 's/main_window.hdivider_pos = "[0-9-]*"/main_window.hdivider_pos = "1180"/' \
        "$rc" >"$geeqie_rc"
    rm -rf "$home"
fi

program_of() { # APP -> the program file, to warm it with its libraries
    case $1 in
    calvenor) echo "$app_bin" ;;
    *) command -v "$1" ;;
    esac
}

# One run: prints the watcher's line.
race_one() { # APP SET MODE
    local app=$1 dir=${view:-$work/corpus}/$2 source=$work/corpus/$2 mode=$3 home=$work/homes/run pid launch_ns line
    rm -rf "$home"
    mkdir -p "$home"
    if [ "$app" = geeqie ]; then
        mkdir -p "$home/.config/geeqie"
        cp "$geeqie_rc" "$home/.config/geeqie/geeqierc.xml"
    fi
    if [ "$mode" = cold ]; then
        sync
        echo 3 >/proc/sys/vm/drop_caches
    else
        warm "$(program_of "$app")" "$source"
    fi
    if [ -n "$before_run" ]; then
        eval "$before_run" >&2
    fi
    launch_ns=$(date +%s%N)
    case $app in
    calvenor) pid=$(launch "$home" "$app_bin" --new-window "$dir") ;;
    *) pid=$(launch "$home" "$app" "$dir") ;;
    esac
    line=$("$watch_bin" --pid "$pid" --launch-ns "$launch_ns" --tail-ms "$tail_ms" \
        --timeout-ms "$timeout_ms" --shot "$work/results/$app-$2-$mode.png" 2>>"$work/apps.log") ||
        line="failed=yes"
    stop "$pid"
    rm -rf "$home"
    echo "$line"
}

race_started=$(date +%s)
if awk '{ exit !($1 >= 0.5) }' /proc/loadavg; then
    echo "Warning: load average $(cut -d' ' -f1 /proc/loadavg): other work shares the cores, so times and stalls are not comparable with a quiet machine's." >&2
fi
stamp=$(date +%Y%m%d-%H%M%S)
log=$work/results/race-$stamp.txt
echo "# $(date -Is) $(uname -r), $(nproc) cores; load before: $(cut -d' ' -f1-3 /proc/loadavg)" | tee "$log"
echo "# sets: $sets; apps: $apps; modes: $modes; runs: $runs; tail: $tail_ms ms" | tee -a "$log"
for set in $sets; do
    if ! corpus_spec "$set" >/dev/null; then
        echo "peer-race: unknown set $set" >&2
        exit 2
    fi
    make_set "$set"
    count=$(find "$work/corpus/$set" -maxdepth 1 -type f | wc -l)
    timeout_ms=$((count >= 50000 ? 900000 : 300000))
    for mode in $modes; do
        for ((run = 1; run <= runs; run++)); do
            for app in $apps; do
                line=$(race_one "$app" "$set" "$mode")
                echo "set=$set mode=$mode app=$app run=$run $line load=$(cut -d' ' -f1 /proc/loadavg)" | tee -a "$log"
            done
        done
    done
done

# --- the table and the goals -----------------------------------------------------------------
echo
echo "Medians over $runs runs (ms; \"none\": no thumbnails settled on screen in that many runs):"
awk -v apps="$apps" '
    /^#/ { next }
    {
        delete f
        for (i = 1; i <= NF; i++) { split($i, kv, "="); f[kv[1]] = kv[2] }
        key = f["set"] SUBSEP f["mode"] SUBSEP f["app"]
        if (!(key in n)) { order[++keys] = key }
        n[key]++
        first[key, n[key]] = (f["first_screen_ms"] == "" || f["first_screen_ms"] == "none") ? 1e15 : f["first_screen_ms"]
        near[key, n[key]] = (f["near_screen_ms"] == "" || f["near_screen_ms"] == "none") ? 1e15 : f["near_screen_ms"]
        thumbs[key, n[key]] = (f["thumbs_screen_ms"] == "" || f["thumbs_screen_ms"] == "none") ? 1e15 : f["thumbs_screen_ms"]
        open_[key, n[key]] = f["stall_open_ms"] == "" ? 1e15 : f["stall_open_ms"]
        stall[key, n[key]] = f["stall_ms"] == "" ? 1e15 : f["stall_ms"]
        win[key, n[key]] = f["window_ms"] == "" ? 1e15 : f["window_ms"]
        cpu[key, n[key]] = f["cpu_s"]; rss[key, n[key]] = f["rss_mb"]
        if (f["stall_ms"] == "") failed[key]++
        else if (f["stall_ms"] + 0 > worst[key] + 0) { worst[key] = f["stall_ms"]; worstStolen[key] = f["stall_stolen_ms"] }
    }
    function median(a, key, count,   v, i, j, t) {
        for (i = 1; i <= count; i++) v[i] = a[key, i] + 0
        for (i = 1; i <= count; i++) for (j = i + 1; j <= count; j++) if (v[j] < v[i]) { t = v[i]; v[i] = v[j]; v[j] = t }
        t = v[int((count + 1) / 2)]
        return t >= 1e15 ? "none" : t
    }
    BEGIN { printf "%-9s %-5s %-9s %8s %13s %12s %12s %14s %9s %13s %6s %7s\n", "set", "mode", "app", "window", "first_screen", "near_screen", "thumbs", "stall_opening", "stall", "worst_stall", "cpu_s", "rss_mb" }
    END {
        for (k = 1; k <= keys; k++) {
            key = order[k]; split(key, p, SUBSEP)
            printf "%-9s %-5s %-9s %8s %13s %12s %12s %14s %9s %13s %6s %7s\n", p[1], p[2], p[3], median(win, key, n[key]),
                median(first, key, n[key]), median(near, key, n[key]), median(thumbs, key, n[key]), median(open_, key, n[key]), median(stall, key, n[key]), worst[key],
                median(cpu, key, n[key]), median(rss, key, n[key])
            m_first[key] = median(first, key, n[key])
            m_near[key] = median(near, key, n[key])
            m_thumbs[key] = median(thumbs, key, n[key])
        }
        print ""
        for (k = 1; k <= keys; k++) {
            key = order[k]; split(key, p, SUBSEP)
            if (p[3] != "calvenor") continue
            ours = m_first[key]
            if (p[1] ~ /^heic/) {
                for (q = split("geeqie qimgv", peers, " "); q >= 1; q--) {
                    other = m_first[p[1], p[2], peers[q]]
                    if (other == "") continue
                    ok = ours != "none" && (other == "none" || ours + 0 < other + 0)
                    printf "goal %s %s: first screen ahead of %s (%s < %s ms): %s\n", p[1], p[2], peers[q], ours, other, ok ? "met" : "MISSED"
                }
            } else if (p[1] == "jpeg1k" && m_first[p[1], p[2], "qimgv"] != "") {
                other = m_first[p[1], p[2], "qimgv"]
                ok = ours != "none" && (other == "none" || ours + 0 <= 0.5 * other)
                printf "goal %s %s: first screen at most half of qimgv'"'"'s (%s <= 0.5 × %s ms): %s\n", p[1], p[2], ours, other, ok ? "met" : "MISSED"
            }
            if (p[1] == "jpeg100k" && p[2] == "cold") {
                ok = m_thumbs[key] != "none" && m_thumbs[key] + 0 <= 1500
                printf "goal %s %s: first screen of thumbnails within 1.5 s of the launch (%s ms; settled with its marks %s ms): %s\n", p[1], p[2], m_thumbs[key], ours, ok ? "met" : "MISSED"
            }
            printf "goal %s %s: the window never stalled 50 ms (worst of %d runs %s ms, the host taking %s ms of CPU meanwhile; %d failed): %s\n", p[1], p[2], n[key], worst[key], worstStolen[key] == "" ? "?" : worstStolen[key], failed[key], worst[key] + 0 < 50 && !failed[key] ? "met" : "MISSED"
        }
    }' "$log" | tee -a "$log.table"
echo "The race took $((($(date +%s) - race_started) / 60)) min. Every run: $log; the table: $log.table; each application's settled screen: $work/results/*.png"
if [ "$keep" = no ]; then
    for set in jpeg10k jpeg100k; do rm -rf "${work:?}/corpus/$set" "$work/corpus/$set.done"; done
fi
