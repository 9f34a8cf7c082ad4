#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless.
#   ./scripts/test.sh           plain build in build-test/
#   ./scripts/test.sh --asan    AddressSanitizer + UndefinedBehaviorSanitizer in build-asan/
#   ./scripts/test.sh --tsan    ThreadSanitizer (GUI-free tests) in build-tsan/
#   ./scripts/test.sh --windows the Windows build (MinGW-w64) in build-windows/, its tests run
#                               under wine; the libraries come from scripts/windows/build_deps.sh
#                               (cached). TAVRIN_WINDOWS_GUI=ON builds the window and its tests too
#                               (needs the deps script's qt step).
# TAVRIN_WERROR=ON in the environment makes compiler warnings errors (CI does that).
set -euo pipefail
TAVRIN_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=common.sh
source "$TAVRIN_ROOT/scripts/common.sh"

mode=plain
case "${1:-}" in
    "") ;;
    --asan) mode=address ;;
    --tsan) mode=thread ;;
    --windows) mode=windows ;;
    *) echo "usage: $0 [--asan|--tsan|--windows]" >&2; exit 2 ;;
esac

if [ "$mode" = windows ]; then
    exec "$TAVRIN_ROOT/scripts/windows/test.sh"
fi

install_missing
cmake_args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo "-DTAVRIN_WERROR=${TAVRIN_WERROR:-OFF}")
case "$mode" in
    plain) build_dir="$TAVRIN_ROOT/build-test" ;;
    address) build_dir="$TAVRIN_ROOT/build-asan"; cmake_args+=(-DTAVRIN_SANITIZE=address) ;;
    # Qt is not built for ThreadSanitizer: its reports would be about Qt, not this program.
    thread) build_dir="$TAVRIN_ROOT/build-tsan"; cmake_args+=(-DTAVRIN_SANITIZE=thread -DTAVRIN_BUILD_GUI=OFF) ;;
esac
configure_and_build "$build_dir" "${cmake_args[@]}"

# Tests get a home and a runtime folder of their own, and no display.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/home" "$scratch/runtime"
chmod 0700 "$scratch/runtime"
export HOME="$scratch/home" XDG_RUNTIME_DIR="$scratch/runtime" QT_QPA_PLATFORM=offscreen
unset DISPLAY WAYLAND_DISPLAY
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

cd "$build_dir"
ctest --output-on-failure --parallel "$(nproc)" --timeout 600
