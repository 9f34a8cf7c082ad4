#!/usr/bin/env bash
# Installs what is missing, builds the two programs, and starts the window with the shipped url.txt.
set -euo pipefail
TAVRIN_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=common.sh
source "$TAVRIN_ROOT/scripts/common.sh"

install_missing
# The programs only: the tests are scripts/test.sh's, and building them takes several times as long.
configure_and_build "$TAVRIN_ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVRIN_BUILD_TESTS=OFF

program="$TAVRIN_ROOT/build/bin/tavrin"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    # xvfb-run comes with the packages above (xvfb, xauth), so both lines work as printed.
    cat <<MSG
Built $program.
No desktop session was found (DISPLAY and WAYLAND_DISPLAY are not set), so the window cannot
open here. Start ./scripts/run.sh from a desktop session, or run the window on a virtual
display (it runs there unseen, until you end it with Ctrl-C):
    xvfb-run -a $program
To see the window as a picture without any display:
    QT_QPA_PLATFORM=offscreen $program --screenshot window.png
MSG
    exit 0
fi
exec "$program" "$@"
