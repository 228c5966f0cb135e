#!/usr/bin/env bash
# Installs what is missing, configures (again only when the flags changed) and builds the
# project in ./build.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
./scripts/configure.sh build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build "$@"
