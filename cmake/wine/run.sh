#!/bin/sh
# Runs a Windows program under Wine in the build's own prefix (WINEPREFIX, set
# by the test). Fails, rather than skips, when Wine or a display is missing.
set -u
: "${WINEPREFIX:?run.sh: WINEPREFIX must name the build's Wine prefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
WINE=/usr/lib/wine/wine64
if [ ! -x "$WINE" ]; then
    echo "run.sh: $WINE not found; tools/setup.sh installs wine64" >&2
    exit 127
fi
if [ -z "${DISPLAY:-}" ]; then
    echo "run.sh: no DISPLAY; the Windows tests run under xvfb-run (tools/test-all.sh does this)" >&2
    exit 1
fi
exec "$WINE" "$@"
