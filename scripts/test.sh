#!/usr/bin/env bash
# Builds Tarnwick with warnings as errors and runs every test, headless.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DTARNWICK_WERROR=ON >/dev/null
cmake --build build -j "$(nproc)"
export QT_QPA_PLATFORM=offscreen TARNWICK_AUDIO=null
unset DISPLAY WAYLAND_DISPLAY
# Most tests wait on real time (sound played at its pace, the programs' timers, other processes) more
# than they compute: twice as many tests as cores keep the cores busy.
ctest --test-dir build --output-on-failure -j "$(($(nproc) * 2))" --timeout 300
