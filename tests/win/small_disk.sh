#!/bin/sh
# small_disk.sh BUILD_DIR: the tests of a nearly full disk. Mounts a tmpfs of
# 24 MiB (as root, which the test machines are), runs the SmallDisk tests of
# the download and starter test programs on it under Wine, and unmounts it.
# Elsewhere those tests skip; here each must run and pass.
set -eu
build=$1
disk="$build/small_disk"
mkdir -p "$disk"
if mountpoint -q "$disk"; then umount "$disk"; fi
if ! mount -t tmpfs -o size=24m vt_small_disk "$disk"; then
    echo "small_disk.sh: cannot mount a tmpfs at $disk (it needs root)" >&2
    exit 1
fi
trap 'umount "$disk" 2>/dev/null || umount -l "$disk"' EXIT
VT_SMALL_DISK=$(printf 'Z:%s' "$disk" | tr / '\\')
export VT_SMALL_DISK
cd "$build/tests/win"
status=0
for program in vt_download_file_test vt_starter_program_test; do
    out=$(/usr/lib/wine/wine64 "$program.exe" --gtest_filter='SmallDisk.*' 2>&1) || status=1
    printf '%s\n' "$out"
    # A filter that ran nothing, or tests that skipped, prove nothing.
    printf '%s\n' "$out" | grep -q '^\[ RUN      \]' || { echo "small_disk.sh: $program ran no SmallDisk test" >&2; status=1; }
    if printf '%s\n' "$out" | grep -q '^\[  SKIPPED \]'; then echo "small_disk.sh: $program skipped" >&2; status=1; fi
done
exit $status
