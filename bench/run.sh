#!/bin/sh
# Runs every benchmark and prints one table (bench/run.py says what is measured).
#   sh bench/run.sh [--quick]
# Needs both presets built: sh tools/test-all.sh, or the cmake commands of the README.
set -eu
cd "$(dirname "$0")/.."
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" python3 bench/run.py "$@"
fi
exec python3 bench/run.py "$@"
