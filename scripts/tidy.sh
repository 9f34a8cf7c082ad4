#!/usr/bin/env bash
# Runs clang-tidy with the project's .clang-tidy over every source file of a configured build
# (default build-test; configure it first, e.g. with ./scripts/test.sh) and prints what it finds.
# Exits 1 when there is a finding.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build-test}
log=$(mktemp)
trap 'rm -f "$log"' EXIT
# Generated sources (Qt's moc output) are not ours to tidy.
run-clang-tidy-14 -p "$build" -quiet -j "$(nproc)" '^(?!.*autogen).*/(src|tests|bench|fuzz)/.*\.cpp$' >"$log" 2>&1 || true
findings=$(sed 's/\x1b\[[0-9;]*m//g' "$log" | grep -E '(warning|error): ' | sort -u || true)
if [ -n "$findings" ]; then
    echo "$findings"
    echo "$(wc -l <<<"$findings") finding(s)" >&2
    exit 1
fi
echo "clang-tidy: nothing found"
