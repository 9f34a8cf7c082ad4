# shellcheck shell=bash
# Shared by run.sh and test.sh: installs what is missing from Debian's packages.

# Packages the build and the tests need: Qt's Chinese texts for its dialogs
# (qt6-translations-l10n), the validators of the installed desktop entry and metainfo, what
# `cpack -G DEB` needs to find the package's dependencies (dpkg-shlibdeps in dpkg-dev, and
# file), a virtual display to run the window without a desktop (xvfb-run, which needs xauth),
# and what fetches the HTML parser's source from Debian's archive the first time a build is
# configured and mends it (scripts/fetch_html_parser.sh: Debian's archive keys, dpkg-source in
# dpkg-dev; patch for cmake/html-parser/*.patch).
TAVRIN_PACKAGES=(
    build-essential cmake ninja-build pkg-config clang-format
    qt6-base-dev qt6-base-dev-tools libgl-dev
    qt6-webengine-dev
    libcurl4-openssl-dev libcli11-dev libcpp-httplib-dev libssl-dev curl
    libgtest-dev libgmock-dev
    nlohmann-json3-dev libsqlite3-dev libexpat1-dev
    fonts-wqy-zenhei
    qt6-translations-l10n
    desktop-file-utils appstream
    dpkg-dev file debian-archive-keyring patch
    xvfb xauth
)

# What the Windows build needs besides (installed by the Windows scripts only, so that the Linux
# build pulls no wine): the MinGW-w64 cross compilers with posix threads and their tools, wine
# to run the tests, NSIS for the installer, Debian's MinGW zlib, and what
# scripts/windows/build_deps.sh builds the libraries with: Debian's archive keys and dpkg-source
# for the source packages, tclsh for SQLite's generated source, googletest's sources, the host
# Qt tools of the same version as the Qt built, and the header-only libraries copied for it;
# for scripts/windows/package.sh, Qt's Chinese texts, and a virtual display on which
# scripts/windows/check_package.sh opens the packed window.
# shellcheck disable=SC2034 # used by the scripts that source this
TAVRIN_WINDOWS_PACKAGES=(
    build-essential cmake ninja-build pkg-config
    g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-x86-64
    wine64 wine
    nsis
    libz-mingw-w64-dev
    debian-archive-keyring dpkg-dev patch tcl
    googletest
    qt6-base-dev qt6-base-dev-tools
    libcli11-dev nlohmann-json3-dev
    qt6-translations-l10n xvfb xauth
)

# Runs a command as root: directly when we are root, through sudo otherwise.
as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo "$@"
    else
        echo "error: installing packages needs root, and sudo is not available: $*" >&2
        return 1
    fi
}

# Installs the packages given (default: TAVRIN_PACKAGES) that are not installed yet.
install_missing() {
    local wanted=("$@")
    [ ${#wanted[@]} -gt 0 ] || wanted=("${TAVRIN_PACKAGES[@]}")
    local missing=()
    local package
    for package in "${wanted[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$package")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    as_root env DEBIAN_FRONTEND=noninteractive apt-get update -q
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# Configures and builds into the given folder with any extra CMake arguments.
configure_and_build() {
    local build_dir=$1
    shift
    local generator=()
    if [ ! -f "$build_dir/CMakeCache.txt" ]; then
        generator=(-G Ninja)
    fi
    cmake -S "$TAVRIN_ROOT" -B "$build_dir" "${generator[@]}" "$@"
    cmake --build "$build_dir" --parallel "$(nproc)"
}
