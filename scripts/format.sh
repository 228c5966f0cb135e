#!/usr/bin/env bash
# The committed .clang-format over every tracked C++ source.
#   --check   list the files that differ from it and fail when there are any (CI)
#   --report  list them and succeed, while the check is not yet enforced
#   --fix     rewrite the files that differ
set -euo pipefail
cd "$(dirname "$0")/.."
mode="${1:---check}"
case "$mode" in
--check | --report | --fix) ;;
*)
    echo "usage: scripts/format.sh [--check | --report | --fix]" >&2
    exit 2
    ;;
esac
mapfile -t files < <(git ls-files -- '*.cpp' '*.h')
drifted=()
for f in "${files[@]}"; do
    if ! clang-format --dry-run --Werror "$f" >/dev/null 2>&1; then
        drifted+=("$f")
    fi
done
if [ ${#drifted[@]} -eq 0 ]; then
    echo "All ${#files[@]} sources follow .clang-format."
    exit 0
fi
if [ "$mode" = "--fix" ]; then
    clang-format -i "${drifted[@]}"
    printf 'Formatted: %s\n' "${drifted[@]}"
    exit 0
fi
printf 'Not formatted: %s\n' "${drifted[@]}"
echo "${#drifted[@]} of ${#files[@]} sources differ from .clang-format (scripts/format.sh --fix)."
[ "$mode" = "--report" ]
