#!/usr/bin/env bash
# clang-tidy with the project's .clang-tidy (bug-prone patterns, needless copies) over the
# program's sources, or over the files given as arguments. Uses the compile commands of ./build
# (made by scripts/build.sh). Fails when clang-tidy reports anything.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
if [ ! -f build/compile_commands.json ]; then
    ./scripts/build.sh
fi
if [ $# -gt 0 ]; then
    files=("$@")
else
    mapfile -t files < <(git ls-files -- 'src/*.cpp')
fi
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
# Two files at a time: the build machines are small. The build's commands are GCC's; clang
# does not know some of its warning switches.
printf '%s\0' "${files[@]}" | xargs -0 -n 1 -P "${TIDY_JOBS:-2}" \
    clang-tidy -p build --quiet --extra-arg=-Wno-unknown-warning-option 2>/dev/null | tee "$log"
if grep -q 'warning:\|error:' "$log"; then
    echo "clang-tidy: $(grep -c 'warning:\|error:' "$log") findings." >&2
    exit 1
fi
echo "clang-tidy: no findings in ${#files[@]} files."
