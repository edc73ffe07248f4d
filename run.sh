#!/usr/bin/env bash
# Builds a Release build under build/ and starts Calvenor Photo Sorter.
#   ./run.sh [FOLDER]   open FOLDER (or the last collection)
#   ./run.sh --demo     generate a sample collection and open it
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON >/dev/null
cmake --build build --target calvenor-photo-sorter
exec build/src/App/calvenor-photo-sorter "$@"
