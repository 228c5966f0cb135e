#!/usr/bin/env bash
# Builds and runs the performance suite, printing each figure beside its reference. With
# --large it times the import, the start-up and the export at a million goods instead (the data
# is generated once into build-bench/cache/ and reused).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
if [ ! -f build-bench/CMakeCache.txt ]; then
    cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DVENDRIX_CORE_ONLY=ON \
        -DVENDRIX_BUILD_TESTS=OFF
fi
cmake --build build-bench --target vendrix_bench
exec build-bench/bench/vendrix_bench "$@"
