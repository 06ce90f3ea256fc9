#!/usr/bin/env bash
# Speed of the recorder's effects chain and spectrum beside sox: builds the benchmark, makes a minute
# of 44.1 kHz stereo (noise and a tone) with sox, and prints samples per second, multiples of real
# time and the ratio to sox. Not a test: the numbers depend on the machine.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$here/build}"

if ! command -v sox >/dev/null; then
  echo "installing sox" >&2
  SUDO=""
  if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
  $SUDO apt-get install -y -qq sox >/dev/null
fi
if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target tarnwick-recorder-bench >/dev/null

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
sox -n -r 44100 -c 2 -b 16 "$work/minute.wav" synth 60 pinknoise vol 0.3 synth 60 sine mix 440 vol 0.8
"$build/tarnwick-recorder-bench" "$work/minute.wav"
