#!/usr/bin/env bash
# Installs what is missing, configures (once) and builds the project in ./build.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
if [ ! -f build/CMakeCache.txt ]; then
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build build "$@"
