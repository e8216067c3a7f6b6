#!/bin/sh
# Installs everything the project needs to build and test, with apt-get.
# Idempotent: when every package is there it only checks and returns.
set -eu
PACKAGES="cmake ninja-build g++ clang libclang-rt-14-dev googletest libgtest-dev
g++-mingw-w64-x86-64-posix wine64 xvfb xauth imagemagick python3 curl wget zip unzip tzdata
nginx-light openssl libssl-dev aria2 libxxhash-dev tesseract-ocr tesseract-ocr-eng libcurl4-openssl-dev osslsigncode zsync apache2-bin media-types
libgcrypt-mingw-w64-dev libgpg-error-mingw-w64-dev"

missing=""
for p in $PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -z "$missing" ]; then
    echo "setup: all packages present"
    exit 0
fi
echo "setup: installing$missing"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
