# shellcheck shell=bash
# Sourced by the scripts that build libraries from Debian's source packages (the Windows
# libraries, the HTML parser): fetches a source package into the cache folder and unpacks it.
#
# The fetch goes through a private apt configuration of its own (its own sources.list with
# deb-src lines, its own lists and download cache, all under the cache folder, handed to apt with
# APT_CONFIG), so the machine's apt sources are never read for this nor changed, and no root is
# needed. apt checks every file against the archive's signed index as usual.
#
# The cache folder is $TAVRIN_CACHE, or ~/.cache/tavrin.

# Debian 12's archive; a mirror of it can be named with TAVRIN_DEBIAN_MIRROR and
# TAVRIN_DEBIAN_SECURITY_MIRROR.
TAVRIN_DEBIAN_SUITE=bookworm

tavrin_cache_dir() {
    echo "${TAVRIN_CACHE:-$HOME/.cache/tavrin}"
}

# Writes the private apt configuration (when it is missing or differs) and prints its path.
private_apt_config() {
    local apt_dir
    apt_dir="$(tavrin_cache_dir)/apt"
    local mirror=${TAVRIN_DEBIAN_MIRROR:-http://deb.debian.org/debian}
    local security=${TAVRIN_DEBIAN_SECURITY_MIRROR:-http://deb.debian.org/debian-security}
    local keyring=/usr/share/keyrings/debian-archive-keyring.gpg
    mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
    local sources="deb-src [signed-by=$keyring] $mirror $TAVRIN_DEBIAN_SUITE main
deb-src [signed-by=$keyring] $mirror $TAVRIN_DEBIAN_SUITE-updates main
deb-src [signed-by=$keyring] $security $TAVRIN_DEBIAN_SUITE-security main"
    # apt drops its rights to the user _apt for downloads, who may not enter a folder in a home;
    # the downloads run as whoever runs this instead.
    local user config
    user=$(id -un)
    config="Dir::Etc::SourceList \"$apt_dir/sources.list\";
Dir::Etc::SourceParts \"/nonexistent\";
Dir::State::Lists \"$apt_dir/lists\";
Dir::Cache \"$apt_dir/cache\";
APT::Sandbox::User \"$user\";
Acquire::Languages \"none\";"
    [ "$(cat "$apt_dir/sources.list" 2>/dev/null)" = "$sources" ] || echo "$sources" >"$apt_dir/sources.list"
    [ "$(cat "$apt_dir/apt.conf" 2>/dev/null)" = "$config" ] || echo "$config" >"$apt_dir/apt.conf"
    echo "$apt_dir/apt.conf"
}

# Runs apt-get with the private configuration.
private_apt_get() {
    local config
    config=$(private_apt_config)
    APT_CONFIG="$config" apt-get -q -o Debug::NoLocking=1 "$@"
}

# Reads the source index again from the archive.
refresh_source_index() {
    echo "Reading Debian's index of source packages ($TAVRIN_DEBIAN_SUITE, -updates, -security)" >&2
    private_apt_get update >&2
    # What the archive lacked may be there now.
    rm -f "$(tavrin_cache_dir)"/sources/*.unavailable
}

# The versions of source package $1 that the private index lists, newest first, one a line.
# Reads the index once when there is none yet.
debian_source_versions() {
    local package=$1
    local apt_dir
    apt_dir="$(tavrin_cache_dir)/apt"
    if ! compgen -G "$apt_dir/lists/*_source_Sources*" >/dev/null; then
        refresh_source_index
    fi
    local config
    config=$(private_apt_config)
    APT_CONFIG="$config" apt-cache showsrc --only-source "$package" 2>/dev/null |
        sed -n 's/^Version: //p' | sort -V -r -u || true
}

# Fetches version $2 of source package $1 into folder $3 and unpacks it there with Debian's
# patches applied (as $3/tree). Fails, leaving nothing behind, when the archive does not serve
# every file of it.
fetch_debian_source() {
    local package=$1 version=$2 folder=$3
    rm -rf "$folder"
    mkdir -p "$folder"
    echo "Fetching the source of $package $version" >&2
    if ! (cd "$folder" && private_apt_get source --download-only "$package=$version" >&2); then
        rm -rf "$folder"
        return 1
    fi
    local dsc
    dsc=$(find "$folder" -maxdepth 1 -name '*.dsc' | head -n 1)
    # The files were checked against the archive's signed index when apt fetched them.
    (cd "$folder" && dpkg-source --no-check -x "$(basename "$dsc")" tree >&2)
    touch "$folder/unpacked"
}

# Prints the unpacked source of package $1, $cache/sources/PACKAGE_VERSION/tree, fetching it
# first when it is not there: the newest version listed whose files the archive serves (the
# archive keeps only the newest versions, and a mirror may lack some files: a version that could
# not be had is not asked for again until the index is read again, which happens when no listed
# version can be had). Fails with a message when none can.
debian_source_tree() {
    local package=$1
    local sources
    sources="$(tavrin_cache_dir)/sources"
    local attempt version
    for attempt in listed refreshed; do
        [ "$attempt" = listed ] || refresh_source_index
        for version in $(debian_source_versions "$package"); do
            local folder="$sources/${package}_$version"
            if [ -f "$folder/unpacked" ]; then
                echo "$folder/tree"
                return 0
            fi
            [ ! -f "$folder.unavailable" ] || continue
            if fetch_debian_source "$package" "$version" "$folder"; then
                echo "$folder/tree"
                return 0
            fi
            echo "The archive did not serve every file of $package $version; trying an older version" >&2
            touch "$folder.unavailable"
        done
    done
    echo "error: no version of the source package $package could be fetched from Debian's $TAVRIN_DEBIAN_SUITE" >&2
    return 1
}

# The version of the unpacked source tree $2 of package $1 (as debian_source_tree prints it).
debian_source_tree_version() {
    local folder
    folder=$(basename "$(dirname "$2")")
    echo "${folder#"$1"_}"
}
