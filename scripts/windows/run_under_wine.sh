#!/usr/bin/env bash
# Runs a program of the Windows build under wine: the emulator the Windows build's tests are
# discovered and run with (CMAKE_CROSSCOMPILING_EMULATOR, set by scripts/test.sh --windows).
#   scripts/windows/run_under_wine.sh WINEPREFIX PROGRAM.exe [ARGUMENT...]
# WINEPREFIX is a wine prefix of the build folder's own (made on first use; test.sh makes it
# before the tests run in parallel). The DLLs the programs need are found where they lie: the
# MinGW runtime beside the cross compiler, and the libraries in the cache's Windows prefix
# (TAVRIN_WINDOWS_PREFIX, else $TAVRIN_CACHE/win64, else ~/.cache/tavrin/win64), as the
# toolchain file finds them.
set -euo pipefail
if [ $# -lt 2 ]; then
    echo "usage: $0 WINEPREFIX PROGRAM.exe [ARGUMENT...]" >&2
    exit 2
fi
export WINEPREFIX=$1
shift
# wine's own chatter (fixme:, err: of parts no test uses) would bury the tests' output.
export WINEDEBUG=${WINEDEBUG:--all}
prefix=${TAVRIN_WINDOWS_PREFIX:-${TAVRIN_CACHE:-$HOME/.cache/tavrin}/win64}
runtime=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")
folders=("$runtime" /usr/x86_64-w64-mingw32/lib "$prefix/bin")
path=""
for folder in "${folders[@]}"; do
    path+="${path:+;}Z:${folder//\//\\}"
done
export WINEPATH="$path${WINEPATH:+;$WINEPATH}"
# Qt finds its plugins in the prefix it was built for; wine would not pass QT_PLUGIN_PATH anyway
# (it hands no QT_ variable to Windows programs).
exec wine "$@"
