#!/usr/bin/env bash
# Checks what scripts/windows/package.sh made, under wine, in a new wine prefix of its own
# (build-windows-package/wine-check; nothing of the user's wine is touched):
#   scripts/windows/check_package.sh
# - the zip, unpacked into a folder whose name has Chinese and a space, runs tavrin-cli.exe;
# - the installer installs silently (/S) for the user, into %LOCALAPPDATA%\Programs\Tavrin,
#   with a Start-menu entry and its uninstaller registered under HKEY_CURRENT_USER, and the
#   installed tavrin-cli.exe runs;
# - a url.txt the user changed survives a second installation and the uninstaller, which
#   removes everything else it installed; an unchanged installation is removed whole;
# - with xvfb-run at hand, the unpacked tavrin.exe opens its window on a virtual display (its
#   platform plugin found through qt.conf) and saves a picture of it.
# Prints each check; exits 1 at the first that fails.
set -euo pipefail
TAVRIN_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build="$TAVRIN_ROOT/build-windows-package"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt" 2>/dev/null || true)
zip="$build/tavrin-$version-win64.zip"
setup="$build/tavrin-$version-setup.exe"
if [ -z "$version" ] || [ ! -f "$zip" ] || [ ! -f "$setup" ]; then
    echo "error: no package in $build; run scripts/windows/package.sh first" >&2
    exit 1
fi

export WINEPREFIX="$build/wine-check" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
rm -rf "$WINEPREFIX"
wineboot --init >/dev/null 2>&1
wineserver -w
drive_c="$WINEPREFIX/drive_c"
trap 'wineserver -k 2>/dev/null || true' EXIT

passed() { echo "ok: $*"; }
failed() {
    echo "FAILED: $*" >&2
    exit 1
}
# Runs a Windows program and waits for every program it started (an uninstaller copies itself
# away and runs from there).
run_windows() {
    wine "$@"
    wineserver -w
}
check_version() {
    local program=$1 output
    output=$(wine "$program" --version 2>&1 | tr -d '\r') || failed "$program --version: $output"
    [[ $output == *"$version"* ]] || failed "$program --version printed \"$output\""
    passed "$program --version: $output"
}

# The zip, from a folder no program expects.
unpacked="$drive_c/解压 后"
mkdir -p "$unpacked"
(cd "$unpacked" && cmake -E tar xf "$zip")
check_version "$unpacked/tavrin-$version-win64/tavrin-cli.exe"

# The installer.
home_windows=$(wine cmd /c echo %LOCALAPPDATA% 2>/dev/null | tr -d '\r')
installed=$(winepath -u "$home_windows\\Programs\\Tavrin")
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tavrin'
start_menu=$(winepath -u "$(wine cmd /c echo %APPDATA% 2>/dev/null | tr -d '\r')\\Microsoft\\Windows\\Start Menu\\Programs")
install() {
    run_windows "$setup" /S
    [ -f "$installed/tavrin.exe" ] || failed "the installer put no tavrin.exe into $installed"
}
uninstall() {
    run_windows "$installed/uninstall.exe" /S
}
registered() {
    wine reg query "$key" /v DisplayVersion 2>/dev/null | tr -d '\r' | grep -q "DisplayVersion.*$version"
}

install
check_version "$installed/tavrin-cli.exe"
registered || failed "no uninstaller entry of version $version under $key"
compgen -G "$start_menu/*.lnk" >/dev/null || failed "no Start-menu entry in $start_menu"
cmp -s "$installed/url.txt" "$TAVRIN_ROOT/data/url.txt" || failed "the installed url.txt is not the shipped one"
passed "installed into $installed, registered under HKCU, Start-menu entry made"

# A library the user changed stays.
echo "http://changed.test/{\$url}" >>"$installed/url.txt"
cp "$installed/url.txt" "$build/url.txt.changed"
install
cmp -s "$installed/url.txt" "$build/url.txt.changed" || failed "a second installation replaced the changed url.txt"
uninstall
cmp -s "$installed/url.txt" "$build/url.txt.changed" || failed "the uninstaller removed the changed url.txt"
left=$(cd "$installed" && find . -type f | sort | tr '\n' ' ')
[ "$left" = "./url.txt " ] || failed "the uninstaller left $left"
! registered || failed "the uninstaller left its entry under $key"
! compgen -G "$start_menu/*.lnk" >/dev/null || failed "the uninstaller left the Start-menu entry"
rm -f "$build/url.txt.changed"
passed "a changed url.txt survives reinstalling and uninstalling; nothing else is left"

# An unchanged installation goes whole.
rm -rf "$installed"
install
uninstall
[ ! -e "$installed" ] || failed "the uninstaller left $(cd "$installed" && find . | tr '\n' ' ')"
passed "an unchanged installation is removed whole"

if command -v xvfb-run >/dev/null 2>&1; then
    picture="$drive_c/window.png"
    rm -f "$picture"
    (cd "$unpacked/tavrin-$version-win64" &&
        timeout 180 xvfb-run -a -s "-screen 0 1280x1024x24" wine tavrin.exe --screenshot 'C:\window.png' >/dev/null 2>&1) || true
    [ -s "$picture" ] || failed "the unpacked tavrin.exe saved no picture of its window"
    cp "$picture" "$build/window-under-wine.png"
    passed "the unpacked tavrin.exe opened its window ($build/window-under-wine.png)"
fi
echo "All package checks passed."
