#!/usr/bin/env bash
# What the recorder costs, each figure beside its reference from the same run: builds the benchmark
# (it needs FFTW, which only it uses, and sox), makes a minute of 44.1 kHz stereo (noise and a tone)
# with sox, and prints the effects chain beside sox, the spectrum's transform beside FFTW, and the
# share of one core that recording with every effect and display on takes in the real window beside
# a plain Qt window that only repaints pictures of the displays' sizes as often. Not a test: the
# numbers depend on the machine and on what else runs on it.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$here/build}"

missing=()
command -v sox >/dev/null || missing+=(sox)
pkg-config --exists fftw3 2>/dev/null || missing+=(libfftw3-dev)
if [ "${#missing[@]}" -gt 0 ]; then
  echo "installing ${missing[*]}" >&2
  SUDO=""
  if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
  $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi
if [ -f "$build/CMakeCache.txt" ]; then
  cmake "$build" >/dev/null  # finds FFTW if it was installed just now
else
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target tarnwick-recorder-bench tarnwick-display-reference tarnwick_e2e_tests >/dev/null

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
sox -n -r 44100 -c 2 -b 16 "$work/minute.wav" synth 60 pinknoise vol 0.3 synth 60 sine mix 440 vol 0.8
"$build/tarnwick-recorder-bench" "$work/minute.wav"

# The program's own measurement (four seconds of recording on the real window, offscreen, every
# effect and display on) beside a Qt window that does nothing but repaint pictures of the displays'
# sizes as often, in turns.
echo
export QT_QPA_PLATFORM=offscreen TARNWICK_AUDIO=null
unset DISPLAY WAYLAND_DISPLAY
for round in 1 2 3; do
  "$build/tests/tarnwick_e2e_tests" --gtest_filter='RecorderEndToEnd.Cost*' 2>/dev/null | grep '^recorder,' || true
  "$build/tarnwick-display-reference" 2>/dev/null | grep '^reference,' || true
done
echo "(aim: recording at most 1 % of one core)"
