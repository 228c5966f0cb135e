#!/usr/bin/env bash
# Configures the build folder DIR (relative to the project folder) with the cmake arguments that
# follow, unless it is configured so already. The arguments, with the compilers and flags the
# environment gives cmake, are kept in DIR/vendrix-configure.stamp; a folder configured with
# others, or before the stamp existed, is configured afresh, so that changed flags never go
# unnoticed in an existing build folder.
# Usage: scripts/configure.sh DIR [cmake arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."
dir="$1"
shift
stamp="$dir/vendrix-configure.stamp"
wanted="$(printf '%s\n' "$@" "CC=${CC:-}" "CXX=${CXX:-}" "CFLAGS=${CFLAGS:-}" \
    "CXXFLAGS=${CXXFLAGS:-}" "LDFLAGS=${LDFLAGS:-}")"
if [ -f "$dir/CMakeCache.txt" ] && [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$wanted" ]; then
    exit 0
fi
fresh=()
if [ -f "$dir/CMakeCache.txt" ]; then
    echo "Configuring $dir afresh: it was configured with other flags."
    fresh=(--fresh)
fi
rm -f "$stamp"
cmake "${fresh[@]}" -S . -B "$dir" "$@"
printf '%s\n' "$wanted" >"$stamp"
