#!/usr/bin/env bash
# Builds and runs the performance suite, printing each figure beside its reference. With
# --large it times the import, the start-up with the main window and the export at a million
# goods instead (the data is generated once into build-bench/cache/ and reused).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
# Release, with the windows: the large mode times the main window's first paint too.
./scripts/configure.sh build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DVENDRIX_CORE_ONLY=OFF \
    -DVENDRIX_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench --target vendrix_bench
exec build-bench/bench/vendrix_bench "$@"
