#!/bin/sh
# sign_programs_test.sh BUILD_DIR SOURCE_DIR: the documented signing step on
# copies of VT_Update.exe, vtwd.exe and vtlist.exe, with a test code-signing
# certificate made here: each signature must verify against the test
# authority, a signed vtlist.exe must still run, and a failed signing must
# leave the program as it was.
set -eu
build=$1 src=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Vortane test code-signing authority" \
    -keyout ca.key -out ca.pem -addext "basicConstraints=critical,CA:TRUE" \
    -addext "keyUsage=critical,keyCertSign" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj "/CN=Vortane Mod Team (test)" -keyout sign.key -out sign.csr 2>/dev/null
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' > sign.ext
openssl x509 -req -in sign.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile sign.ext -out sign.pem 2>/dev/null
cp "$build/launcher/VT_Update.exe" "$build/starter/vtwd.exe" "$build/tools/vtlist/vtlist.exe" .
sh "$src/tools/sign_programs.sh" sign.pem sign.key VT_Update.exe vtwd.exe vtlist.exe
for program in VT_Update.exe vtwd.exe vtlist.exe; do
    osslsigncode verify -CAfile ca.pem -in "$program" > "$program.verify" 2>&1 ||
        { cat "$program.verify"; echo "sign_programs_test.sh: $program does not verify"; exit 1; }
    grep -q 'Signature verification: ok' "$program.verify" || { cat "$program.verify"; exit 1; }
done
# A signed vtlist.exe still works.
/usr/lib/wine/wine64 ./vtlist.exe --help | grep -q '^usage: vtlist make' || { echo "sign_programs_test.sh: the signed vtlist.exe does not run"; exit 1; }
# A wrong key signs nothing and leaves the program as it was.
openssl req -newkey rsa:2048 -nodes -subj "/CN=other" -keyout other.key -out other.csr 2>/dev/null
before=$(sha256sum vtwd.exe)
if sh "$src/tools/sign_programs.sh" sign.pem other.key vtwd.exe 2>/dev/null; then
    echo "sign_programs_test.sh: a key that is not the certificate's signed"; exit 1
fi
[ "$(sha256sum vtwd.exe)" = "$before" ] || { echo "sign_programs_test.sh: a failed signing changed vtwd.exe"; exit 1; }
echo "sign_programs_test.sh: three programs signed and verified"
