#!/usr/bin/env bash
# The cost of the history, in figures:
#   - recording: a 10,000-row pass at 50 threads against a local server that answers at once
#     (the hardest case: the pass is all processor, the history competes for it), with the
#     history and with --no-history (median of 10 alternating rounds); bar: the pass at most
#     5 % slower (the whole run, with the last commit, is printed too);
#   - reading: `tavrin-cli history` over 1,000,000 recorded checks (10,000 templates, 100 runs);
#     bar: under 1 s; the same with --site and --runs 10, and `report --last`;
#   - size: bytes on disk per recorded check; bar: at most 200.
# Usage: bench/history_bench.sh [BUILD_DIR]   (default build-bench, configured with
#        -DTAVRIN_BUILD_BENCH=ON; the script configures and builds it when missing)
# A failed bar makes the exit code 1. Nothing but 127.0.0.1 is contacted.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build-bench}
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVRIN_BUILD_BENCH=ON -DTAVRIN_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" --parallel "$(nproc)" --target tavrin-cli tavrin_bench_server tavrin_history_fill >/dev/null

port=18124
work=$(mktemp -d)
export XDG_DATA_HOME=$work/data
"$build/bench/tavrin_bench_server" "$port" &
server=$!
trap 'kill $server 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 50); do
    curl -s -o /dev/null "http://127.0.0.1:$port/fast/up" && break
    sleep 0.1
done
cli=$build/bin/tavrin-cli
failed=0
bar() { # name, verdict (0 or 1)
    if [ "$2" = 1 ]; then echo "  bar met: $1"; else echo "  BAR MISSED: $1"; failed=1; fi
}
timed() {
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    python3 -c "import sys; print(float(sys.argv[2]) - float(sys.argv[1]))" "$start" "$end"
}
median() { python3 -c "import sys, statistics; print(statistics.median(map(float, sys.argv[1:])))" "$@"; }

rows=10000
for i in $(seq 0 $((rows - 1))); do printf 'http://127.0.0.1:%d/fast/%d/{$url}\r\n' "$port" "$i"; done >"$work/templates.txt"
echo "Recording: 10,000 rows, 50 threads, local server answering at once (median of 10 alternating rounds)"
# The pass is timed by tavrin-cli itself (--pass-stats: from its start until its last check has
# reported); the whole run adds the start, the last commit and the exit.
pass_seconds() { "$cli" submit --site http://bench.example --templates "$work/templates.txt" --threads 50 --pass-stats "$@" 2>&1 >/dev/null | sed -n 's/.* seconds=\([0-9.]*\).*/\1/p'; }
with=()
without=()
run_with=()
run_without=()
for round in $(seq 10); do
    start=$(date +%s.%N)
    without+=("$(pass_seconds --no-history)")
    middle=$(date +%s.%N)
    with+=("$(pass_seconds --db "$work/recorded.sqlite")")
    end=$(date +%s.%N)
    run_without+=("$(python3 -c "import sys; print(float(sys.argv[2]) - float(sys.argv[1]))" "$start" "$middle")")
    run_with+=("$(python3 -c "import sys; print(float(sys.argv[2]) - float(sys.argv[1]))" "$middle" "$end")")
done
percent() { python3 -c "import sys; print(f'{(float(sys.argv[1]) / float(sys.argv[2]) - 1) * 100:.1f}')" "$1" "$2"; }
p_without=$(median "${without[@]}")
p_with=$(median "${with[@]}")
r_without=$(median "${run_without[@]}")
r_with=$(median "${run_with[@]}")
overhead=$(percent "$p_with" "$p_without")
printf '  pass:      --no-history %.3f s, with history %.3f s  (%s %%)\n' "$p_without" "$p_with" "$overhead"
printf '  whole run: --no-history %.3f s, with history %.3f s  (%s %%)\n' "$r_without" "$r_with" "$(percent "$r_with" "$r_without")"
checks=$(python3 -c "import sqlite3, sys; print(sqlite3.connect(sys.argv[1]).execute('select count(*) from checks').fetchone()[0])" "$work/recorded.sqlite")
echo "  recorded: $checks checks in 10 runs"
bar "recording costs a pass at most 5 %" "$(python3 -c "import sys; print(int(float(sys.argv[1]) <= 5.0))" "$overhead")"

echo "Reading: 1,000,000 recorded checks (10,000 templates, 100 runs)"
"$build/bench/tavrin_history_fill" "$work/million.sqlite" 10000 100 | sed 's/^/  /'
# The first read is a cold one for SQLite's cache, though not for the kernel's.
t=$(timed "$cli" history --db "$work/million.sqlite")
printf '  history                          %.2f s\n' "$t"
bar "history over 1,000,000 checks within 1 s" "$(python3 -c "import sys; print(int(float(sys.argv[1]) < 1.0))" "$t")"
t=$(timed "$cli" history --db "$work/million.sqlite" --site www.mysite.example --runs 10 --csv)
printf '  history --site --runs 10 --csv   %.2f s\n' "$t"
t=$(timed "$cli" report --last --html "$work/report.html" --db "$work/million.sqlite")
printf '  report --last                    %.2f s  (%s bytes of HTML)\n' "$t" "$(stat -c %s "$work/report.html")"

bytes=$(stat -c %s "$work/million.sqlite")
[ -f "$work/million.sqlite-wal" ] && bytes=$((bytes + $(stat -c %s "$work/million.sqlite-wal")))
per=$((bytes / 1000000))
echo "Size: $bytes bytes for 1,000,000 checks: $per bytes a check"
bar "at most 200 bytes on disk per check" "$([ "$per" -le 200 ] && echo 1 || echo 0)"
exit $failed
