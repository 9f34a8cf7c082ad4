#!/usr/bin/env bash
# Builds the third-party libraries of the Windows build (64-bit, MinGW-w64 with posix threads)
# from Debian 12's source packages, into the cache folder outside the tree:
#   scripts/windows/build_deps.sh [--refresh] [STEP...]
# Steps: headers curl expat sqlite gtest httplib html-parser qt qt-translations (default: all of
# them, in that order).
# --refresh reads Debian's index of source packages again first, so that a newer version (a
# security update, say) is fetched and built; without it the index read the first time is used.
# The cache is $TAVRIN_CACHE (default ~/.cache/tavrin):
#   win64/            the Windows prefix the toolchain file finds everything in (bin/ holds the
#                     DLLs, lib/ the import and static libraries, lib/cmake and lib/pkgconfig how
#                     to find them, plugins/ Qt's plugins)
#   win64/.stamps/    one file a step: the source version and a digest of the build options it
#                     was built with; a step whose stamp matches is skipped
#   win64-build/      build folders (kept after a failure, so that a new run goes on from there)
#   sources/, apt/    the source packages and the private apt configuration that fetched them
#                     (scripts/debian_sources.sh)
# Prints each step and how long it took, then a one-line summary. The build uses up to
# TAVRIN_JOBS jobs (default: the number of processors) at a low priority (nice).
set -euo pipefail
TAVRIN_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# shellcheck source=../common.sh
source "$TAVRIN_ROOT/scripts/common.sh"
# shellcheck source=../debian_sources.sh
source "$TAVRIN_ROOT/scripts/debian_sources.sh"

all_steps=(headers curl expat sqlite gtest httplib html-parser qt qt-translations)
refresh=no
if [ "${1:-}" = --refresh ]; then
    refresh=yes
    shift
fi
steps=("$@")
[ ${#steps[@]} -gt 0 ] || steps=("${all_steps[@]}")
for step in "${steps[@]}"; do
    if [[ " ${all_steps[*]} " != *" $step "* ]]; then
        echo "usage: $0 [--refresh] [STEP...]   steps: ${all_steps[*]}" >&2
        exit 2
    fi
done

install_missing "${TAVRIN_WINDOWS_PACKAGES[@]}"

cache=$(tavrin_cache_dir)
prefix="$cache/win64"
builds="$cache/win64-build"
stamps="$prefix/.stamps"
toolchain="$TAVRIN_ROOT/cmake/toolchains/mingw-w64-x86_64.cmake"
triplet=x86_64-w64-mingw32
jobs=${TAVRIN_JOBS:-$(nproc)}
mkdir -p "$prefix" "$builds" "$stamps"
export TAVRIN_WINDOWS_PREFIX="$prefix"
# Some configure checks run what they compiled; wine runs it, in a prefix of the build's own.
export WINEPREFIX="$builds/wine" WINEDEBUG=-all

# What every build depends on besides its own options: the cross compiler's version.
compiler_version=$("$triplet-g++-posix" -dumpfullversion)

# The stamp a step writes: its source version and a digest of what it was built with.
stamp_text() {
    local version=$1
    shift
    printf 'version %s\noptions %s\n' "$version" \
        "$(printf '%s\n' "$compiler_version" "$@" | sha256sum | cut -c1-16)"
}

# Whether step $1's stamp says it was built as $2 (stamp_text).
is_built() {
    [ "$(cat "$stamps/$1" 2>/dev/null)" = "$2" ]
}

# Runs step $1's build (the function build_$1, given the version $2 and the source folder $4)
# unless its stamp matches $3, and reports the time.
summary=()
run_step() {
    local step=$1 version=$2 stamp=$3 tree=${4:-}
    local label="$step ${version}"
    if is_built "$step" "$stamp"; then
        echo "== $label: already built"
        summary+=("$step cached")
        return 0
    fi
    echo "== $label: building"
    local started=$SECONDS
    "build_${step//-/_}" "$version" "$tree"
    echo "$stamp" >"$stamps/$step"
    local took=$((SECONDS - started))
    echo "== $label: built in $((took / 60)) min $((took % 60)) s"
    summary+=("$step $((took / 60))m$((took % 60))s")
}

# Configures, builds and installs a CMake project into the prefix, in a build folder that is
# kept as long as the options do not change.
cmake_install() {
    local name=$1 source=$2
    shift 2
    local build="$builds/$name"
    local options_digest
    options_digest=$(printf '%s\n' "$source" "$@" | sha256sum | cut -c1-16)
    if [ "$(cat "$build/.options" 2>/dev/null)" != "$options_digest" ]; then
        rm -rf "$build"
        mkdir -p "$build"
        nice cmake -S "$source" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
            -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release "$@"
        echo "$options_digest" >"$build/.options"
    fi
    nice cmake --build "$build" --parallel "$jobs"
    cmake --install "$build"
}

# ---------------------------------------------------------------------------------------------
# The header-only libraries the host has (CLI11, nlohmann/json), copied into the prefix with
# their CMake files: found among the host's, they would put /usr/include, with the host's C
# library headers, into the cross build.

headers_version() {
    dpkg-query -W -f='${Version} ' libcli11-dev nlohmann-json3-dev
}

build_headers() {
    rm -rf "$prefix/include/CLI" "$prefix/include/nlohmann" "$prefix/share/cmake/CLI11" \
        "$prefix/share/cmake/nlohmann_json"
    mkdir -p "$prefix/include" "$prefix/share/cmake"
    cp -R /usr/include/CLI /usr/include/nlohmann "$prefix/include/"
    cp -R /usr/share/cmake/CLI11 /usr/share/cmake/nlohmann_json "$prefix/share/cmake/"
}

# ---------------------------------------------------------------------------------------------
# libcurl, shared, on Windows' own TLS (Schannel) and certificate store: no OpenSSL, and no
# certificate file or folder built in (those would be paths of this machine). zlib (for
# compressed answers) is Debian's MinGW build, linked in statically so that the DLL needs no
# other. International host names go through Windows (normaliz.dll), as libidn2 does them on
# Linux.

curl_options() {
    echo -DBUILD_SHARED_LIBS=ON -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF \
        -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DCURL_USE_LIBSSH2=OFF -DUSE_NGHTTP2=OFF \
        -DUSE_LIBIDN2=OFF -DUSE_WIN32_IDN=ON -DCURL_DISABLE_LDAP=ON \
        -DCURL_CA_BUNDLE=none -DCURL_CA_PATH=none -DCURL_ZLIB=ON \
        -DZLIB_INCLUDE_DIR=/usr/$triplet/include -DZLIB_LIBRARY=/usr/$triplet/lib/libz.a
}

build_curl() {
    # shellcheck disable=SC2046 # the options are words
    cmake_install curl "$2" $(curl_options)
}

# ---------------------------------------------------------------------------------------------
# expat, for the replies of ping services; static, so its users must say so (XML_STATIC) or
# expat.h declares its functions as imported from a DLL.

expat_options() {
    echo -DEXPAT_SHARED_LIBS=OFF -DEXPAT_BUILD_TOOLS=OFF -DEXPAT_BUILD_EXAMPLES=OFF \
        -DEXPAT_BUILD_TESTS=OFF -DEXPAT_BUILD_DOCS=OFF -DEXPAT_BUILD_FUZZERS=OFF
}

build_expat() {
    # Debian's security fixes test "#if XML_DTD == 1", as its own (autotools) build defines it;
    # the CMake build's configuration header defines it without a value.
    sed -i 's/^#cmakedefine XML_DTD$/#cmakedefine XML_DTD 1/' "$2/expat/expat_config.h.cmake"
    # shellcheck disable=SC2046
    cmake_install expat "$2/expat" $(expat_options)
    sed -i '/^Cflags:/{/XML_STATIC/!s/$/ -DXML_STATIC/}' "$prefix/lib/pkgconfig/expat.pc"
}

# ---------------------------------------------------------------------------------------------
# SQLite, static. Debian's source is SQLite's own tree, not the single-file "amalgamation" it
# is normally compiled from; that is generated here first, on the host, by SQLite's own tools
# (which need tclsh), then compiled for Windows with the features Debian turns on.

sqlite_flags() {
    echo -O2 -DSQLITE_THREADSAFE=1 -DSQLITE_ENABLE_COLUMN_METADATA=1 -DSQLITE_SECURE_DELETE=1 \
        -DSQLITE_ENABLE_FTS3=1 -DSQLITE_ENABLE_FTS5=1 -DSQLITE_ENABLE_RTREE=1 \
        -DSQLITE_ENABLE_DBSTAT_VTAB=1 -DSQLITE_ENABLE_MATH_FUNCTIONS=1 -DSQLITE_ENABLE_UNLOCK_NOTIFY=1
}

build_sqlite() {
    local version=$1 tree=$2
    local build="$builds/sqlite"
    rm -rf "$build"
    mkdir -p "$build/host"
    # The amalgamation, generated by a host configure of SQLite's tree.
    (cd "$build/host" && nice "$tree/configure" --disable-tcl --disable-readline >/dev/null &&
        nice make -j "$jobs" sqlite3.c sqlite3.h >/dev/null)
    # shellcheck disable=SC2046
    nice "$triplet-gcc-posix" $(sqlite_flags) -I "$build/host" -c "$build/host/sqlite3.c" -o "$build/sqlite3.o"
    "$triplet-ar" rcs "$build/libsqlite3.a" "$build/sqlite3.o"
    mkdir -p "$prefix/include" "$prefix/lib/pkgconfig"
    cp "$build/host/sqlite3.h" "$tree/src/sqlite3ext.h" "$prefix/include/"
    cp "$build/libsqlite3.a" "$prefix/lib/"
    local upstream=${version%%-*}
    upstream=${upstream%%+*}
    cat >"$prefix/lib/pkgconfig/sqlite3.pc" <<PC
prefix=$prefix
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: SQLite
Description: SQL database engine (static, built from Debian's sqlite3 $version)
Version: $upstream
Libs: -L\${libdir} -lsqlite3
Cflags: -I\${includedir}
PC
}

# ---------------------------------------------------------------------------------------------
# GoogleTest and GoogleMock, static, from the sources Debian ships in libgtest-dev (the same
# version the Linux tests build with).

gtest_options() {
    echo -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON -Dgtest_disable_pthreads=OFF -DBUILD_SHARED_LIBS=OFF
}

build_gtest() {
    # shellcheck disable=SC2046
    cmake_install gtest /usr/src/googletest $(gtest_options)
}

# ---------------------------------------------------------------------------------------------
# cpp-httplib, which the tests' local servers are written with. Debian's package installs it
# split into a header of declarations and a shared library; here it is the single header of its
# source package (with Debian's patches), complete, so it needs no library of its own. A
# pkg-config file of the name Debian's package uses lets the tests find it the same way on both
# systems; on Windows it needs the socket library.

build_httplib() {
    local version=$1 tree=$2
    mkdir -p "$prefix/include" "$prefix/lib/pkgconfig"
    cp "$tree/httplib.h" "$prefix/include/httplib.h"
    local upstream=${version%%[+-]*}
    cat >"$prefix/lib/pkgconfig/cpp-httplib.pc" <<PC
prefix=$prefix
includedir=\${prefix}/include

Name: cpp-httplib
Description: HTTP server and client, header only (Debian's cpp-httplib $version)
Version: $upstream
Libs: -lws2_32
Cflags: -I\${includedir}
PC
}

# ---------------------------------------------------------------------------------------------
# The HTML parser: its source only. The project compiles it as a target of its own, for Linux
# and Windows alike (cmake/HtmlParser.cmake says why); fetching it here spares the Windows
# configure the download.

build_html_parser() {
    "$TAVRIN_ROOT/scripts/fetch_html_parser.sh" >/dev/null
}

# ---------------------------------------------------------------------------------------------
# Qt's qtbase, shared: Core, Gui, Widgets, Test and the windows platform plugin (with its style
# and image plugins), with the third-party libraries Qt bundles. The code generators (moc, uic,
# rcc) are not built: those of Debian's host Qt, which must be the same version, are used.
# Turned off, besides the modules the program does not use:
# - OpenGL as an input, not only as a feature: with the feature alone off, dynamic OpenGL stays
#   on and the windows plugin does not compile;
# - DirectWrite 3, which needs Direct2D, which MinGW does not link here;
# - tablet events, whose Wintab header Debian's tarball leaves out.

host_qt_version() {
    dpkg-query -W -f='${Version}' qt6-base-dev | sed 's/[+-].*//'
}

qt_options() {
    local multiarch
    multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
    echo -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="/usr/lib/$multiarch/cmake" \
        -DBUILD_SHARED_LIBS=ON -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
        -DFEATURE_gui=ON -DFEATURE_widgets=ON -DFEATURE_testlib=ON \
        -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_xml=OFF -DFEATURE_dbus=OFF \
        -DFEATURE_concurrent=OFF -DFEATURE_printsupport=OFF -DFEATURE_opengl=OFF -DINPUT_opengl=no \
        -DFEATURE_vulkan=OFF -DFEATURE_directwrite3=OFF -DFEATURE_tabletevent=OFF \
        -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_png=OFF \
        -DFEATURE_system_jpeg=OFF -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF \
        -DFEATURE_system_doubleconversion=OFF -DFEATURE_zstd=OFF -DFEATURE_icu=OFF -DFEATURE_glib=OFF
}

build_qt() {
    local version=$1 tree=$2
    if [ "${version%%[+-]*}" != "$(host_qt_version)" ]; then
        echo "error: the host's Qt tools are $(host_qt_version), the source is $version; they must agree" >&2
        return 1
    fi
    # shellcheck disable=SC2046
    cmake_install qt "$tree" $(qt_options)
}

# Qt's Chinese texts for its dialogs, where the Windows Qt looks for translations: the host's
# file (qt6-translations-l10n, the same Qt version), as the packaged program has it beside it.
host_qt_translation() {
    dpkg -L qt6-translations-l10n | grep '/qtbase_zh_CN\.qm$' | head -n 1
}

build_qt_translations() {
    local file
    file=$(host_qt_translation)
    if [ -z "$file" ]; then
        echo "error: qt6-translations-l10n holds no qtbase_zh_CN.qm" >&2
        return 1
    fi
    mkdir -p "$prefix/translations"
    cp "$file" "$prefix/translations/"
}

# ---------------------------------------------------------------------------------------------

# Fetches (once) the source of Debian package $2 for step $1 and runs the step on it with the
# build options that follow.
run_source_step() {
    local step=$1 package=$2
    shift 2
    local tree version
    tree=$(debian_source_tree "$package")
    version=$(debian_source_tree_version "$package" "$tree")
    run_step "$step" "$version" "$(stamp_text "$version" "$@")" "$tree"
}

echo "Windows libraries into $prefix ($jobs jobs)"
total_started=$SECONDS
[ "$refresh" = no ] || refresh_source_index
for step in "${steps[@]}"; do
    # shellcheck disable=SC2046 # the options are words
    case "$step" in
        headers) run_step headers "$(headers_version)" "$(stamp_text "$(headers_version)")" ;;
        curl) run_source_step curl curl $(curl_options) ;;
        expat) run_source_step expat expat $(expat_options) ;;
        sqlite) run_source_step sqlite sqlite3 $(sqlite_flags) ;;
        gtest)
            version=$(dpkg-query -W -f='${Version}' googletest)
            run_step gtest "$version" "$(stamp_text "$version" $(gtest_options))"
            ;;
        httplib) run_source_step httplib cpp-httplib ;;
        html-parser) run_source_step html-parser ruby-nokogiri ;;
        qt) run_source_step qt qt6-base $(qt_options) ;;
        qt-translations)
            version=$(dpkg-query -W -f='${Version}' qt6-translations-l10n)
            run_step qt-translations "$version" "$(stamp_text "$version" "$(host_qt_translation)")"
            ;;
    esac
done
took=$((SECONDS - total_started))
echo "Windows libraries ready in $prefix: ${summary[*]}; $((took / 60)) min $((took % 60)) s in all"
