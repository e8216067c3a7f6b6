#!/bin/sh
# Runs every benchmark and prints one table (bench/run.py says what is measured).
#   sh bench/run.sh [--quick] [--only STEP] [--against REV]
# Needs both presets built: sh tools/test-all.sh, or the cmake commands of the README.
# --against REV builds the Windows programs of commit REV in a worktree of
# its own (build/against/REV) and runs every step with them too, right after
# ours, so that the table shows both side by side from the same run.
set -eu
cd "$(dirname "$0")/.."
args=""
while [ $# -gt 0 ]; do
    case "$1" in
    --against)
        rev=$(git rev-parse --short "$2")
        tree="build/against/$rev"
        if [ ! -d "$tree" ]; then
            git worktree prune
            git worktree add --detach "$tree" "$rev" >/dev/null
        fi
        # Only the programs the steps run; the test server and vtlist stay ours.
        cmake --preset windows -S "$tree" >/dev/null
        cmake --build "$tree/build/windows" --target VT_Update vt_bench_download vt_bench_clone >/dev/null
        args="$args --against $tree/build/windows $rev"
        shift 2
        ;;
    *)
        args="$args $1"
        shift
        ;;
    esac
done
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" python3 bench/run.py $args
fi
exec python3 bench/run.py $args
