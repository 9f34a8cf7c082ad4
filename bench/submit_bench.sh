#!/usr/bin/env bash
# Submission throughput against a local server on 127.0.0.1, in one run:
#   - 10,000 rows at 50 threads: tavrin-cli submit, curl --parallel --parallel-max 50, and
#     xargs -P 50 curl over the same URLs (requests per second);
#   - 500 rows at 50 threads against a server that answers after 100 ms (ideal: 1.0 s);
#   - the same 10,000-row pass in the real window (offscreen): longest UI stall, peak memory.
# Usage: bench/submit_bench.sh [BUILD_DIR]   (default build-bench, configured with
#        -DTAVRIN_BUILD_BENCH=ON; the script configures and builds it when missing)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build-bench}
if [ ! -x "$build/bench/tavrin_bench_server" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVRIN_BUILD_BENCH=ON -DTAVRIN_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" --parallel "$(nproc)" >/dev/null

port=18123
work=$(mktemp -d)
# Passes are recorded in a history of the run's own, never in the user's.
export XDG_DATA_HOME=$work/data
"$build/bench/tavrin_bench_server" "$port" &
server=$!
trap 'kill $server 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 50); do
    curl -s -o /dev/null "http://127.0.0.1:$port/fast/up" && break
    sleep 0.1
done

rows=10000
seconds() { python3 -c "import sys; print(f'{float(sys.argv[1]):.2f}')" "$1"; }
rate() { python3 -c "import sys; print(f'{int(sys.argv[1]) / float(sys.argv[2]):8.0f}')" "$1" "$2"; }
timed() {
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    python3 -c "import sys; print(float(sys.argv[2]) - float(sys.argv[1]))" "$start" "$end"
}

for i in $(seq 0 $((rows - 1))); do printf 'http://127.0.0.1:%d/fast/%d/{$url}\r\n' "$port" "$i"; done >"$work/templates.txt"
sed 's/{\$url}\r$/bench.example/' "$work/templates.txt" >"$work/urls.txt"
awk '{ print "url = \"" $0 "\"\noutput = \"/dev/null\"" }' "$work/urls.txt" >"$work/curl.conf"

median() { python3 -c "import sys, statistics; print(statistics.median(map(float, sys.argv[1:])))" "$@"; }
echo "10,000 rows, 50 threads, local server (median of 3 alternating rounds):"
ours=()
theirs=()
for round in 1 2 3; do
    ours+=("$(timed "$build/bin/tavrin-cli" submit --site http://bench.example --templates "$work/templates.txt" --threads 50)")
    theirs+=("$(timed curl -s --parallel --parallel-max 50 -K "$work/curl.conf")")
done
t=$(median "${ours[@]}")
echo "  tavrin-cli submit            $(rate $rows "$t") req/s  ($(seconds "$t") s, whole program run)"
t=$(median "${theirs[@]}")
echo "  curl --parallel (50)         $(rate $rows "$t") req/s  ($(seconds "$t") s)"
t=$(timed sh -c "xargs -P 50 -n 1 curl -s -o /dev/null <'$work/urls.txt'")
echo "  xargs -P 50 curl             $(rate $rows "$t") req/s  ($(seconds "$t") s)"

for i in $(seq 0 499); do printf 'http://127.0.0.1:%d/slow/%d/{$url}\r\n' "$port" "$i"; done >"$work/slow.txt"
t=$(timed "$build/bin/tavrin-cli" submit --site http://bench.example --templates "$work/slow.txt" --threads 50)
echo "500 rows, 50 threads, 100 ms answers: $(seconds "$t") s  (ideal 1.0 s, bar 1.3 s)"

echo "10,000 rows in the window (offscreen):"
QT_QPA_PLATFORM=offscreen "$build/bench/tavrin_window_pass_bench" "http://127.0.0.1:$port/fast" "$rows" 50 2>/dev/null | sed 's/^/  /'
