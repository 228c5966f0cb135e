#!/usr/bin/env bash
# clang-tidy with the project's .clang-tidy (bug-prone patterns, needless copies) over the
# program's sources, tests, benchmarks and fuzz targets, or over the files given as arguments.
# Uses the compile commands of ./build (made by scripts/build.sh); a file the build does not
# compile (the fuzz targets) borrows the commands of its nearest neighbour. Fails when clang-tidy
# reports anything or cannot compile a file, and says which.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
if [ ! -f build/compile_commands.json ]; then
    ./scripts/build.sh
fi
if [ $# -gt 0 ]; then
    files=("$@")
else
    mapfile -t files < <(git ls-files -- 'src/*.cpp' 'tests/*.cpp' 'bench/*.cpp' 'fuzz/*.cpp')
fi
log="$(mktemp -d)"
trap 'rm -rf "$log"' EXIT
# One file per clang-tidy run, two at a time: the build machines are small. The build's commands
# are GCC's; clang does not know some of its warning switches. Each run's output and status go
# to a file of their own, so a file that does not compile is named, not lost in the others.
export log
printf '%s\0' "${files[@]}" | xargs -0 -n 1 -P "${TIDY_JOBS:-2}" sh -c '
    out="$log/$(printf %s "$1" | tr / _)"
    if ! clang-tidy -p build --quiet --extra-arg=-Wno-unknown-warning-option "$1" \
        >"$out" 2>"$out.err"; then
        echo "$1" >>"$log/failed"
    fi
    grep -v "^[0-9]* warnings\? generated\.$" "$out" || true
' tidy-one
findings=$(find "$log" -type f ! -name '*.err' ! -name failed -exec cat {} + \
    | grep -c 'warning:\|error:' || true)
if [ -f "$log/failed" ]; then
    echo "clang-tidy: $findings findings; could not check $(wc -l <"$log/failed") files:" >&2
    sed 's/^/  /' "$log/failed" >&2
    exit 1
fi
if [ "$findings" -gt 0 ]; then
    echo "clang-tidy: $findings findings." >&2
    exit 1
fi
echo "clang-tidy: no findings in ${#files[@]} files."
