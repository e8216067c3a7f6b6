#!/bin/sh
# walkthrough_test.sh BUILD_DIR SOURCE_DIR: runs every sh block of the
# publishers' walkthrough (docs/publishers.md), in order, as a publisher
# would, with three places moved into a scratch folder: the home folder,
# /srv/vortane, and the server's name (nginx on 127.0.0.1 serving the
# walkthrough's folder through dist/nginx-vortane.conf). Then a launcher with
# the PUBLICKEY= line the walkthrough printed updates from the result: once
# after the first release, once more after the key change.
set -eu
BUILD=$1
SRC=$2
WINE=/usr/lib/wine/wine64
WORK=$(mktemp -d /tmp/vt-walk.XXXXXX)
SERVER=""
trap '[ -n "$SERVER" ] && kill $SERVER 2>/dev/null; rm -rf "$WORK"' EXIT INT TERM
mkdir -p "$WORK/home" "$WORK/srv" "$WORK/nginx"

# nginx, with the server block as the guide ships it.
. "$SRC/tests/win/stock_server_fixture.sh"
PORT=$(free_port)
N=$WORK/nginx
sed -e "s|listen 80;|listen 127.0.0.1:$PORT;|" -e "s|root /srv/vortane;|root $WORK/srv/vortane;|" \
    "$SRC/dist/nginx-vortane.conf" > "$N/site.conf"
grep -q "listen 127.0.0.1:$PORT;" "$N/site.conf" && grep -q "root $WORK/srv/vortane;" "$N/site.conf" ||
    { echo "walkthrough_test: dist/nginx-vortane.conf no longer has the lines this test moves" >&2; exit 1; }
nginx_start "$N" "$N/site.conf" "$PORT"
SERVER=$NGINX_PID

# The walkthrough's sh blocks, in order.
awk '/^## Walkthrough/ { on = 1; next } /^## / { on = 0 } on && /^```sh$/ { block = 1; next }
     on && /^```$/ { block = 0; print "echo \"walkthrough: --- block done\""; next } on && block { print }' \
    "$SRC/docs/publishers.md" |
    sed -e "s|/srv/vortane|$WORK/srv/vortane|g" -e "s|http://update.vortane-mod.net/|http://127.0.0.1:$PORT/|g" \
    > "$WORK/walkthrough.sh"
blocks=$(grep -c 'block done' "$WORK/walkthrough.sh")
[ "$blocks" -ge 6 ] || { echo "walkthrough_test: only $blocks sh blocks found in the walkthrough" >&2; exit 1; }
echo "walkthrough_test: running $blocks blocks of docs/publishers.md"
(cd "$SRC" && HOME=$WORK/home sh -eux "$WORK/walkthrough.sh") > "$WORK/walkthrough.log" 2>&1 ||
    { cat "$WORK/walkthrough.log"; echo "walkthrough_test: a walkthrough command failed" >&2; exit 1; }
cat "$WORK/walkthrough.log"

# What the walkthrough made: never a key, an unsigned or a numberless side file.
SITE=$WORK/srv/vortane/VTupdates
for f in update.dat update.dat.vtsums Index.html DATA/MAPS/arena.ini EXE/readme.txt; do
    [ -f "$SITE/$f" ] || { echo "walkthrough_test: $f is not on the server" >&2; exit 1; }
done
if grep -rl '^VTKEY 1' "$SITE" >/dev/null; then echo "walkthrough_test: a key file reached the server" >&2; exit 1; fi
grep -q '^release [0-9]' "$SITE/update.dat.vtsums" && grep -q '^signature ' "$SITE/update.dat.vtsums" &&
    grep -q '^rotate ' "$SITE/update.dat.vtsums" ||
    { echo "walkthrough_test: the last side file lacks its release, rotation or signature" >&2; exit 1; }
first_key=$(grep -m1 '^PUBLICKEY=' "$WORK/walkthrough.log")

# A player with the first key's line updates from the rotated release.
EXE=$WORK/install/EXE
mkdir -p "$EXE"
cp "$BUILD/launcher/VT_Update.exe" "$SRC/sample/install/LocalLauncher.htm" "$EXE/"
printf 'WEBPATH=http://127.0.0.1:%s/VTupdates/\r\n%s\r\n' "$PORT" "$first_key" > "$EXE/UPDATE.CFG"
cd "$EXE"
"$WINE" VT_Update.exe >/dev/null 2>&1 &
launcher=$!   # the Wine process is the program itself
for _ in $(seq 1 300); do grep -q ' ENDING ' "$EXE/VT_Update.log" 2>/dev/null && break; sleep 0.1; done
kill "$launcher" 2>/dev/null || true
cat "$EXE/VT_Update.log"
grep -q ' ENDING Done.$' "$EXE/VT_Update.log" || { echo "walkthrough_test: the launcher did not end Done" >&2; exit 1; }
grep -q 'the key changed from ' "$EXE/VT_Update.log" || { echo "walkthrough_test: the key change was not followed" >&2; exit 1; }
cmp "$EXE/../DATA/MAPS/arena.ini" "$SRC/sample/release/VTupdates/maps/arena.ini" ||
    { echo "walkthrough_test: arena.ini is not the release's" >&2; exit 1; }
echo "walkthrough_test: the walkthrough's release installs"
