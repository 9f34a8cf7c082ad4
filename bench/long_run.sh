#!/usr/bin/env bash
# A long looping run must stay correct and must not grow: 50,000 rows, tavrin-cli submit
# --loop 3 --threads 100 against a local server on 127.0.0.1, once as is and once with --json.
# Per pass: wall time, rows marked, √ and ×, resident memory (VmRSS), its peak (VmHWM), threads
# and open files of the CLI, read by the CLI itself once the pass's workers are joined
# (--pass-stats), so the figures never catch the next pass starting. After the run: exit code,
# time from the last pass to the process's end, and what the server still holds for it.
# Bars (a failed bar makes the exit code 1):
#   - every row marked in every pass (and, with --json, 50,000 report lines per pass);
#   - resident memory after pass 3 within 10 % of after pass 1;
#   - threads after pass 3 equal to after pass 1;
#   - a clean end: exit code 0, and the server back to the sockets it had before the run.
# Usage: bench/long_run.sh [BUILD_DIR]   (default build-bench, configured with
#        -DTAVRIN_BUILD_BENCH=ON; the script configures and builds it when missing)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build-bench}
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVRIN_BUILD_BENCH=ON -DTAVRIN_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" --parallel "$(nproc)" --target tavrin-cli tavrin_bench_server >/dev/null

rows=50000
passes=3
threads=100

work=$(mktemp -d)
# Passes are recorded in a history of the run's own, never in the user's.
export XDG_DATA_HOME=$work/data
server=
cleanup() {
    if [ -n "$server" ]; then
        kill "$server" 2>/dev/null || true
        wait "$server" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# A free port on 127.0.0.1: asked of the system, then taken by the server (again if someone
# took it meanwhile).
for _ in 1 2 3 4 5; do
    port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    "$build/bench/tavrin_bench_server" "$port" 2>/dev/null &
    server=$!
    for _ in $(seq 50); do
        curl -s -o /dev/null "http://127.0.0.1:$port/fast/up" && break
        kill -0 "$server" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$server" 2>/dev/null && break
    wait "$server" 2>/dev/null || true
    server=
done
if [ -z "$server" ]; then
    echo "long_run: the bench server could not start" >&2
    exit 2
fi

for i in $(seq 0 $((rows - 1))); do printf 'http://127.0.0.1:%d/fast/%d/{$url}\r\n' "$port" "$i"; done >"$work/templates.txt"

failed=0
for mode in plain json; do
    arguments=(submit --site http://bench.example --templates "$work/templates.txt" --threads "$threads"
               --loop "$passes" --pass-stats)
    title="tavrin-cli submit --loop $passes --threads $threads, $rows rows"
    if [ "$mode" = json ]; then
        arguments+=(--json "$work/report.jsonl")
        title="$title, --json"
    fi
    echo "$title:"
    python3 - "$server" "$rows" "$passes" "$work/report.jsonl" "$mode" "$build/bin/tavrin-cli" "${arguments[@]}" <<'EOF' || failed=1
import os, re, subprocess, sys, time

server, rows, passes, report, mode = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3]), sys.argv[4], sys.argv[5]
command = sys.argv[6:]

def sockets(pid):
    count = 0
    for fd in os.listdir(f"/proc/{pid}/fd"):
        try:
            count += os.readlink(f"/proc/{pid}/fd/{fd}").startswith("socket:")
        except OSError:
            pass
    return count

def thread_count(pid):
    return len(os.listdir(f"/proc/{pid}/task"))

server_before = (sockets(server), thread_count(server))
start = time.monotonic()
cli = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
stats = {}
last_pass_at = None
other = []
pattern = re.compile(r"pass (\d+) stats: (.*)")
for line in cli.stderr:
    found = pattern.fullmatch(line.strip())
    if not found:
        other.append(line.rstrip())
        continue
    stats[int(found.group(1))] = {k: float(v) if "." in v else v for k, v in
                                  (item.split("=") for item in found.group(2).split())}
    last_pass_at = time.monotonic()
code = cli.wait()
ended = time.monotonic()

# The server drops a connection when it reads the client's close; give it a moment.
server_after = (sockets(server), thread_count(server))
for _ in range(50):
    if server_after[0] <= server_before[0]:
        break
    time.sleep(0.1)
    server_after = (sockets(server), thread_count(server))

print("  pass   seconds   marked        √        ×   rss kB  peak kB  threads  fds")
for number in sorted(stats):
    s = stats[number]
    print(f"  {number:4d}  {s['seconds']:8.2f}  {s['marked']:>7}  {s['succeeded']:>7}  {s['failed']:>7}"
          f"  {s['rss_kb']:>7}  {s['peak_kb']:>7}  {s['threads']:>7}  {s['fds']:>3}")
for line in other:
    print("  stderr:", line)
exit_ms = (ended - last_pass_at) * 1000 if last_pass_at else float("nan")
print(f"  whole run {ended - start:.2f} s; exit code {code}, {exit_ms:.0f} ms after the last pass's figures")
print(f"  server sockets before/after the run: {server_before[0]} / {server_after[0]};"
      f" server threads: {server_before[1]} / {server_after[1]}")

ok = True
def verdict(name, good, detail):
    global ok
    ok = ok and good
    print(f"  {'PASS' if good else 'FAIL'}  {name}: {detail}")

every = len(stats) == passes and all(
    s["marked"] == f"{rows}/{rows}" and int(s["succeeded"]) + int(s["failed"]) == rows for s in stats.values())
detail = "yes" if every else "no"
if mode == "json":
    per_pass = {}
    if os.path.exists(report):
        with open(report, encoding="utf-8") as lines:
            for line in lines:
                number = int(re.match(r'\{"pass":(\d+),', line).group(1))
                per_pass[number] = per_pass.get(number, 0) + 1
    report_whole = per_pass == {number: rows for number in range(1, passes + 1)}
    every = every and report_whole
    detail += f"; report lines per pass {[per_pass.get(n, 0) for n in range(1, passes + 1)]}"
verdict("every row marked each pass", every, detail)
if 1 in stats and passes in stats:
    first, last = int(stats[1]["rss_kb"]), int(stats[passes]["rss_kb"])
    growth = (last - first) * 100.0 / first
    verdict(f"RSS pass{passes} vs pass1", abs(growth) <= 10.0, f"{growth:+.1f} % (bar 10 %; {first} -> {last} kB)")
    first, last = stats[1]["threads"], stats[passes]["threads"]
    verdict(f"threads pass1 / pass{passes}", first == last, f"{first} / {last}")
else:
    verdict("figures of pass 1 and the last pass", False, "missing")
clean = code == 0 and server_after[0] <= server_before[0] and server_after[1] == server_before[1]
verdict("clean end", clean, f"exit code {code}, server sockets {server_before[0]} -> {server_after[0]}")
sys.exit(0 if ok else 1)
EOF
done
exit "$failed"
