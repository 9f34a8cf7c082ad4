#!/usr/bin/env bash
# Whole passes over the shipped templates (data/url.txt) through a stand-in for the web on
# 127.0.0.1 (tavrin_web_standin: per-host latencies from 5 ms to never, a few services that
# answer 503 + Retry-After: 1 before the page), at 50 and at 500 threads with a 2 s limit per
# row. Per seed and thread count it runs two passes (--loop 2) and prints for each the pass
# time, the ideal the same model allows (max(sum of row times / threads, longest row); the
# second pass meets no busy service, which turned away only the first request of a URL), their
# ratio, the retries made, the peak memory and the marks; then a verdict per bar:
#   - first pass time <= 1.1 x ideal, at 50 and at 500 threads;
#   - 500 threads not slower than 50;
#   - peak memory at 500 threads <= 150 MiB;
#   - the second pass (which starts with what the first learned of the services) <= 1.1 x its
#     ideal, at 50 and at 500 threads.
# Nothing but 127.0.0.1 is contacted: tavrin-cli goes through the stand-in as its proxy, so
# curl resolves no host of the templates.
# Usage: bench/pass_scaling.sh [BUILD_DIR] [SEED...]   (default build-bench and seed 1; SEEDS="1 2 3"
#        in the environment works too). A failed bar makes the exit code 1.
#        TAVRIN_CLI=PATH measures another tavrin-cli (an older build, say) against the same stand-in.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build-bench}
shift $(($# > 0 ? 1 : 0))
seeds=("$@")
if [ ${#seeds[@]} -eq 0 ]; then
    read -r -a seeds <<<"${SEEDS:-1}"
fi

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVRIN_BUILD_BENCH=ON -DTAVRIN_BUILD_TESTS=OFF >/dev/null
fi
# Only what this benchmark runs: the window and the other benchmarks are not needed here.
targets=(tavrin_web_standin)
[ -n "${TAVRIN_CLI:-}" ] || targets+=(tavrin-cli)
if ! build_log=$(cmake --build "$build" --parallel "$(nproc)" --target "${targets[@]}" 2>&1); then
    tail -n 20 <<<"$build_log" >&2
    echo "the build failed" >&2
    exit 1
fi

standin_bin=$build/bench/tavrin_web_standin
cli=${TAVRIN_CLI:-$build/bin/tavrin-cli}
templates=$root/data/url.txt
site=http://www.mysite.example/
timeout=2
thread_counts=(50 500)
max_ratio=1.1
max_peak_kb=$((150 * 1024))

work=$(mktemp -d)
# Passes are recorded in a history of the run's own, never in the user's.
export XDG_DATA_HOME=$work/data
standin=
stop_standin() {
    if [ -n "$standin" ]; then
        kill "$standin" 2>/dev/null || true
        wait "$standin" 2>/dev/null || true
        standin=
    fi
}
trap 'stop_standin; rm -rf "$work"' EXIT

# A fresh stand-in for every pass: a busy service turns away only the first request of a URL,
# so a stand-in that had seen a pass already would make the next one easier. Sets standin (its
# process) and port; not to be called in a subshell, or the trap could not stop it.
start_standin() {
    local seed=$1
    port=
    "$standin_bin" --site "$site" --seed "$seed" --port 0 >"$work/standin.out" 2>"$work/standin.err" &
    standin=$!
    for _ in $(seq 100); do
        port=$(sed -n 's/^listening 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/standin.out")
        [ -n "$port" ] && break
        sleep 0.05
    done
    if [ -z "$port" ]; then
        echo "the stand-in did not start:" >&2
        cat "$work/standin.err" >&2
        exit 1
    fi
}

# The value of NAME=VALUE in a line of figures (the last one when there are several lines).
field() { sed -En "s/(^|.*[[:space:]])$1=([^[:space:]]*).*/\2/p" <<<"$2" | tail -n 1; }
calc() { python3 -c "import sys; print($1)" "${@:2}"; }

failures=0
verdict() {
    if [ "$1" = 1 ]; then
        echo "  PASS  $2"
    else
        echo "  FAIL  $2"
        failures=$((failures + 1))
    fi
}

echo "data/url.txt through a stand-in web on 127.0.0.1, --timeout $timeout, site $site"
for seed in "${seeds[@]}"; do
    echo
    echo "seed $seed:"
    declare -A wall=() ideal=() peak=() wall2=() ideal2=()
    for threads in "${thread_counts[@]}"; do
        model=$("$standin_bin" --ideal --templates "$templates" --site "$site" --threads "$threads" \
            --timeout "$timeout" --seed "$seed")
        ideal[$threads]=$(field ideal_s "$model")
        ideal2[$threads]=$(field ideal_s "$("$standin_bin" --ideal --repeat --templates "$templates" --site "$site" \
            --threads "$threads" --timeout "$timeout" --seed "$seed")")
        if [ "$threads" = "${thread_counts[0]}" ]; then
            echo "  model: $(head -n 1 <<<"$model" | cut -d' ' -f1-4); $(sed -n 2p <<<"$model"); $(field total_s "$model") s of rows in all"
        fi

        start_standin "$seed"
        # The pass-stats line goes to stderr; the status lines on stdout are not needed.
        status=0
        "$cli" submit --site "$site" --templates "$templates" --proxy "127.0.0.1:$port" \
            --threads "$threads" --timeout "$timeout" --loop 2 --pass-stats >/dev/null 2>"$work/cli.err" || status=$?
        served=$(curl -s --max-time 5 "http://127.0.0.1:$port/__stats" || true)
        stop_standin
        stats=$(grep '^pass 1 stats: ' "$work/cli.err" | tail -n 1 || true)
        stats2=$(grep '^pass 2 stats: ' "$work/cli.err" | tail -n 1 || true)
        if [ "$status" != 0 ] || [ -z "$stats" ]; then
            echo "  $threads threads: tavrin-cli ended with code $status and no pass figures:"
            sed 's/^/    /' "$work/cli.err" | tail -n 5
            wall[$threads]=
            continue
        fi
        wall[$threads]=$(field seconds "$stats")
        peak[$threads]=$(field peak_kb "$stats")
        retries=$(field retries "$stats")
        ratio=$(calc "f'{float(sys.argv[1]) / float(sys.argv[2]):.2f}'" "${wall[$threads]}" "${ideal[$threads]}")
        printf '  %3d threads: pass %7.2f s  ideal %6.2f s  ratio %5s  retries %s  peak %d MiB  marks √ %s × %s  (%s)\n' \
            "$threads" "${wall[$threads]}" "${ideal[$threads]}" "$ratio" "${retries:-n/a}" \
            "$((${peak[$threads]} / 1024))" "$(field succeeded "$stats")" "$(field failed "$stats")" \
            "marked $(field marked "$stats")"
        wall2[$threads]=$(field seconds "$stats2")
        if [ -n "${wall2[$threads]}" ]; then
            printf '               later pass: %7.2f s  ideal %6.2f s  ratio %5s  retries %s  marks √ %s × %s\n' \
                "${wall2[$threads]}" "${ideal2[$threads]}" \
                "$(calc "f'{float(sys.argv[1]) / float(sys.argv[2]):.2f}'" "${wall2[$threads]}" "${ideal2[$threads]}")" \
                "$(field retries "$stats2")" "$(field succeeded "$stats2")" "$(field failed "$stats2")"
        fi
        # What the stand-in saw (both passes): requests, 503s given, repeated URLs (retries), held requests.
        # Its lateness says whether it kept up: answers that go out late would be charged to the client.
        # The last request to a never-answering host (seconds into the pass) bounds the pass from
        # below at that plus the time limit.
        printf '               stand-in: requests %s  503 %s  repeated %s  held %s (last at %.2f s)  peak connections %s  late avg/max %.1f/%.0f ms  cpu %.1f s\n' \
            "$(field requests "$served")" "$(field busy_503 "$served")" "$(field repeats "$served")" \
            "$(field held "$served")" "$(field last_held_s "$served")" "$(field peak_open "$served")" \
            "$(field late_avg_ms "$served")" "$(field late_max_ms "$served")" "$(field cpu_s "$served")"
    done

    for threads in "${thread_counts[@]}"; do
        if [ -z "${wall[$threads]}" ]; then
            verdict 0 "pass at $threads threads within $max_ratio x ideal (no figures)"
            continue
        fi
        verdict "$(calc "int(float(sys.argv[1]) <= $max_ratio * float(sys.argv[2]))" "${wall[$threads]}" "${ideal[$threads]}")" \
            "pass at $threads threads within $max_ratio x ideal (${wall[$threads]} s <= $max_ratio x ${ideal[$threads]} s)"
    done
    if [ -n "${wall[50]}" ] && [ -n "${wall[500]}" ]; then
        verdict "$(calc "int(float(sys.argv[1]) <= float(sys.argv[2]))" "${wall[500]}" "${wall[50]}")" \
            "500 threads not slower than 50 (${wall[500]} s vs ${wall[50]} s)"
    else
        verdict 0 "500 threads not slower than 50 (no figures)"
    fi
    if [ -n "${wall[500]}" ]; then
        verdict "$((${peak[500]} <= max_peak_kb ? 1 : 0))" \
            "peak memory at 500 threads <= 150 MiB ($((${peak[500]} / 1024)) MiB)"
    else
        verdict 0 "peak memory at 500 threads <= 150 MiB (no figures)"
    fi
    for threads in "${thread_counts[@]}"; do
        if [ -z "${wall2[$threads]:-}" ]; then
            verdict 0 "later pass at $threads threads within $max_ratio x ideal (no figures)"
            continue
        fi
        verdict "$(calc "int(float(sys.argv[1]) <= $max_ratio * float(sys.argv[2]))" "${wall2[$threads]}" "${ideal2[$threads]}")" \
            "later pass at $threads threads within $max_ratio x ideal (${wall2[$threads]} s <= $max_ratio x ${ideal2[$threads]} s)"
    done
done

echo
if [ "$failures" -gt 0 ]; then
    echo "$failures bar(s) failed"
    exit 1
fi
echo "every bar passed"
