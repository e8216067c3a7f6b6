#!/bin/sh
# nginx_partial_test.sh BUILD_DIR SOURCE_DIR
# A partial update against a stock server: nginx on 127.0.0.1 serves a folder
# that the Wine test writes two releases into; the second must come as ranges
# (206 answers in nginx's log), and the file must be right. Runs inside the
# Wine fixture.
set -eu
BUILD=$1
SRC=$2
WINE=/usr/lib/wine/wine64
WORK=$(mktemp -d /tmp/vt-nginx-partial.XXXXXX)
SERVER=""
trap '[ -n "$SERVER" ] && kill $SERVER 2>/dev/null; rm -rf "$WORK"' EXIT INT TERM
mkdir -p "$WORK/root" "$WORK/nginx"
. "$SRC/tests/win/nginx_fixture.sh"
PORT=$(free_port)
N=$WORK/nginx
cat > "$N/site.conf" <<CONF
server {
    listen 127.0.0.1:$PORT;
    root $WORK/root;
}
CONF
nginx_start "$N" "$N/site.conf" "$PORT"
SERVER=$NGINX_PID
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
status=0
VT_NGINX_URL="http://127.0.0.1:$PORT" VT_NGINX_ROOT="$(winpath "$WORK/root")" \
    "$WINE" "$BUILD/tests/win/vt_release_day_test.exe" --gtest_filter='Nginx.*' \
    >"$WORK/test.log" 2>&1 || status=$?
cat "$WORK/test.log"
grep -q '\[  SKIPPED \]' "$WORK/test.log" && { echo "nginx_partial_test: the test was skipped" >&2; status=1; }
grep -q 'GET /VTupdates/maps/world.pak HTTP/1.1" 206' "$N/access.log" ||
    { echo "nginx_partial_test: nginx answered no range request" >&2; cat "$N/access.log"; status=1; }
exit $status
