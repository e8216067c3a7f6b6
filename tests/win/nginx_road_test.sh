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
NGINX=$(command -v nginx || echo /usr/sbin/nginx)
[ -x "$NGINX" ] || { echo "nginx_road_test: nginx is not installed; tools/setup.sh installs it" >&2; exit 1; }
WORK=$(mktemp -d /tmp/vt-nginx.XXXXXX)
SERVER=""
trap '[ -n "$SERVER" ] && kill $SERVER 2>/dev/null; rm -rf "$WORK"' EXIT INT TERM

EXE=$WORK/install/EXE
mkdir -p "$EXE" "$WORK/install/DATA/AUDIO" "$WORK/nginx"
cp "$BUILD/launcher/VT_Update.exe" "$BUILD/starter/vtwd.exe" "$SRC/dist/UPDATE.CFG" \
   "$SRC/sample/install/LocalLauncher.htm" "$SRC/sample/install/Skyreach.exe" "$EXE/"
cp "$BUILD/tools/vt_standin_game.exe" "$WORK/install/DATA/AUDIO/ambienteA.utf"
cp "$BUILD/tools/vt_standin_game.exe" "$WORK/install/DATA/AUDIO/ambienteB.utf"

PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
N=$WORK/nginx
cat > "$N/nginx.conf" <<CONF
user root;
worker_processes 1;
daemon off;
pid $N/nginx.pid;
error_log $N/error.log;
events { worker_connections 64; }
http {
    access_log $N/access.log;
    client_body_temp_path $N/body;
    proxy_temp_path $N/proxy;
    fastcgi_temp_path $N/fastcgi;
    uwsgi_temp_path $N/uwsgi;
    scgi_temp_path $N/scgi;
    types { text/html html htm; }
    default_type application/octet-stream;
    server {
        listen 127.0.0.1:$PORT ssl;
        server_name localhost;
        ssl_certificate $TLS/ca-server.pem;
        ssl_certificate_key $TLS/ca-server.key;
        root $SRC/sample/release;
    }
}
CONF
"$NGINX" -p "$N" -c "$N/nginx.conf" </dev/null >"$N/stdout.log" 2>&1 &
SERVER=$!
for _ in $(seq 1 50); do
    python3 -c "import socket,sys; socket.create_connection(('127.0.0.1', $PORT), 0.2)" 2>/dev/null && break
    sleep 0.1
done
python3 -c "import socket,sys; socket.create_connection(('127.0.0.1', $PORT), 0.5)" 2>/dev/null ||
    { echo "nginx_road_test: nginx did not start" >&2; cat "$N/error.log" "$N/stdout.log" >&2; exit 1; }

printf 'WEBPATH=https://localhost:%s/VTupdates/\r\n' "$PORT" >> "$EXE/UPDATE.CFG"
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
status=0
VT_STANDIN_SHOW=1 "$WINE" "$BUILD/tools/vt_demo_driver.exe" "$(winpath "$EXE/")" "$(winpath "$WORK/shot.bmp")" || status=$?
echo "nginx_road_test: requests nginx served over https:"
cat "$N/access.log"
grep -q 'GET /VTupdates/update.dat HTTP/1.1" 200' "$N/access.log" ||
    { echo "nginx_road_test: nginx never served the patch list" >&2; status=1; }
exit $status
