#!/bin/sh
# sign_programs.sh CERT.pem KEY.pem FILE.exe...: signs the programs with the
# publisher's code-signing certificate (Authenticode, SHA-256, with the
# certificate's chain), in place, using Debian's osslsigncode. Signed programs
# meet fewer SmartScreen warnings and antivirus false positives.
#   CERT.pem  the certificate, followed by its intermediate certificates
#   KEY.pem   its private key (unencrypted; keep it offline like the list key)
# Set SIGN_TIMESTAMP_URL to your authority's timestamp server to add a
# timestamp (a signature then stays valid after the certificate expires); the
# signing itself needs no network.
set -eu
[ $# -ge 3 ] || { echo "usage: sign_programs.sh CERT.pem KEY.pem FILE.exe..." >&2; exit 2; }
cert=$1 key=$2
shift 2
for program in "$@"; do
    signed="$program.signed"
    set -- -certs "$cert" -key "$key" -h sha256 -n "Vortane Mod Launcher" -in "$program" -out "$signed"
    [ -n "${SIGN_TIMESTAMP_URL:-}" ] && set -- "$@" -ts "$SIGN_TIMESTAMP_URL"
    if ! osslsigncode sign "$@" >/dev/null; then
        rm -f "$signed"
        echo "sign_programs.sh: $program could not be signed" >&2
        exit 1
    fi
    mv "$signed" "$program"   # replaced in one step: the unsigned program stays on any failure
    echo "signed $program"
done
