#!/usr/bin/env bash
# Races the application's preview against Geeqie and qimgv at 100 % zoom, in a real window and
# from the screen (see key-watch.cpp), on the stage peer-race uses (screen-session.sh): a private
# X display, 1280 × 800, every window maximized. Keys are pressed with XTest as from a keyboard:
#   zoom   on one large JPEG alone in its folder: the time from the 100 % key until the picture
#          has changed and settled; and the peak memory of the process tree at 100 % over its
#          resident memory with the fitted picture settled (VmHWM restarted at that point)
#   flip   at 100 % in a folder of twenty 12 MP JPEGs: the next-photo key ten times, each once
#          the one before has settled (and the application's decoding ahead is done); each
#          flip's time until the picture settled, their median and worst per run
# and in every run the longest a _NET_WM_PING waited (stall). The application opens the folder;
# Right focuses the photo and Space opens the preview, which is timed from its fitted picture
# settled. The peers open the first photo of the folder. The pointer rests in the middle of the
# window, where each of them centres its 100 %. The keys, from each one's own defaults:
#   calvenor  100 %: z                 next: Right
#   geeqie    100 %: z ("Zoom 1:1")    next: space ("Next Image"); it keeps the zoom and region
#   qimgv     100 %: 3 ("fitNormal")   next: Right ("nextImage"); it goes back to fitting the
#             window on every photo unless its preference "Keep fit mode between images" is on,
#             which the flip runs turn on (keepFitMode=true in its qimgv.conf)
# Every run starts from a fresh HOME, so no cache or setting of an earlier run helps, with the
# files and the program read beforehand (a warm page cache). qimgv's HOME holds the note of an
# earlier start (firstRun=false), or a welcome message would cover the photo for seconds. Runs
# interleave the applications (A B C A B C …); the table gives medians, then checks the goals.
#   bench/preview-bench.sh [--sets "z48 z108 flip"] [--apps "calvenor geeqie qimgv"] [--runs 3]
#                          [--shots] [--keep]
# Sets (made under /tmp/previewbench/corpus on first use by the corpus maker):
#   z48   one 8000 × 6000 JPEG            z48r   the same size stored sideways (EXIF turn)
#   z108  one 12000 × 9000 JPEG           z108r  the same size stored sideways
#   flip  20 × 4000 × 3000 JPEGs (one in six stored sideways, as the corpus maker writes them)
# --shots keeps every settled picture as a PNG; without --keep the corpus is deleted at the end.
# The peers, the X server and the tools come from Debian's packages, installed here when missing
# (they are for this benchmark only). The application and the corpus maker are the ones built
# in build/, unless CALVENOR_APP and CALVENOR_MAKE_CORPUS name others.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
sets="z48 z108 flip"
apps="calvenor geeqie qimgv"
runs=3
shots=no
keep=no
while [ $# -gt 0 ]; do
    case $1 in
    --sets) sets=$2; shift 2 ;;
    --apps) apps=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --shots) shots=yes; shift ;;
    --keep) keep=yes; shift ;;
    *)
        sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2
        exit 2
        ;;
    esac
done
if [ "$(id -u)" -ne 0 ]; then
    echo "preview-bench: run as root (installs packages, restarts the peak memory of other users' processes)" >&2
    exit 2
fi
work=/tmp/previewbench
# shellcheck source=bench/screen-session.sh
. "$repo/bench/screen-session.sh"
mkdir -p "$work/corpus" "$work/homes" "$work/results"

# --- what the race needs ---------------------------------------------------------------------
packages="xvfb openbox g++ libx11-dev libxext-dev libxtst-dev zlib1g-dev"
for app in $apps; do
    case $app in
    calvenor) ;;
    geeqie | qimgv) packages+=" $app" ;;
    *) echo "preview-bench: unknown application $app (calvenor geeqie qimgv)" >&2; exit 2 ;;
    esac
done
# shellcheck disable=SC2086 # a list of names
install_missing $packages
watch_bin=$(build_watch_tool key-watch -lX11 -lXext -lXtst -lz)
app_bin=${CALVENOR_APP:-$repo/build/src/App/calvenor-photo-sorter}
make_corpus=${CALVENOR_MAKE_CORPUS:-$repo/build/bench/calvenor-make-corpus}
for program in "$app_bin" "$make_corpus"; do
    if [ ! -x "$program" ]; then
        echo "preview-bench: $program is missing: build the project first (or set CALVENOR_APP and CALVENOR_MAKE_CORPUS)" >&2
        exit 2
    fi
done

# --- corpora ---------------------------------------------------------------------------------
# The corpus maker stores its first photo sideways (and one in six after it): the upright sets
# keep its second photo, the sideways ones its first.
make_set() { # SET: the folder, made once (a marker beside it says it is complete)
    local set=$1 dir=$work/corpus/$1 size keep_name scratch
    [ -e "$dir.done" ] && return
    case $set in
    z48 | z48r) size="8000 6000" ;;
    z108 | z108r) size="12000 9000" ;;
    flip) size="4000 3000" ;;
    *) echo "preview-bench: unknown set $set (z48 z108 z48r z108r flip)" >&2; exit 2 ;;
    esac
    echo "Making $set in $dir" >&2
    rm -rf "$dir"
    if [ "$set" = flip ]; then
        # shellcheck disable=SC2086 # width and height
        "$make_corpus" "$dir" 20 $size --one-folder >/dev/null
        # A camera folder has no empty category folders, and the peers would list them.
        find "$dir" -mindepth 1 -maxdepth 1 -type d -empty -delete
    else
        keep_name=IMG_00002.jpg
        [[ $set == *r ]] && keep_name=IMG_00001.jpg
        scratch=$work/corpus/.make-$set
        rm -rf "$scratch"
        # shellcheck disable=SC2086 # width and height
        "$make_corpus" "$scratch" 2 $size --one-folder >/dev/null
        mkdir -p "$dir"
        mv "$scratch/$keep_name" "$dir/"
        rm -rf "$scratch"
    fi
    touch "$dir.done"
}

first_photo() { # SET -> the photo the peers open
    find "$work/corpus/$1" -maxdepth 1 -type f -name '*.jpg' | sort | head -n 1
}

# --- one run ---------------------------------------------------------------------------------
# What each application is asked to do, as key-watch steps (see key-watch.cpp).
steps_for() { # APP SET
    local app=$1 set=$2 zoom next open=""
    case $app in
    calvenor) zoom=z next=Right open="press:Right open:space" ;;
    geeqie) zoom=z next=space ;;
    qimgv) zoom=3 next=Right ;;
    esac
    echo "settle $open pointer:center mark time:$zoom:zoom peak:zoom"
    if [ "$set" = flip ]; then
        echo "time:$next:flip*10 peak:flips"
    fi
}

run_one() { # APP SET RUN: prints key-watch's line
    local app=$1 set=$2 run=$3 home=$work/homes/run dir=$work/corpus/$2 program pid launch_ns line
    local shot_args=()
    rm -rf "$home"
    mkdir -p "$home"
    if [ "$app" = qimgv ]; then
        mkdir -p "$home/.config/qimgv"
        printf '[General]\nfirstRun=false\nlastVerMajor=1\nlastVerMinor=0\nlastVerMicro=2\n' \
            >"$home/.config/qimgv/qimgv.conf"
        if [ "$set" = flip ]; then
            echo "keepFitMode=true" >>"$home/.config/qimgv/qimgv.conf"
        fi
    fi
    if [ "$shots" = yes ]; then
        mkdir -p "$work/results/shots"
        shot_args=(--shots "$work/results/shots/$set-$app-$run")
    fi
    program=$app_bin
    if [ "$app" != calvenor ]; then
        program=$(command -v "$app")
    fi
    warm "$program" "$dir"
    launch_ns=$(date +%s%N)
    case $app in
    calvenor) pid=$(launch "$home" "$app_bin" --new-window "$dir") ;;
    *) pid=$(launch "$home" "$app" "$(first_photo "$set")") ;;
    esac
    # shellcheck disable=SC2046 # the steps are words
    line=$(nice -n -5 "$watch_bin" --pid "$pid" --launch-ns "$launch_ns" "${shot_args[@]}" \
        --log "$work/results/logs/$stamp-$set-$app-$run.log" $(steps_for "$app" "$set") \
        2>>"$work/apps.log" | tail -n 1) || true
    [ -n "$line" ] || line="failed=watch"
    stop "$pid"
    rm -rf "$home"
    echo "$line"
}

# --- the display -----------------------------------------------------------------------------
finish() {
    stop_display
    rm -rf "$work/homes"
}
trap finish EXIT
start_display
# The X server and the watcher go before other work on the machine: such work may slow the
# applications down, but should not delay the grabs that time them.
renice -n -5 -p "$xvfb_pid" >/dev/null

started=$(date +%s)
stamp=$(date +%Y%m%d-%H%M%S)
mkdir -p "$work/results/logs"
log=$work/results/preview-$stamp.txt
if awk '{ exit !($1 >= 0.5) }' /proc/loadavg; then
    echo "Warning: load average $(cut -d' ' -f1 /proc/loadavg): other work shares the cores, so times and stalls are not comparable with a quiet machine's." >&2
fi
echo "# $(date -Is) $(uname -r), $(nproc) cores; before: $(uptime)" | tee "$log"
echo "# sets: $sets; apps: $apps; runs: $runs; application: $app_bin" | tee -a "$log"
for set in $sets; do
    make_set "$set"
    for ((run = 1; run <= runs; run++)); do
        for app in $apps; do
            line=$(run_one "$app" "$set" "$run")
            echo "set=$set app=$app run=$run $line load=$(cut -d' ' -f1 /proc/loadavg)" | tee -a "$log"
        done
    done
done
echo "# after: $(uptime)" | tee -a "$log"

# --- the table and the goals -----------------------------------------------------------------
echo
echo "Medians over $runs runs (ms, MB; \"none\": the picture never changed; worst: of every flip of every run):"
awk -v apps="$apps" '
    /^#/ { next }
    {
        delete f
        for (i = 1; i <= NF; i++) { split($i, kv, "="); f[kv[1]] = kv[2] }
        key = f["set"] SUBSEP f["app"]
        if (!(key in n)) { order[++keys] = key }
        r = ++n[key]
        if (f["failed"] != "") failed[key]++
        for (name in wanted) v[key, name, r] = (f[name] == "" || f[name] == "none") ? 1e15 : f[name]
        # Each flip of the run: the worst of all, and whether the zoom stayed at 100 %: the
        # fine grain of the photo (detail) falls well below the 100 % view'"'"'s once fitted.
        m = split(f["flip_ms"], flips, ",")
        for (i = 1; i <= m; i++) {
            t = flips[i] == "none" ? 1e15 : flips[i] + 0
            if (!((key) in worst) || t > worst[key]) worst[key] = t
        }
        m = split(f["flip_detail"], details, ",")
        for (i = 1; i <= m; i++) {
            if (f["zoom_detail"] > 0 && details[i] < 0.85 * f["zoom_detail"]) lost[key]++
        }
    }
    BEGIN {
        split("zoom_ms zoom_first_ms rss_mark_mb zoom_mb flip_median_ms flip_worst_ms flips_mb zoom_stall_ms flip_stall_ms stall_ms", names, " ")
        for (i in names) wanted[names[i]] = 1
        printf "%-6s %-9s %8s %10s %9s %8s %11s %10s %10s %9s %12s %12s %9s %6s\n", "set", "app", "zoom", "zoom_first",
            "rss_fit", "zoom_mb", "flip_median", "flip_worst", "flips_mb", "zoom_stall", "flip_stall", "stall_run", "lost_100", "failed"
    }
    function median(key, name,   a, i, j, t, count) {
        count = n[key]
        for (i = 1; i <= count; i++) a[i] = v[key, name, i] + 0
        for (i = 1; i <= count; i++) for (j = i + 1; j <= count; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
        t = a[int((count + 1) / 2)]
        return t >= 1e15 ? "none" : t
    }
    function show(x) { return x == "" ? "-" : (x >= 1e15 ? "none" : x) }
    END {
        for (k = 1; k <= keys; k++) {
            key = order[k]; split(key, p, SUBSEP)
            flip = p[1] == "flip"
            printf "%-6s %-9s %8s %10s %9s %8s %11s %10s %10s %9s %12s %12s %9s %6s\n", p[1], p[2],
                median(key, "zoom_ms"), median(key, "zoom_first_ms"), median(key, "rss_mark_mb"), median(key, "zoom_mb"),
                flip ? median(key, "flip_median_ms") : "-", flip ? show(worst[key]) : "-",
                flip ? median(key, "flips_mb") : "-", median(key, "zoom_stall_ms"),
                flip ? median(key, "flip_stall_ms") : "-", median(key, "stall_ms"),
                flip ? lost[key] + 0 : "-", failed[key] + 0
            zoom[key] = median(key, "zoom_ms"); mem[key] = median(key, "zoom_mb"); fmem[key] = median(key, "flips_mb")
        }
        print ""
        for (k = 1; k <= keys; k++) {
            key = order[k]; split(key, p, SUBSEP)
            if (p[2] != "calvenor") continue
            if (p[1] == "z48")
                printf "goal z48: 100 %% on screen within 150 ms (median %s ms): %s\n", zoom[key], zoom[key] != "none" && zoom[key] <= 150 ? "met" : "MISSED"
            if (p[1] == "flip") {
                printf "goal flip: every flip at 100 %% within 100 ms (worst of %d runs %s ms): %s\n", n[key], show(worst[key]), worst[key] <= 100 ? "met" : "MISSED"
                printf "goal flip: the zoom stays at 100 %% (flips that lost it: %d): %s\n", lost[key], lost[key] ? "MISSED" : "met"
                printf "goal flip: peak memory at most 150 MB over the fitted preview (median %s MB): %s\n", fmem[key], fmem[key] != "none" && fmem[key] <= 150 ? "met" : "MISSED"
            } else {
                printf "goal %s: peak memory at most 150 MB over the fitted preview (median %s MB): %s\n", p[1], mem[key], mem[key] != "none" && mem[key] <= 150 ? "met" : "MISSED"
            }
            if (failed[key]) printf "%s: %d of %d runs failed (see the log)\n", p[1], failed[key], n[key]
        }
    }' "$log" | tee "$log.table"
echo "The race took $((($(date +%s) - started) / 60)) min. Every run: $log; the table: $log.table; timelines: $work/results/logs/$stamp-*.log"
if [ "$shots" = yes ]; then
    echo "Settled pictures: $work/results/shots/"
fi
if [ "$keep" = no ]; then
    for set in $sets; do rm -rf "${work:?}/corpus/$set" "$work/corpus/$set.done"; done
fi
