#!/bin/sh
# vtlist_refusals_test.sh BUILD_DIR NATIVE_VTLIST: what vtlist make leaves out
# or refuses, as a publisher runs it, natively and as vtlist.exe under Wine:
# - a link to a file outside the release is left out and named (natively:
#   Wine shows a Unix link to a file as a plain file), one inside is listed;
# - names no Windows file can have (COM1, nul.txt, con.txt) are refused by
#   name, never opened (vtlist.exe waited without end on COM1), and then
#   nothing is written, exit status 1;
# - --leave-out-refused writes the list without them, still exit status 1.
set -eu
build=$1
native=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
fail() { echo "vtlist_refusals_test.sh: $*"; exit 1; }

mkdir -p "$dir/linked/DATA"
echo "the release's own" > "$dir/linked/DATA/a.txt"
echo "root:x:0:0" > "$dir/outside.txt"
ln -s "$dir/outside.txt" "$dir/linked/DATA/link_out.txt"
ln -s a.txt "$dir/linked/DATA/link_in.txt"
"$native" make "$dir/linked" -o "$dir/linked.dat" > "$dir/out.txt" 2> "$dir/err.txt" || fail "make with links: $(cat "$dir/err.txt")"
grep -q 'left out DATA/link_out.txt (a link to a file outside the release' "$dir/err.txt" ||
    fail "the link out was not named: $(cat "$dir/err.txt")"
! grep -q link_out "$dir/linked.dat" || fail "a link out of the release was listed"
grep -q 'DATA/link_in.txt' "$dir/linked.dat" || fail "a link inside the release was left out"

mkdir "$dir/named"
for name in a.txt nul.txt COM1 con.txt; do echo x > "$dir/named/$name"; done
run() {  # run TOOL ARGS...: the tool's exit status in $status, its words in err.txt
    tool=$1
    shift
    status=0
    if [ "$tool" = native ]; then
        timeout 120 "$native" make "$dir/named" "$@" > "$dir/out.txt" 2> "$dir/err.txt" || status=$?
    else
        timeout 120 /usr/lib/wine/wine64 "$build/tools/vtlist/vtlist.exe" make "$(winpath "$dir/named")" "$@" \
            > "$dir/out.txt" 2> "$dir/err.txt" || status=$?
    fi
}
for tool in native exe; do
    rm -f "$dir/named.dat" "$dir/named.dat.vtsums"
    out=$dir/named.dat
    [ "$tool" = exe ] && out=$(winpath "$dir/named.dat")
    run $tool -o "$out"
    [ "$status" -ne 124 ] || fail "$tool: make did not end (a device name was opened)"
    [ "$status" -eq 1 ] || fail "$tool: exit status $status, not 1: $(cat "$dir/err.txt")"
    for name in nul.txt COM1 con.txt; do
        grep -q "refused \"$name\"" "$dir/err.txt" || fail "$tool: $name was not refused by name: $(cat "$dir/err.txt")"
    done
    [ ! -e "$dir/named.dat" ] && [ ! -e "$dir/named.dat.vtsums" ] || fail "$tool: a list was written with names refused"
    run $tool -o "$out" --leave-out-refused
    [ "$status" -eq 1 ] || fail "$tool --leave-out-refused: exit status $status, not 1: $(cat "$dir/err.txt")"
    [ -e "$dir/named.dat" ] || fail "$tool --leave-out-refused: no list: $(cat "$dir/err.txt")"
    [ "$(tr -d '\r' < "$dir/named.dat" | sed 1d | cut -d'|' -f1 | tr -d '\t')" = a.txt ] ||
        fail "$tool --leave-out-refused: the list is not a.txt alone: $(cat "$dir/named.dat")"
done
# A list over the launcher's cap (every launcher ends with E1) is refused by
# lint and sign by its size, without being read: a sparse file of 70 MB.
truncate -s 70000021 "$dir/huge.dat"
for tool in native exe; do
    status=0
    if [ "$tool" = native ]; then
        timeout 120 "$native" lint "$dir/huge.dat" > "$dir/out.txt" 2>&1 || status=$?
    else
        timeout 120 /usr/lib/wine/wine64 "$build/tools/vtlist/vtlist.exe" lint "$(winpath "$dir/huge.dat")" \
            > "$dir/out.txt" 2>&1 || status=$?
    fi
    [ "$status" -eq 1 ] || fail "$tool lint of a list over the cap: exit status $status: $(cat "$dir/out.txt")"
    grep -q "70000021 bytes, over the 67108864 bytes every launcher takes" "$dir/out.txt" ||
        fail "$tool lint did not name the cap: $(cat "$dir/out.txt")"
done
"$native" keygen "$dir/k.key" > /dev/null
status=0
"$native" sign "$dir/huge.dat" --root "$dir/named" --key "$dir/k.key" > "$dir/out.txt" 2>&1 || status=$?
[ "$status" -eq 1 ] && [ ! -e "$dir/huge.dat.vtsums" ] || fail "sign of a list over the cap: exit status $status: $(cat "$dir/out.txt")"
grep -q "70000021 bytes, over the 67108864 bytes every launcher takes.*nothing was written" "$dir/out.txt" ||
    fail "sign: $(cat "$dir/out.txt")"

echo "vtlist_refusals_test.sh: links out left out, device names refused unopened, nothing written when refused, lists over the cap refused"
