#!/bin/sh
# prefix.sh start|stop
#   start: creates the build's Wine prefix the first time (about 8 s), then
#          starts a persistent wineserver so that each test's start is cheap.
#   stop:  ends that wineserver and every Wine process left in the prefix.
set -eu
: "${WINEPREFIX:?prefix.sh: WINEPREFIX must name the build's Wine prefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
WINE=/usr/lib/wine/wine64
SERVER=/usr/lib/wine/wineserver
for tool in "$WINE" "$SERVER"; do
    [ -x "$tool" ] || { echo "prefix.sh: $tool not found; tools/setup.sh installs wine64" >&2; exit 127; }
done
[ -n "${DISPLAY:-}" ] || { echo "prefix.sh: no DISPLAY; run under xvfb-run" >&2; exit 1; }

case "${1:-}" in
start)
    mkdir -p "$WINEPREFIX"
    # The server and the services Wine starts outlive this script: they must
    # not hold its output open, or ctest waits for them.
    # A server left running by an earlier, interrupted run is used as it is.
    "$SERVER" -p </dev/null >/dev/null 2>&1 || true
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "creating Wine prefix $WINEPREFIX"
        "$WINE" wineboot --init </dev/null >/dev/null 2>&1
    fi
    # The first GUI start brings up the desktop process; do it here, once.
    "$WINE" cmd /c exit 0 </dev/null >/dev/null 2>&1
    ;;
stop)
    "$SERVER" -k 2>/dev/null || true
    ;;
*)
    echo "usage: prefix.sh start|stop" >&2
    exit 2
    ;;
esac
