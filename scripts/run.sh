#!/usr/bin/env bash
# Builds Tarnwick and runs it against the simulated EchoLink host, which it starts when none runs.
# Drive the host from another terminal with build/tarnwick-host (see README).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)" --target tarnwick tarnwick-host
if ! build/tarnwick-host state >/dev/null 2>&1; then
  build/tarnwick-host serve --callsign "${TARNWICK_CALLSIGN:-N0CALL-L}" &
  host_pid=$!
  trap 'kill $host_pid 2>/dev/null || true' EXIT
  for _ in $(seq 50); do build/tarnwick-host state >/dev/null 2>&1 && break; sleep 0.1; done
fi
build/tarnwick "$@"
