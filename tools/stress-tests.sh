#!/bin/sh
# Every test under load: runs the README's test command (tools/test-all.sh)
# ROUNDS times in a row (3 unless given) while two processes keep both cores
# busy, as a player's machine or a shared CI machine is. Stops at the first
# round that fails and names the tests that failed in it; each round's whole
# output is kept in build/stress/round-N.log.
#
#   sh tools/stress-tests.sh [ROUNDS]
set -eu
cd "$(dirname "$0")/.."
rounds="${1:-3}"
mkdir -p build/stress

busy=""
stop_load() {
    for pid in $busy; do kill "$pid" 2>/dev/null || true; done
}
trap stop_load EXIT INT TERM
for _ in 1 2; do
    yes > /dev/null &
    busy="$busy $!"
done

round=1
while [ "$round" -le "$rounds" ]; do
    log="build/stress/round-$round.log"
    started=$(date +%s)
    echo "stress: round $round of $rounds, two busy processes beside it ($log)"
    if sh tools/test-all.sh > "$log" 2>&1; then
        echo "stress: round $round passed in $(( $(date +%s) - started )) s"
    else
        echo "stress: round $round FAILED after $(( $(date +%s) - started )) s; what failed:"
        # ctest's summary names the test programs, GoogleTest's lines the tests in them.
        sed -n '/The following tests FAILED:/,/^Errors while running/p' "$log"
        grep -E '^\[  FAILED  \] [A-Za-z_]+\.' "$log" | sort -u || true
        tail -n 5 "$log"
        exit 1
    fi
    round=$((round + 1))
done
echo "stress: $rounds of $rounds rounds passed"
