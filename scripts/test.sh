#!/usr/bin/env bash
# Builds Tarnwick with warnings as errors and runs every test, headless.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DTARNWICK_WERROR=ON >/dev/null
cmake --build build -j "$(nproc)"
export QT_QPA_PLATFORM=offscreen TARNWICK_AUDIO=null
unset DISPLAY WAYLAND_DISPLAY
ctest --test-dir build --output-on-failure -j "$(nproc)" --timeout 300
