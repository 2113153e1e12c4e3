#!/bin/sh
# The tests' wine server: started before the first test of the prefix and ended after the last
# (a CTest fixture), in the same prefix as wine_run.sh.
#   wine_server.sh start|stop
#
# Debian's wineserver has no persistence (-p0): between two tests, when the prefix has no program
# left for a moment, it begins to shut down, and a test program that connects just then is killed
# with it. So the tests run on one persistent server. A server left by an earlier run, or by
# making the prefix without the display, is ended first. The prefix's system programs (services,
# the desktop window) are started here with nothing of ctest's open: started by a test they would
# keep its output open, and ctest would wait for them.
here=$(cd "$(dirname "$0")" && pwd)
: "${WINEPREFIX:=$here/../build/windows/wineprefix}"
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
quiet() { "$@" </dev/null >/dev/null 2>&1; }
case "${1:-}" in
start)
    # A prefix not made yet is made by the wineboot below; the server needs its folder first.
    mkdir -p "$WINEPREFIX"
    quiet wineserver -k
    quiet timeout 30 wineserver -w
    if ! quiet wineserver -p; then
        echo "wine_server.sh: no wine server could be started for $WINEPREFIX" >&2
        exit 1
    fi
    quiet wineboot
    exit 0
    ;;
stop)
    quiet wineserver -k
    exit 0
    ;;
esac
echo "usage: wine_server.sh start|stop" >&2
exit 2
