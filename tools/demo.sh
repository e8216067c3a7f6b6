#!/bin/sh
# The main job: the whole road on the bundled sample mod and server.
#   sh tools/demo.sh [--headless]
# Installs what is missing, builds, lays out a sample installation in
# build/demo (or $VT_DEMO_DIR), serves sample/release on 127.0.0.1 and starts
# the launcher under Wine. With a display the player works the window; without
# one (or with --headless) it runs under Xvfb, a driver works the buttons and
# prints each step, a screenshot goes to build/demo/launcher.png, and the exit
# status is 0 only if the road was whole: update to "Done.", multiplayer, the
# game running in the clone, the clone removed.
set -eu
cd "$(dirname "$0")/.."
ROOT=$PWD
HEADLESS=0
if [ "${1:-}" = "--headless" ] || [ -z "${DISPLAY:-}" ]; then HEADLESS=1; fi

sh tools/setup.sh
echo "demo: building"
cmake --preset native >/dev/null
cmake --build --preset native --target vt_test_server_cli >/dev/null
cmake --preset windows >/dev/null
cmake --build --preset windows --target VT_Update VT_Starter vt_standin_game vt_demo_driver >/dev/null
BUILD=$ROOT/build/windows

DEMO=${VT_DEMO_DIR:-$ROOT/build/demo}
rm -rf "$DEMO"
EXE=$DEMO/install/EXE
mkdir -p "$EXE" "$DEMO/install/DATA/AUDIO"
cp "$BUILD/launcher/VT_Update.exe" "$BUILD/starter/vtwd.exe" sample/install/LocalLauncher.htm sample/install/Skyreach.exe "$EXE/"
# The executables for both modes: the stand-in game, which shows how it was started.
cp "$BUILD/tools/vt_standin_game.exe" "$DEMO/install/DATA/AUDIO/ambienteA.utf"
cp "$BUILD/tools/vt_standin_game.exe" "$DEMO/install/DATA/AUDIO/ambienteB.utf"

"$ROOT/build/native/tools/vt_test_server" "$ROOT/sample/release" > "$DEMO/server.url" &
SERVER_PID=$!
trap 'kill $SERVER_PID 2>/dev/null || true' EXIT INT TERM
for _ in 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20; do [ -s "$DEMO/server.url" ] && break; sleep 0.1; done
URL=$(head -n 1 "$DEMO/server.url")
printf 'WEBPATH=%s/VTupdates/\r\n' "$URL" > "$EXE/UPDATE.CFG"
echo "demo: sample server at $URL, installation in $DEMO/install"

winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
export WINEPREFIX=$BUILD/wineprefix WINEDEBUG=-all VT_STANDIN_SHOW=1 WINE=/usr/lib/wine/wine64

if [ "$HEADLESS" = 1 ]; then
    echo "demo: no display; running the road under Xvfb"
    EXE_WIN=$(winpath "$EXE/") SHOT_WIN=$(winpath "$DEMO/launcher.bmp") \
    xvfb-run -a -s "-screen 0 1280x1024x24" sh -c '
        sh cmake/wine/prefix.sh start
        "$WINE" "$0/tools/vt_demo_driver.exe" "$EXE_WIN" "$SHOT_WIN"
        rc=$?
        sh cmake/wine/prefix.sh stop
        exit $rc' "$BUILD"
    rc=$?
    if [ -f "$DEMO/launcher.bmp" ]; then
        convert "$DEMO/launcher.bmp" "$DEMO/launcher.png" && rm -f "$DEMO/launcher.bmp"
        echo "demo: screenshot $DEMO/launcher.png"
    fi
    [ "$rc" = 0 ] && echo "demo: the road is whole" || echo "demo: the road broke (exit $rc)"
    exit "$rc"
fi

echo "demo: starting the launcher; click LAUNCH when it says Done."
sh cmake/wine/prefix.sh start
"$WINE" "$EXE/VT_Update.exe"
/usr/lib/wine/wineserver -w   # the starter and the game outlive the launcher
echo "demo: the road ended; the clone $DEMO/install/EXE2 is $( [ -d "$DEMO/install/EXE2" ] && echo still there || echo gone)"
