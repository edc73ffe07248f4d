#!/usr/bin/env bash
# Builds and runs every test through CTest. Prints failures in full; exits non-zero on any failure.
#   ./test.sh              Release build under build/
#   ./test.sh --sanitize   AddressSanitizer + UndefinedBehaviorSanitizer build under build-asan/
#   ./test.sh --fuzz       the header parsers' libFuzzer targets, 60 s each (clang, build-fuzz/)
set -euo pipefail
cd "$(dirname "$0")"

if [ "${1:-}" = "--fuzz" ]; then
    scripts/install-deps.sh --fuzz
    # The corpus: every input the parsers' tests build, and the hand-made seeds.
    corpus=$PWD/build-fuzz/corpus
    rm -rf "$corpus"
    cmake -S . -B build -G Ninja -DBUILD_TESTING=ON -DCALVENOR_WERROR=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build build --target tst_HeifBoxes tst_HeifDecoder tst_ExifThumbnail tst_ExifInfo tst_MotionPhoto
    CALVENOR_FUZZ_CORPUS=$corpus QT_QPA_PLATFORM=offscreen \
        ctest --test-dir build --output-on-failure -R '^tst_(HeifBoxes|HeifDecoder|ExifThumbnail|ExifInfo|MotionPhoto)$'
    fuzz/make-seeds.py "$corpus"
    CXX=clang++ cmake -S fuzz -B build-fuzz -G Ninja >/dev/null
    cmake --build build-fuzz
    # A crash leaves its input as build-fuzz/crash-…, and the run fails.
    build-fuzz/fuzz-heif-boxes -dict=fuzz/heif.dict -max_total_time=60 \
        -artifact_prefix=build-fuzz/ "$corpus/heif"
    build-fuzz/fuzz-exif-thumbnail -dict=fuzz/exif.dict -max_total_time=60 \
        -artifact_prefix=build-fuzz/ "$corpus/exif"
    build-fuzz/fuzz-exif-info -dict=fuzz/exif.dict -max_total_time=60 \
        -artifact_prefix=build-fuzz/ "$corpus/exif-info" "$corpus/heif"
    build-fuzz/fuzz-motion-photo -dict=fuzz/motion.dict -max_total_time=60 \
        -artifact_prefix=build-fuzz/ "$corpus/motion" "$corpus/heif"
    exit 0
fi

scripts/install-deps.sh

dir=build
flags=(-DCMAKE_BUILD_TYPE=Release)
if [ "${1:-}" = "--sanitize" ]; then
    dir=build-asan
    flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCALVENOR_SANITIZE=ON)
    export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi

cmake -S . -B "$dir" -G Ninja -DBUILD_TESTING=ON -DCALVENOR_WERROR=ON "${flags[@]}" >/dev/null
cmake --build "$dir"

# Headless widgets, and no session bus autolaunch that would keep the pipeline open.
export QT_QPA_PLATFORM=offscreen
export DBUS_SESSION_BUS_ADDRESS=disabled:
export LC_ALL=${LC_ALL:-C.UTF-8}
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" --timeout 600
