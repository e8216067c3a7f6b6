#!/bin/sh
# nginx_road_test.sh BUILD_DIR SOURCE_DIR TLS_DIR
# The whole road (update to "Done.", multiplayer, the game in the clone, the
# clone removed) against a stock server over https: nginx on 127.0.0.1 with a
# localhost certificate of the test authority that the tls fixture added to
# the Wine prefix, serving the sample release. Runs inside the Wine and tls
# fixtures.
set -eu
BUILD=$1
SRC=$2
TLS=$3
WINE=/usr/lib/wine/wine64
WORK=$(mktemp -d /tmp/vt-nginx.XXXXXX)
SERVER=""
trap '[ -n "$SERVER" ] && kill $SERVER 2>/dev/null; rm -rf "$WORK"' EXIT INT TERM

EXE=$WORK/install/EXE
mkdir -p "$EXE" "$WORK/install/DATA/AUDIO" "$WORK/nginx"
cp "$BUILD/launcher/VT_Update.exe" "$BUILD/starter/vtwd.exe" "$SRC/dist/UPDATE.CFG" \
   "$SRC/sample/install/LocalLauncher.htm" "$SRC/sample/install/Skyreach.exe" "$EXE/"
cp "$BUILD/tools/vt_standin_game.exe" "$WORK/install/DATA/AUDIO/ambienteA.utf"
cp "$BUILD/tools/vt_standin_game.exe" "$WORK/install/DATA/AUDIO/ambienteB.utf"

. "$SRC/tests/win/stock_server_fixture.sh"
PORT=$(free_port)
N=$WORK/nginx
cat > "$N/site.conf" <<CONF
server {
    listen 127.0.0.1:$PORT ssl;
    server_name localhost;
    ssl_certificate $TLS/ca-server.pem;
    ssl_certificate_key $TLS/ca-server.key;
    root $SRC/sample/release;
}
CONF
nginx_start "$N" "$N/site.conf" "$PORT"
SERVER=$NGINX_PID

printf 'WEBPATH=https://localhost:%s/VTupdates/\r\n' "$PORT" >> "$EXE/UPDATE.CFG"
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
status=0
VT_STANDIN_SHOW=1 "$WINE" "$BUILD/tools/vt_demo_driver.exe" "$(winpath "$EXE/")" "$(winpath "$WORK/shot.bmp")" || status=$?
echo "nginx_road_test: requests nginx served over https:"
cat "$N/access.log"
grep -q 'GET /VTupdates/update.dat HTTP/1.1" 200' "$N/access.log" ||
    { echo "nginx_road_test: nginx never served the patch list" >&2; status=1; }
exit $status
