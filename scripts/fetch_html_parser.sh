#!/usr/bin/env bash
# Fetches the source of the HTML parser pages are read with (once, into the cache folder) and
# prints the folder of its C sources. cmake/HtmlParser.cmake runs this when it is not told where
# the sources are; the build compiles them itself (that file says why).
#
# The parser is the maintained fork of gumbo that Debian's ruby-nokogiri source package carries
# in its folder gumbo-parser/. (Debian's own gumbo-parser source package cannot be fetched: the
# archive serves its description but answers 404 for its files.)
set -euo pipefail
TAVRIN_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=debian_sources.sh
source "$TAVRIN_ROOT/scripts/debian_sources.sh"

for tool in apt-get dpkg-source; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "error: $tool is needed to fetch the HTML parser's source (package dpkg-dev, apt)" >&2
        exit 1
    fi
done

tree=$(debian_source_tree ruby-nokogiri)
sources="$tree/gumbo-parser/src"
if [ ! -f "$sources/gumbo.h" ] || [ ! -f "$sources/parser.c" ]; then
    echo "error: $tree holds no gumbo-parser/src with gumbo.h and parser.c" >&2
    exit 1
fi
echo "$sources"
