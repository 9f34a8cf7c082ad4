#!/usr/bin/env bash
# Builds tavrin.exe and tavrin-cli.exe for 64-bit Windows and packs them with all they need:
#   scripts/windows/package.sh [CMAKE_OPTION...]
# (options such as -DTAVRIN_MAKER_HOST=... go to the configure). Writes, in build-windows-package/:
#   tavrin-VERSION-win64.zip    the program's folder, to unpack and run from anywhere
#   tavrin-VERSION-setup.exe    an installer for the user who runs it (packaging/windows/tavrin.nsi)
# VERSION is the project's version (CMake's project()). The Windows libraries come from
# scripts/windows/build_deps.sh, which this runs first (it skips what is built already).
#
# The folder holds the programs, the DLLs they load (found by following their imports through
# the libraries' prefix and the compiler's runtime; a DLL found in neither, that is no part of
# Windows, stops the script), Qt's platform and style plugins, Qt's Chinese translation, qt.conf
# (which makes Qt look for those two in this folder) and the starting lists url.txt and
# ping.txt, which the programs read from their own folder.
set -euo pipefail
TAVRIN_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# shellcheck source=../common.sh
source "$TAVRIN_ROOT/scripts/common.sh"
# shellcheck source=../debian_sources.sh
source "$TAVRIN_ROOT/scripts/debian_sources.sh"

install_missing "${TAVRIN_WINDOWS_PACKAGES[@]}"
"$TAVRIN_ROOT/scripts/windows/build_deps.sh" headers curl expat sqlite html-parser qt

triplet=x86_64-w64-mingw32
prefix="$(tavrin_cache_dir)/win64"
export TAVRIN_WINDOWS_PREFIX="$prefix"
build="$TAVRIN_ROOT/build-windows-package"
jobs=${TAVRIN_JOBS:-$(nproc)}

launcher=()
if command -v ccache >/dev/null 2>&1; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$TAVRIN_ROOT" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$TAVRIN_ROOT/cmake/toolchains/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DTAVRIN_BUILD_TESTS=OFF "${launcher[@]}" "$@"
nice cmake --build "$build" --parallel "$jobs" --target tavrin tavrin-cli

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
if [ -z "$version" ]; then
    echo "error: no project version in $build/CMakeCache.txt" >&2
    exit 1
fi
name="tavrin-$version-win64"
stage="$build/package/$name"
rm -rf "$build/package"
mkdir -p "$stage"

# The programs and their lists.
cp "$build/bin/tavrin.exe" "$build/bin/tavrin-cli.exe" "$stage/"
cp "$TAVRIN_ROOT/data/url.txt" "$TAVRIN_ROOT/data/ping.txt" "$TAVRIN_ROOT/packaging/windows/qt.conf" "$stage/"

# Qt's plugins: the platform (without it no window opens) and the native styles.
mkdir -p "$stage/plugins/platforms"
cp "$prefix/plugins/platforms/qwindows.dll" "$stage/plugins/platforms/"
if compgen -G "$prefix/plugins/styles/*.dll" >/dev/null; then
    mkdir -p "$stage/plugins/styles"
    cp "$prefix"/plugins/styles/*.dll "$stage/plugins/styles/"
fi

# Qt's Chinese texts for its dialogs, from the host's Qt translations (the same version).
translation=$(dpkg -L qt6-translations-l10n | grep '/qtbase_zh_CN\.qm$' | head -n 1)
if [ -z "$translation" ]; then
    echo "error: qt6-translations-l10n holds no qtbase_zh_CN.qm" >&2
    exit 1
fi
mkdir -p "$stage/translations"
cp "$translation" "$stage/translations/"

# The DLLs, found by following imports. Windows' own DLLs are those the compiler has an import
# library for (libkernel32.a for KERNEL32.dll ...), and the api-ms-win-* sets.
dll_folders=("$prefix/bin" "$(dirname "$("$triplet-g++-posix" -print-libgcc-file-name)")"
    "/usr/$triplet/lib")
is_windows_dll() {
    local lower=${1,,}
    [[ $lower == api-ms-win-* ]] || [ -f "/usr/$triplet/lib/lib${lower%.dll}.a" ]
}
find_dll() {
    local folder candidate
    for folder in "${dll_folders[@]}"; do
        candidate=$(find "$folder" -maxdepth 1 -iname "$1" -print -quit 2>/dev/null)
        if [ -n "$candidate" ]; then
            echo "$candidate"
            return 0
        fi
    done
    return 1
}
imports_of() {
    "$triplet-objdump" -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p'
}
pending=("$stage/tavrin.exe" "$stage/tavrin-cli.exe" "$stage"/plugins/*/*.dll)
while [ ${#pending[@]} -gt 0 ]; do
    binary=${pending[0]}
    pending=("${pending[@]:1}")
    for dll in $(imports_of "$binary"); do
        if is_windows_dll "$dll" || [ -n "$(find "$stage" -maxdepth 1 -iname "$dll" -print -quit)" ]; then
            continue
        fi
        if ! found=$(find_dll "$dll"); then
            echo "error: $(basename "$binary") needs $dll, which is neither in ${dll_folders[*]} nor part of Windows" >&2
            exit 1
        fi
        cp "$found" "$stage/"
        pending+=("$stage/$(basename "$found")")
    done
done
# Symbols only make the download larger.
find "$stage" \( -iname '*.exe' -o -iname '*.dll' \) -exec "$triplet-strip" --strip-unneeded {} +

zip="$build/$name.zip"
rm -f "$zip"
(cd "$build/package" && cmake -E tar cf "$zip" --format=zip "$name")

# The uninstaller's list: every file and folder the installer puts there. The lists url.txt and
# ping.txt are left out: the installer keeps a changed copy (see the .nsi).
uninstall_list="$build/package/uninstall_list.nsh"
# shellcheck disable=SC2016 # $INSTDIR is the installer's, not the shell's
(
    cd "$stage"
    find . -type f ! -path ./url.txt ! -path ./ping.txt | sort | sed 's|^\./||; s|/|\\|g; s|.*|  Delete "$INSTDIR\\&"|'
    find . -mindepth 1 -type d | sort -r | sed 's|^\./||; s|/|\\|g; s|.*|  RMDir "$INSTDIR\\&"|'
) >"$uninstall_list"
setup="$build/tavrin-$version-setup.exe"
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DSTAGING="$stage" \
    -DUNINSTALL_LIST="$uninstall_list" -DOUTFILE="$setup" "$TAVRIN_ROOT/packaging/windows/tavrin.nsi"

echo "Packed $(du -sh "$stage" | cut -f1) of program:"
echo "  $zip ($(du -h "$zip" | cut -f1))"
echo "  $setup ($(du -h "$setup" | cut -f1))"
