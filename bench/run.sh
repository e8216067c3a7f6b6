#!/bin/sh
# Benchmarks: the launcher's download of one large file over loopback against
# curl on the same server and file, with the launcher's peak memory.
#   sh bench/run.sh [SIZE_MIB]      (default 1024)
# Needs both presets built (tools/test-all.sh does that). Prints a table.
set -eu
cd "$(dirname "$0")/.."
ROOT=$PWD
SIZE_MIB=${1:-1024}
NATIVE=$ROOT/build/native
WINDOWS=$ROOT/build/windows
SCRATCH=$(mktemp -d /tmp/vt-bench.XXXXXX)
SERVER_PID=""
cleanup() {
    [ -n "$SERVER_PID" ] && kill "$SERVER_PID" 2>/dev/null || true
    rm -rf "$SCRATCH"
}
trap cleanup EXIT INT TERM

export WINEPREFIX=$WINDOWS/wineprefix WINEDEBUG=-all
[ -d "$WINEPREFIX" ] || sh cmake/wine/prefix.sh start >/dev/null
WINE=/usr/lib/wine/wine64

mkdir -p "$SCRATCH/srv/VTupdates" "$SCRATCH/out"
# Random bytes, so nothing on the way can compress or skip them.
head -c "$((SIZE_MIB * 1024 * 1024))" /dev/urandom > "$SCRATCH/srv/VTupdates/big.bin"
"$NATIVE/tools/vt_test_server" "$SCRATCH/srv" > "$SCRATCH/url" &
SERVER_PID=$!
for _ in 1 2 3 4 5 6 7 8 9 10; do [ -s "$SCRATCH/url" ] && break; sleep 0.2; done
URL="$(head -n 1 "$SCRATCH/url")/VTupdates/big.bin"

best_curl=""
best_ours=""
ours_line=""
for round in 1 2 3; do
    rm -f "$SCRATCH/out/"*
    t=$(curl -s -o "$SCRATCH/out/curl.bin" -w '%{time_total}' "$URL")
    ms=$(echo "$t" | awk '{printf "%d", $1 * 1000}')
    [ -z "$best_curl" ] || [ "$ms" -lt "$best_curl" ] && best_curl=$ms
    rm -f "$SCRATCH/out/"*
    line=$($WINE "$WINDOWS/bench/vt_bench_download.exe" "$URL" "Z:$(echo "$SCRATCH/out/ours.bin" | tr / '\\')" | tr -d '\r')
    ms=$(echo "$line" | sed -n 's/.* ms=\([0-9]*\).*/\1/p')
    if [ -z "$best_ours" ] || [ "$ms" -lt "$best_ours" ]; then best_ours=$ms; ours_line=$line; fi
    echo "round $round: curl ${best_curl} ms best so far; ours: $line" >&2
done
cmp -s "$SCRATCH/srv/VTupdates/big.bin" "$SCRATCH/out/ours.bin" && same=yes || same=NO

peak=$(echo "$ours_line" | sed -n 's/.*peak_private_kib=\([0-9]*\).*/\1/p')
ws=$(echo "$ours_line" | sed -n 's/.*peak_working_set_kib=\([0-9]*\).*/\1/p')
echo
echo "Machine: $(nproc) cores, $(awk '/MemTotal/ {printf "%.1f GiB", $2/1048576}' /proc/meminfo), $(uname -sr), $($WINE --version 2>/dev/null || echo wine)"
echo "Download of one ${SIZE_MIB} MiB file over loopback from vt_test_server (best of 3):"
printf '| %-28s | %10s | %10s |\n' "" "ms" "MiB/s"
printf '| %-28s | %10s | %10s |\n' "----------------------------" "----------" "----------"
printf '| %-28s | %10d | %10.1f |\n' "VT_Update DownloadFile" "$best_ours" "$(echo "$SIZE_MIB $best_ours" | awk '{print $1 * 1000 / $2}')"
printf '| %-28s | %10d | %10.1f |\n' "curl -o FILE" "$best_curl" "$(echo "$SIZE_MIB $best_curl" | awk '{print $1 * 1000 / $2}')"
echo "Ratio of throughputs (ours / curl): $(echo "$best_curl $best_ours" | awk '{printf "%.2f", $1 / $2}')"
echo "VT_Update peak private memory: $((peak / 1024)) MiB, peak working set: $((ws / 1024)) MiB; file intact: $same"
