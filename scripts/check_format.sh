#!/usr/bin/env bash
# Checks that every C++ file git knows is formatted as .clang-format says; lists the files that
# are not and exits 1. `scripts/check_format.sh --fix` formats them instead.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then
    clang-format -i "${files[@]}"
    exit 0
fi
bad=()
for file in "${files[@]}"; do
    if ! clang-format --dry-run --Werror "$file" >/dev/null 2>&1; then
        bad+=("$file")
    fi
done
if [ ${#bad[@]} -gt 0 ]; then
    echo "Not formatted as .clang-format says (scripts/check_format.sh --fix formats them):" >&2
    printf '  %s\n' "${bad[@]}" >&2
    exit 1
fi
echo "format: ${#files[@]} files as .clang-format says"
