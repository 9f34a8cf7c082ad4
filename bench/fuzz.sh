#!/usr/bin/env bash
# Fuzzes the parsers of the core with libFuzzer under AddressSanitizer + UndefinedBehaviorSanitizer.
#   bench/fuzz.sh [SECONDS]    seconds per target, default 60
# Installs clang and its fuzzer runtime when missing, builds the targets of fuzz/ into
# build-fuzz/ and runs them one after another, each on a scratch copy of its seed corpus
# (fuzz/corpus/<target>/: the committed seeds stay small). Prints one line per target and exits
# non-zero when any target found a crash, a leak, a hang or ran out of memory. The logs and the
# inputs that caused a failure stay in build-fuzz/runs/<time>/<target>/.
set -euo pipefail
TAVRIN_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=../scripts/common.sh
source "$TAVRIN_ROOT/scripts/common.sh"

seconds=${1:-60}
if ! [[ $seconds =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: $0 [SECONDS]   (seconds per target, a whole number above 0)" >&2
    exit 2
fi

# clang-14 and libclang-rt-14-dev (libFuzzer, ASan, UBSan) come from Debian 12; the rest is
# what the core needs to configure and build.
install_missing clang clang-14 libclang-rt-14-dev cmake ninja-build pkg-config \
    libcurl4-openssl-dev libcli11-dev

build="$TAVRIN_ROOT/build-fuzz"
if [ ! -f "$build/CMakeCache.txt" ]; then
    CC=clang CXX=clang++ cmake -S "$TAVRIN_ROOT" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DTAVRIN_BUILD_GUI=OFF -DTAVRIN_BUILD_TESTS=OFF -DTAVRIN_BUILD_FUZZ=ON >/dev/null
fi
cmake --build "$build" --parallel "$(nproc)" --target tavrin_fuzz >/dev/null

targets=(fuzz_template_file fuzz_template_import fuzz_classify_response fuzz_page_charset fuzz_page_evidence
    fuzz_fetch_block fuzz_update_notice fuzz_url_parts fuzz_proxy_address fuzz_number_text fuzz_gbk_text
    fuzz_site_address)

runs="$build/runs/$(date +%Y%m%d-%H%M%S)"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:symbolize=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# The value of "name: value" in libFuzzer's final statistics, or "?".
final_stat() {
    local value
    value=$(sed -n "s/^stat::$1: *//p" "$2" | tail -n 1)
    echo "${value:-?}"
}

# The value after a "cov:" or "ft:" label in libFuzzer's last progress line, or "?".
last_progress() {
    local value
    value=$(grep -E '^#[0-9]+' "$2" | tail -n 1 | sed -n "s/.* $1: \([0-9]*\).*/\1/p")
    echo "${value:-?}"
}

echo "libFuzzer, $seconds s per target, one after another (logs: $runs)"
printf '%-24s %12s %8s %8s  %s\n' target runs cov ft result
failed=0
for target in "${targets[@]}"; do
    out="$runs/$target"
    mkdir -p "$out" "$scratch/$target"
    cp -R "$TAVRIN_ROOT/fuzz/corpus/$target/." "$scratch/$target/"
    status=0
    "$build/fuzz/$target" "$scratch/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -detect_leaks=1 -print_final_stats=1 -artifact_prefix="$out/" >"$out/log.txt" 2>&1 || status=$?

    result=ok
    if [ "$status" -ne 0 ]; then
        failed=1
        kind=$(grep -m 1 -oE 'ERROR: (libFuzzer: [a-z0-9 -]+|AddressSanitizer: [a-zA-Z-]+|LeakSanitizer: [a-z ]+)|runtime error: .*|invariant broken: .*' \
            "$out/log.txt" || true)
        artifact=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$out/log.txt" | tail -n 1)
        result="FAILED (exit $status): ${kind:-see log} ${artifact:+-> $artifact}"
    fi
    printf '%-24s %12s %8s %8s  %s\n' "$target" "$(final_stat number_of_executed_units "$out/log.txt")" \
        "$(last_progress cov "$out/log.txt")" "$(last_progress ft "$out/log.txt")" "$result"
    rm -rf "${scratch:?}/$target"
done

if [ "$failed" -ne 0 ]; then
    echo "A target failed; its log and the input that caused it are in $runs." >&2
    exit 1
fi
