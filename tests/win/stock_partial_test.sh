#!/bin/sh
# stock_partial_test.sh nginx|apache BUILD_DIR SOURCE_DIR
# A partial update against a stock server: nginx or Apache on 127.0.0.1
# serves a folder that the Wine test writes two releases into; the second
# must come as ranges (206 answers in the server's log), and the file must be
# right. Runs inside the Wine fixture.
set -eu
KIND=$1
BUILD=$2
SRC=$3
WINE=/usr/lib/wine/wine64
WORK=$(mktemp -d "/tmp/vt-$KIND-partial.XXXXXX")
SERVER=""
trap '[ -n "$SERVER" ] && kill $SERVER 2>/dev/null; rm -rf "$WORK"' EXIT INT TERM
mkdir -p "$WORK/root" "$WORK/server"
# Apache serves from worker processes of another user: the folders must be readable.
chmod 755 "$WORK" "$WORK/root"
. "$SRC/tests/win/stock_server_fixture.sh"
PORT=$(free_port)
S=$WORK/server
case "$KIND" in
nginx)
    cat > "$S/site.conf" <<CONF
server {
    listen 127.0.0.1:$PORT;
    root $WORK/root;
}
CONF
    nginx_start "$S" "$S/site.conf" "$PORT"
    SERVER=$NGINX_PID
    ;;
apache)
    apache_start "$S" "$WORK/root" "$PORT"
    SERVER=$APACHE_PID
    ;;
*)
    echo "stock_partial_test: nginx or apache, not $KIND" >&2
    exit 2
    ;;
esac
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
status=0
VT_STOCK_URL="http://127.0.0.1:$PORT" VT_STOCK_ROOT="$(winpath "$WORK/root")" \
    "$WINE" "$BUILD/tests/win/vt_release_day_test.exe" --gtest_filter='StockServer.*' \
    >"$WORK/test.log" 2>&1 || status=$?
cat "$WORK/test.log"
grep -q '\[  SKIPPED \]' "$WORK/test.log" && { echo "stock_partial_test: the test was skipped" >&2; status=1; }
grep -q 'GET /VTupdates/maps/world.pak HTTP/1.1" 206' "$S/access.log" ||
    { echo "stock_partial_test: $KIND answered no range request" >&2; cat "$S/access.log"; status=1; }
exit $status
