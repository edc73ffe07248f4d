#!/usr/bin/env bash
# Builds and runs every test through CTest. Prints failures in full; exits non-zero on any failure.
#   ./test.sh              Release build under build/
#   ./test.sh --sanitize   AddressSanitizer + UndefinedBehaviorSanitizer build under build-asan/
set -euo pipefail
cd "$(dirname "$0")"
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
