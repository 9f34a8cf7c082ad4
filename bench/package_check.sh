#!/usr/bin/env bash
# bench/package_check.sh [BUILD_DIR]: builds the Debian package with `cpack -G DEB` (in BUILD_DIR,
# default build-package/), installs it on this machine with apt, runs the installed programs
# (`tavrin-cli --version`, and `tavrin --screenshot` on the offscreen platform), validates the
# installed desktop entry and metainfo, and removes the package again together with anything apt
# brought in for it, so that the machine is left with the packages it had. Prints every step.
# Needs root (or sudo). Not part of CI: it installs into the system.
set -euo pipefail
TAVRIN_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=../scripts/common.sh
source "$TAVRIN_ROOT/scripts/common.sh"
build=${1:-$TAVRIN_ROOT/build-package}

step() { printf '\n== %s\n' "$*"; }
packages_now() { dpkg-query -W -f='${Package}:${Architecture} ${db:Status-Abbrev}\n' | awk '$2 ~ /^.i/ {print $1}' | sort; }

if dpkg-query -W -f='${Status}' tavrin 2>/dev/null | grep -q 'install ok installed'; then
    echo "tavrin is installed already; remove it first, so that this check can leave the machine as it found it." >&2
    exit 1
fi

step "packages the build needs"
install_missing

step "building in $build (Release, without tests)"
cmake -S "$TAVRIN_ROOT" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVRIN_BUILD_TESTS=OFF \
    -DTAVRIN_BUILD_BENCH=OFF -DTAVRIN_BUILD_FUZZ=OFF >/dev/null
cmake --build "$build" --parallel "$(nproc)" >/dev/null

step "cpack -G DEB"
rm -f "$build"/tavrin_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/tavrin_*.deb)
echo "$deb ($(du -h "$deb" | cut -f1))"
dpkg-deb --field "$deb" Package Version Architecture Maintainer Depends Recommends Section
echo "files:"
dpkg-deb --contents "$deb" | awk '$NF !~ /\/$/ {print "  " $NF}'
if dpkg-deb --contents "$deb" | awk '{print $NF}' | grep -Ei 'test|bench|fuzz|standin'; then
    echo "FAIL: the package holds test or benchmark files" >&2
    exit 1
fi

scratch=$(mktemp -d)
packages_now >"$scratch/before"
installed=no
# Whatever happens below, the package and what came with it go again. What came with it is
# what apt installed in that one command, so a package installed meanwhile by someone else
# stays (and then shows in the comparison at the end).
restore() {
    local code=$?
    if [ "$installed" = yes ]; then
        step "removing the package and what came with it"
        [ -f "$scratch/after" ] || packages_now >"$scratch/after"
        mapfile -t added < <(comm -13 "$scratch/before" "$scratch/after")
        added+=(tavrin)
        echo "removing: ${added[*]}"
        as_root env DEBIAN_FRONTEND=noninteractive apt-get purge -y -q "${added[@]}" >/dev/null
        packages_now >"$scratch/end"
        if cmp -s "$scratch/before" "$scratch/end"; then
            echo "the machine has the packages it had before the check"
        else
            echo "FAIL: the installed packages differ from before:" >&2
            diff "$scratch/before" "$scratch/end" >&2 || true
            code=1
        fi
    fi
    rm -rf "$scratch"
    exit "$code"
}
trap restore EXIT

step "apt-get install $deb"
installed=yes
as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$deb" >"$scratch/apt.log" 2>&1 ||
    { cat "$scratch/apt.log" >&2; exit 1; }
packages_now >"$scratch/after"
echo "installed: $(comm -13 "$scratch/before" "$scratch/after" | tr '\n' ' ')"

step "the installed programs"
mkdir -p "$scratch/home" "$scratch/runtime"
chmod 0700 "$scratch/runtime"
run() { env -u DISPLAY -u WAYLAND_DISPLAY HOME="$scratch/home" XDG_RUNTIME_DIR="$scratch/runtime" "$@"; }
echo "tavrin-cli is $(command -v tavrin-cli)"
echo "\$ tavrin-cli --version"
run tavrin-cli --version
echo "\$ QT_QPA_PLATFORM=offscreen tavrin --screenshot window.png"
# The start-up update check reads from a port of this machine where nothing listens.
run env QT_QPA_PLATFORM=offscreen timeout 60 tavrin --screenshot "$scratch/window.png" \
    --update-url http://127.0.0.1:1/update.txt
if [ "$(head -c 8 "$scratch/window.png" | od -An -tx1 | tr -d ' \n')" != 89504e470d0a1a0a ]; then
    echo "FAIL: tavrin --screenshot wrote no PNG" >&2
    exit 1
fi
cp "$scratch/window.png" "$build/package-window.png"
echo "wrote a PNG of the window: $build/package-window.png ($(stat -c %s "$scratch/window.png") bytes)"

step "the installed desktop entry and metainfo"
desktop=$(dpkg -L tavrin | grep '^/usr/share/applications/.*\.desktop$')
metainfo=$(dpkg -L tavrin | grep '^/usr/share/metainfo/.*\.xml$')
echo "\$ desktop-file-validate $desktop"
findings=$(desktop-file-validate "$desktop" 2>&1) || { echo "$findings" >&2; exit 1; }
[ -z "$findings" ] || { echo "FAIL: $findings" >&2; exit 1; }
echo "no findings"
echo "\$ appstreamcli validate --no-net $metainfo"
appstreamcli validate --no-net "$metainfo"
echo
echo "package check passed"
