#!/usr/bin/env bash
# Benchmarks videos: thumbnails of 4K phone clips against Debian's ffmpegthumbnailer and the
# header facts the scan reads (video-bench.cpp), then opening a phone's dump with and without
# its videos (open-bench.sh). What it makes is kept in CORPUS (default
# /tmp/calvenor-video-corpus) for the next run; only what is missing is made:
#   clips/              40 H.264 clips of 3 s and 40 HEVC clips of 2 s (x265 takes long to make
#                       them), 3840 × 2160 at 30 fps, a key frame a second as phones write them,
#                       AAC sound; every fourth a MOV turned by its display matrix (270°: a phone
#                       held upright), every other one an MP4
#   photos/             1,800 photo-like JPEGs of 4032 × 3024, one in six turned by EXIF
#   dump-videos/        IMG_0001 … IMG_2000: every tenth a clip of 1920 × 1080, 2 s (H.264 and
#                       HEVC, MOV and MP4, some turned), the others the photos (hard links)
#   dump-photos/        the same 1,800 photos under the same names, without the clips
# The dump is opened RUNS times each way (--dump-runs, default 3), warm and (as root) cold;
# medians.
# The other options go to the program: --threads N (ours; default one per core), --no-peer.
# --no-dump skips the dump. Before each timed part the script waits (up to five minutes) for
# the one-minute load to fall below --max-load (default 1.5) and prints what it was.
# The last line is one line of key=value figures.
#   bench/video-bench.sh [--threads N] [--no-peer] [--no-dump] [--dump-runs RUNS] [--max-load L]
#                        [CORPUS]
set -euo pipefail
usage() {
    echo "usage: $0 [--threads N] [--no-peer] [--no-dump] [--dump-runs RUNS] [--max-load L]" \
        "[CORPUS]" >&2
    exit 2
}
options=()
dump=1
dump_runs=3
max_load=1.5
corpus=""
while [ $# -gt 0 ]; do
    case $1 in
        --no-peer) options+=("$1") ;;
        --no-dump) dump=0 ;;
        --threads) [ $# -ge 2 ] || usage; options+=("$1" "$2"); shift ;;
        --max-load) [ $# -ge 2 ] || usage; max_load=$2; shift ;;
        --dump-runs) [ $# -ge 2 ] || usage; dump_runs=$2; shift ;;
        -*) usage ;;
        *) [ -z "$corpus" ] || usage; corpus=$1 ;;
    esac
    shift
done
corpus=${corpus:-/tmp/calvenor-video-corpus}
repo=$(cd "$(dirname "$0")/.." && pwd)

if ! command -v ffmpegthumbnailer >/dev/null || ! command -v ffmpeg >/dev/null; then
    echo "Installing ffmpegthumbnailer and ffmpeg"
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends ffmpegthumbnailer ffmpeg >/dev/null
fi
program=$("$repo/bench/build-target.sh" calvenor-video-bench)
mkdir -p "$corpus/clips"

# The picture of clip I: one of five kinds of moving content, each varied by I, made at
# WIDTH × HEIGHT (the slow sources at a quarter of it, scaled up).
picture() { # I WIDTH HEIGHT
    local i=$1 w=$2 h=$3
    local qw=$(($2 / 4)) qh=$(($3 / 4))
    local rules=(30 90 110 150 22 60 102 126)
    case $((i % 5)) in
        0) echo "testsrc2=s=${w}x${h}:r=30,hue=h=$((i * 37 % 360))" ;;
        1) echo "cellauto=s=${w}x${h}:r=30:rule=${rules[$((i % 8))]}:seed=$i" ;;
        2) echo "mandelbrot=s=$((qw / 2))x$((qh / 2)):r=30:maxiter=96:start_scale=$((2 + i % 3))" \
            ":start_x=-0.$((5 + i % 4)):start_y=0.$((i % 7)),scale=${w}:${h}:flags=bicubic" |
            tr -d ' ' ;;
        3) echo "gradients=s=${qw}x${qh}:r=30:seed=$i:speed=0.0$((1 + i % 5)),scale=${w}:${h}" \
            ",noise=alls=4:allf=t" | tr -d ' ' ;;
        4) echo "life=s=${qw}x${qh}:r=30:seed=$i:mold=10:life_color=#$((i % 9))0a0c0" \
            ":mold_color=#2040$((i % 9))0,scale=${w}:${h}:flags=neighbor" | tr -d ' ' ;;
    esac
}

# Writes OUT (.mp4 or .mov by its name) unless it exists: clip I at WIDTH × HEIGHT, SECONDS
# long, CODEC h264 or hevc, turned by DEGREES (0: not) in a remux as a phone's display matrix.
make_clip() { # OUT I WIDTH HEIGHT SECONDS CODEC DEGREES
    local out=$1 i=$2 w=$3 h=$4 seconds=$5 codec=$6 degrees=$7
    [ -e "$out" ] && return 0
    local format=mp4
    [ "${out##*.}" = mov ] || [ "${out##*.}" = MOV ] && format=mov
    local video=(-c:v libx264 -preset ultrafast)
    [ "$codec" = hevc ] && video=(-c:v libx265 -preset ultrafast -tag:v hvc1
        -x265-params log-level=error)
    local part=$out.part
    ffmpeg -nostdin -v error -y -f lavfi -i "$(picture "$i" "$w" "$h")" \
        -f lavfi -i "sine=f=$((220 + i * 7)):r=48000" -t "$seconds" \
        "${video[@]}" -g 30 -pix_fmt yuv420p -c:a aac -b:a 128k -ac 2 \
        -metadata creation_time="2024-05-$(printf %02d $((1 + i % 28)))T1$((i % 10)):22:07Z" \
        -f "$format" "$part"
    if [ "$degrees" -ne 0 ]; then
        ffmpeg -nostdin -v error -y -i "$part" -map 0 -c copy \
            -metadata:s:v:0 rotate="$degrees" -f "$format" "$part.turned"
        mv "$part.turned" "$part"
    fi
    mv "$part" "$out"
}

clip_name() { # I CODEC: every fourth a turned MOV, the one after a plain MOV, the rest MP4s
    case $(($1 % 4)) in
        1 | 3) printf '%s-%02d.mov' "$2" "$1" ;;
        *) printf '%s-%02d.mp4' "$2" "$1" ;;
    esac
}

made=0
for codec in h264 hevc; do
    for ((i = 0; i < 40; i++)); do
        name=$(clip_name "$i" "$codec")
        [ -e "$corpus/clips/$name" ] && continue
        [ "$made" -eq 0 ] && echo "Making the 4K clips in $corpus/clips (once; HEVC takes a while)"
        degrees=0
        [ $((i % 4)) -eq 3 ] && degrees=270
        seconds=3
        [ "$codec" = hevc ] && seconds=2
        make_clip "$corpus/clips/$name" "$i" 3840 2160 "$seconds" "$codec" "$degrees"
        made=$((made + 1))
    done
done

wait_for_quiet() {
    local tries=0
    while awk -v limit="$max_load" '{ exit !($1 > limit) }' /proc/loadavg && [ $tries -lt 10 ]; do
        [ $tries -eq 0 ] && echo "Waiting for the load to fall below $max_load: $(uptime)"
        sleep 30
        tries=$((tries + 1))
    done
    echo "load: $(uptime)"
}

output=$(mktemp)
trap 'rm -f -- "$output"' EXIT
wait_for_quiet
"$program" "${options[@]}" "$corpus/clips" | tee "$output"
program_line=$(tail -n 1 "$output")

dump_line=""
if [ "$dump" -eq 1 ]; then
    photos=$corpus/photos
    if [ "$(find "$photos" -maxdepth 1 -name 'IMG_*.jpg' 2>/dev/null | wc -l)" -lt 1800 ]; then
        echo "Making 1,800 photos of 4032 x 3024 in $photos (once)"
        "$repo/bench/make-corpus.sh" "$photos" 1800 4032 3024 --one-folder | tail -n 1
    fi
    with=$corpus/dump-videos
    without=$corpus/dump-photos
    mkdir -p "$with" "$without"
    photo=0
    for ((n = 1; n <= 2000; n++)); do
        if [ $((n % 10)) -eq 0 ]; then
            k=$((n / 10 - 1)) # 0 … 199
            codec=h264
            [ $((k % 2)) -eq 1 ] && codec=hevc
            extension=MOV
            [ $((k % 3)) -eq 0 ] && extension=MP4
            degrees=0
            [ $((k % 8)) -eq 1 ] && degrees=90
            [ $((k % 8)) -eq 5 ] && degrees=270
            name=$(printf 'IMG_%04d.%s' "$n" "$extension")
            if [ ! -e "$with/$name" ]; then
                [ "$k" -eq 0 ] && echo "Making the dump's 200 clips of 1920 x 1080 in $with (once)"
                make_clip "$with/$name" "$k" 1920 1080 2 "$codec" "$degrees"
            fi
        else
            photo=$((photo + 1))
            photo_file=$(printf '%s/IMG_%05d.jpg' "$photos" "$photo")
            name=$(printf 'IMG_%04d.JPG' "$n")
            [ -e "$with/$name" ] || ln "$photo_file" "$with/$name"
            [ -e "$without/$name" ] || ln "$photo_file" "$without/$name"
        fi
    done
    echo "Dump: $(find "$with" -type f | wc -l) files with the clips," \
        "$(find "$without" -type f | wc -l) without"

    median() { sort -n | awk '{ v[NR] = $1 } END { print (NR ? v[int((NR + 1) / 2)] : "n/a") }'; }
    field() { tr ' ' '\n' | sed -n "s/^$1=//p"; }
    # open-bench.sh drops the page cache once before its warm runs (to see whether it may), so
    # the first warm run loads the program's libraries from disk: it is given RUNS runs per
    # folder and the median leaves that run out, where one run per call would time only such.
    results=""
    wait_for_quiet
    for side in videos photos; do
        folder=$with
        [ "$side" = photos ] && folder=$without
        while read -r line; do
            echo "dump-$side $line"
            case $line in
                warm:* | cold:*) results+="${side}_${line%%:*} ${line#*: }"$'\n' ;;
            esac
        done < <("$repo/bench/open-bench.sh" "$folder" "$dump_runs")
    done
    for kind in warm cold; do
        for key in first_screen_ms settled_ms; do
            v=$(printf '%s' "$results" | sed -n "s/^videos_$kind //p" | field "$key" | median)
            p=$(printf '%s' "$results" | sed -n "s/^photos_$kind //p" | field "$key" | median)
            [ "$v" = n/a ] && continue
            pct=$(awk -v v="$v" -v p="$p" \
                'BEGIN { printf "%+.1f", (p > 0 ? 100 * (v - p) / p : 0) }')
            echo "dump $kind $key: with the clips $v, photos only $p ($pct %)"
            short=${key%_ms}
            dump_line+=" dump_${kind}_${short}_ms=$v dump_photos_${kind}_${short}_ms=$p"
            dump_line+=" dump_${kind}_${short}_slower_pct=$pct"
        done
    done
fi
echo "$program_line$dump_line"
