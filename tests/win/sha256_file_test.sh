#!/bin/sh
# sha256_file_test.sh BUILD_DIR: the SHA-256 vtlist.exe writes into a side
# file (read from disk in 1 MiB pieces, as the launcher reads a player's
# copy) is sha256sum's, for every size around a piece's edge and an empty
# file, as a publisher runs it: vtlist make FOLDER -o FILE.
set -eu
build=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
mkdir "$dir/release"
i=0
for size in 0 1 55 64 1048575 1048576 1048577 3145745 5000000; do
    head -c "$size" /dev/urandom > "$dir/release/file$i.bin"
    i=$((i + 1))
done
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
/usr/lib/wine/wine64 "$build/tools/vtlist/vtlist.exe" make "$(winpath "$dir/release")" --blocks-from none \
    -o "$(winpath "$dir/update.dat")" > "$dir/out.txt" 2>&1 || { cat "$dir/out.txt"; exit 1; }
# "entry N SIZE SHA256 WORD": sizes and digests, against stat and sha256sum.
sed -n 's/^entry [0-9]* \([0-9]*\) \([0-9a-f]*\) .*/\1 \2/p' "$dir/update.dat.vtsums" | tr -d '\r' | sort > "$dir/ours.txt"
for f in "$dir"/release/*; do
    echo "$(stat -c %s "$f") $(sha256sum "$f" | cut -d' ' -f1)"
done | sort > "$dir/theirs.txt"
[ "$(wc -l < "$dir/ours.txt")" -eq "$i" ] || { echo "sha256_file_test.sh: expected $i entries"; cat "$dir/update.dat.vtsums"; exit 1; }
if ! diff "$dir/theirs.txt" "$dir/ours.txt"; then
    echo "sha256_file_test.sh: vtlist.exe's SHA-256 of a file differs from sha256sum's"
    exit 1
fi
echo "sha256_file_test.sh: $i files, vtlist.exe's SHA-256 is sha256sum's"
