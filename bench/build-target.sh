#!/usr/bin/env bash
# Installs what is missing, builds one benchmark target into build/ (Release) and prints the
# path of the program. Shared by the benchmark scripts.
#   bench/build-target.sh TARGET
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
"$repo/scripts/install-deps.sh" >&2
cmake -S "$repo" -B "$repo/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON >/dev/null
cmake --build "$repo/build" --target "$1" >/dev/null
echo "$repo/build/bench/$1"
