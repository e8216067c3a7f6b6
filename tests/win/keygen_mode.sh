#!/bin/sh
# keygen_mode.sh BUILD_DIR: the private key vtlist.exe writes under Wine is not
# readable by other users, and a second keygen never replaces it.
# The key gets a DACL that grants its creator alone; Wine turns an ACE for a
# SID of the user's token into user and group bits (its group is the user's
# own group on Debian), so the mode is 0640 where Windows enforces owner-only;
# what must never be there is access for others (the 0644 of an inherited
# DACL) or write access for the group.
set -eu
build=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
key="$dir/publisher.key"
/usr/lib/wine/wine64 "$build/tools/vtlist/vtlist.exe" keygen "$(printf 'Z:%s' "$key" | tr / '\\')" > "$dir/out.txt"
grep -q '^PUBLICKEY=[0-9a-f]\{128\}' "$dir/out.txt" || { echo "keygen_mode.sh: no PUBLICKEY= line"; exit 1; }
mode=$(stat -c %a "$key")
echo "keygen_mode.sh: vtlist.exe keygen wrote mode $mode"
if [ $((0$mode & 027)) -ne 0 ]; then
    echo "keygen_mode.sh: the key is readable by others or writable by the group (mode $mode)"
    exit 1
fi
before=$(sha256sum "$key")
if /usr/lib/wine/wine64 "$build/tools/vtlist/vtlist.exe" keygen "$(printf 'Z:%s' "$key" | tr / '\\')" > "$dir/again.txt" 2>&1; then
    echo "keygen_mode.sh: a second keygen over the key succeeded"
    exit 1
fi
grep -q 'exists' "$dir/again.txt" || { echo "keygen_mode.sh: the refusal does not say the file exists"; cat "$dir/again.txt"; exit 1; }
[ "$(sha256sum "$key")" = "$before" ] || { echo "keygen_mode.sh: the key changed"; exit 1; }
echo "keygen_mode.sh: owner-only key, kept on a second keygen"
