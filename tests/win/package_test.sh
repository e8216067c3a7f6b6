#!/bin/sh
# package_test.sh BUILD_DIR SOURCE_DIR
# Builds the release zip, unpacks it into a scratch installation and walks the
# whole road from it (update, multiplayer, the game in the clone, the clone
# removed) against the sample release served by a stock server, Python's
# http.server. Runs inside the Wine test fixture (prefix and display ready).
set -eu
BUILD=$1
SRC=$2
WINE=/usr/lib/wine/wine64
WORK=$(mktemp -d /tmp/vt-package.XXXXXX)
SERVER=""
trap '[ -n "$SERVER" ] && kill $SERVER 2>/dev/null; rm -rf "$WORK"' EXIT INT TERM

(cd "$BUILD" && cpack -G ZIP >/dev/null)
ZIP=$(ls "$BUILD"/vortane-launcher-*-win64.zip)
# The publishers' zip, made by the same command: the tool, its guide, the nginx example.
PUBZIP=$(ls "$BUILD"/vortane-publisher-*-win64.zip)
for f in vtlist.exe publishers.md nginx-vortane.conf THIRD-PARTY-NOTICES.txt; do
    unzip -l "$PUBZIP" | grep -q " $f\$" || { echo "package_test: $f is not in $PUBZIP" >&2; exit 1; }
done
if unzip -l "$ZIP" | grep -q 'vtlist.exe'; then echo "package_test: the players' zip carries vtlist.exe" >&2; exit 1; fi
# The players' UPDATE.CFG names every key, commented out at its default.
for key in WEBPATH WEBPAGE PATCHLIST LOCALPAGE WATCHDOG TIMEOUT MAXDOWNLOADS MAXRATE PUBLICKEY MIRRORS COPYDIR CLONEDIR EXENAME EXENAME2 \
           EXEPARAMS SRNAME NEWLAUNCHER DELAY; do
    unzip -p "$ZIP" UPDATE.CFG | grep -q "^# $key=" || { echo "package_test: UPDATE.CFG does not name $key" >&2; exit 1; }
done
EXE=$WORK/install/EXE
mkdir -p "$EXE" "$WORK/install/DATA/AUDIO"
unzip -q "$ZIP" -d "$EXE"
for f in VT_Update.exe vtwd.exe UPDATE.CFG PLAYERS.txt LocalLauncher.htm THIRD-PARTY-NOTICES.txt; do
    [ -f "$EXE/$f" ] || { echo "package_test: $f is not in $ZIP" >&2; exit 1; }
done
# The notices name every component linked into the programs, and carry the
# LGPL's text, as the LGPL asks of a program linked statically with libgcrypt.
for component in mingw-w64 winpthreads libstdc++ xxHash libgcrypt libgpg-error \
                 'GNU LESSER GENERAL PUBLIC LICENSE' 'Version 2.1, February 1999' 'GCC RUNTIME LIBRARY EXCEPTION'; do
    grep -q -F "$component" "$EXE/THIRD-PARTY-NOTICES.txt" ||
        { echo "package_test: THIRD-PARTY-NOTICES.txt does not name $component" >&2; exit 1; }
done
cp "$SRC/sample/install/Skyreach.exe" "$EXE/"
cp "$BUILD/tools/vt_standin_game.exe" "$WORK/install/DATA/AUDIO/ambienteA.utf"
cp "$BUILD/tools/vt_standin_game.exe" "$WORK/install/DATA/AUDIO/ambienteB.utf"

cd "$SRC/sample/release"
python3 -u -m http.server --bind 127.0.0.1 0 > "$WORK/server.log" 2>&1 &
SERVER=$!
PORT=""
for _ in $(seq 1 50); do
    PORT=$(sed -n 's/.*port \([0-9]*\).*/\1/p' "$WORK/server.log" | head -n 1)
    [ -n "$PORT" ] && break
    sleep 0.1
done
[ -n "$PORT" ] || { echo "package_test: http.server did not start" >&2; cat "$WORK/server.log" >&2; exit 1; }
# The example's keys are all commented out: one line more points it at the server.
printf 'WEBPATH=http://127.0.0.1:%s/VTupdates/\r\n' "$PORT" >> "$EXE/UPDATE.CFG"

winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
VT_STANDIN_SHOW=1 "$WINE" "$BUILD/tools/vt_demo_driver.exe" "$(winpath "$EXE/")" "$(winpath "$WORK/shot.bmp")"
