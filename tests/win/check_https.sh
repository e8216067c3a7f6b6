#!/bin/sh
# check_https.sh BUILD_DIR TLS_DIR NATIVE_VTLIST: `vtlist check` over https, as
# a player's launcher asks: the native vtlist (libcurl) with the test
# authority given by --cacert, and refusing the server without it; vtlist.exe
# (WinINet) trusting what the Wine prefix trusts. The release has a name with
# a blank and an accent, which must not give a false "HTTP 400".
set -eu
build=$1 tls=$2 vtlist=$3
release="$tls/www/VTupdates"
rm -rf "$release"
mkdir -p "$release/maps"
printf '<!-- Vortane Mod Launcher -->\r\n<html><body>https</body></html>\r\n' > "$release/Index.html"
printf '[forest]' > "$release/maps/for$(printf '\303\252')t du nord.ini"
printf 'read me' > "$release/readme.txt"
# The list and its side file beside the release, then in place (vtlist never
# lists its own outputs, and Index.html is a file like any other for make).
"$vtlist" make "$release" --skip Index.html -o "$tls/update.dat"
mv "$tls/update.dat" "$tls/update.dat.vtsums" "$release/"
url="https://localhost:$(cat "$tls/trusted.port")/VTupdates/"

"$vtlist" check "$url" --cacert "$tls/ca.pem" > "$tls/native.out" 2>&1 || { cat "$tls/native.out"; echo "check_https.sh: native check failed"; exit 1; }
grep -q '^2 file(s) checked, 2 of them against the side file' "$tls/native.out" || { cat "$tls/native.out"; exit 1; }
if "$vtlist" check "$url" > "$tls/untrusted.out" 2>&1; then
    echo "check_https.sh: the native check trusted a server no authority vouches for"; exit 1
fi
grep -qi 'certificate' "$tls/untrusted.out" || { cat "$tls/untrusted.out"; echo "check_https.sh: the refusal does not name the certificate"; exit 1; }

/usr/lib/wine/wine64 "$build/tools/vtlist/vtlist.exe" check "$url" > "$tls/exe.out" 2>&1 || { cat "$tls/exe.out"; echo "check_https.sh: vtlist.exe check failed"; exit 1; }
grep -q '^2 file(s) checked, 2 of them against the side file' "$tls/exe.out" || { cat "$tls/exe.out"; exit 1; }
echo "check_https.sh: https checked natively and by vtlist.exe"
