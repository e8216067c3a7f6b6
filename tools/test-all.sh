#!/bin/sh
# The whole test run: installs what is missing, builds both presets and runs
# every test (natively, then the Windows build under Wine on a virtual display).
set -eu
cd "$(dirname "$0")/.."
sh tools/setup.sh

cmake --preset native
cmake --build --preset native
ctest --preset native

# Entry parsing and stamps under libFuzzer, for a bounded time.
cmake --preset fuzz
cmake --build --preset fuzz
ctest --preset fuzz

cmake --preset windows
cmake --build --preset windows
# Wine needs a display for every window and message box: Xvfb provides one.
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --preset windows

# The main job, headless: the whole road on the sample mod must stay whole,
# also laid out in a folder named in Cyrillic, Polish, CJK and emoji.
sh tools/demo.sh --headless
VT_DEMO_DIR="$PWD/build/demo-Игра Gra łść 游戏 🎮" sh tools/demo.sh --headless
