#!/usr/bin/env bash
# What the recorder costs, each figure beside its reference from the same run: builds the benchmark
# (it needs FFTW, which only it uses, and sox), makes a minute of 44.1 kHz stereo (noise and a tone)
# with sox, and prints the effects chain beside sox, the spectrum's transform beside FFTW, and the
# share of one core that recording with every effect and display on takes: in the recorder's window
# alone, beside a plain Qt window that only repaints pictures of the displays' sizes as often, and in
# the program as it runs with every tool loaded, beside the same program idling. Prints for each aim
# whether it is met; exit status 1 when one is not. Not a test: the numbers depend on the machine and
# on what else runs on it.
#   ROUNDS  rounds of each recording measurement (default 3); they are judged on their median
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$here/build}"
ROUNDS=${ROUNDS:-3}

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
cmake --build "$build" --target tarnwick-recorder-bench tarnwick-display-reference tarnwick-recording-in-program \
  tarnwick-host tarnwick_e2e_tests >/dev/null

work="$(mktemp -d)"
host=""
cleanup() {
  [ -n "$host" ] && kill "$host" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
status=0
sox -n -r 44100 -c 2 -b 16 "$work/minute.wav" synth 60 pinknoise vol 0.3 synth 60 sine mix 440 vol 0.8
"$build/tarnwick-recorder-bench" "$work/minute.wav" | tee "$work/dsp.out" || status=1
grep -q 'not met' "$work/dsp.out" && status=1

export QT_QPA_PLATFORM=offscreen TARNWICK_AUDIO=null TARNWICK_ANSWER=ok
unset DISPLAY WAYLAND_DISPLAY

# The recorder's window alone (the program's own measurement: four seconds of recording on the real
# window, offscreen, every effect and display on) beside a Qt window that does nothing but repaint
# pictures of the displays' sizes as often. The two run at the same time, the reference twice over
# the recorder's two windows, so both see the machine as it is then: what a wake-up of the loop costs
# a virtual machine can double from one minute to the next.
echo
for round in $(seq "$ROUNDS"); do
  for _ in 1 2; do "$build/tarnwick-display-reference" 2>/dev/null | grep '^reference,' >>"$work/ref$round" || true; done &
  "$build/tests/tarnwick_e2e_tests" --gtest_filter='RecorderEndToEnd.Cost*' 2>/dev/null | grep '^recorder,' |
    tee -a "$work/alone.out" || true
  wait $!
  tee -a "$work/alone.out" <"$work/ref$round"
done

# The program as it runs: every tool loaded against a simulated host of its own, the recorder's
# window opened, idling and then recording.
echo
for round in $(seq "$ROUNDS"); do
  dir="$work/program$round"
  mkdir -p "$dir/cfg" "$dir/drives"
  export TARNWICK_HOST="$dir/host.sock" TARNWICK_CONFIG_DIR="$dir/cfg" TARNWICK_DRIVES="$dir/drives"
  "$build/tarnwick-host" serve --log "$dir/host.log" >/dev/null 2>&1 &
  host=$!
  for _ in $(seq 100); do "$build/tarnwick-host" state >/dev/null 2>&1 && break; sleep 0.1; done
  "$build/tarnwick-recording-in-program" "$work/minute.wav" "$dir/take.wav" 2>"$dir/err" | grep '^program,' |
    tee -a "$work/program.out" || {
    echo "round $round in the program failed:" >&2
    tail -5 "$dir/err" >&2
  }
  kill "$host"
  wait "$host" 2>/dev/null || true
  host=""
done

echo
python3 - "$work/alone.out" "$work/program.out" "$ROUNDS" <<'EOF' || status=1
import re, statistics, sys

AIM = 1.0  # % of one core
rounds = int(sys.argv[3])

def shares(path, prefix):
    # {window: [[share of one core, ...], ...]} of the lines that start with the prefix: the one share
    # of "... (S % of one core)", or the process's and the main thread's of "process P % ..., main thread T %".
    out = {}
    for line in open(path):
        if not line.startswith(prefix):
            continue
        when = line.split(":")[0]
        both = re.search(r"process ([0-9.]+) %.*main thread ([0-9.]+) %", line)
        found = both.groups() if both else re.findall(r"([0-9.]+) % of one core", line)
        out.setdefault(when, []).append([float(x) for x in found])
    return out

def whole(measured, windows):
    # Every window measured in every round.
    if len(measured) == windows and all(len(v) == rounds for v in measured.values()):
        return True
    print(f"  not every round was measured: {sum(len(v) for v in measured.values())} of {windows * rounds} windows")
    return False

# The recorder's window alone: each window's median over the rounds, the reference's beside it (on a
# busy machine a thread's CPU clock also counts time taken from it, and the reference shows how much).
alone = shares(sys.argv[1], "recorder,")
reference = [s[0] for v in shares(sys.argv[1], "reference,").values() for s in v]
print(f"the recorder's window alone (the reference: {statistics.median(reference or [float('nan')]):.2f} %)")
good_alone = whole(alone, 2)
for when, values in alone.items():
    m = statistics.median(v[0] for v in values)
    good_alone = good_alone and m <= AIM
    print(f"  recording, {when.split(', ')[-1]}: {m:.2f} % of one core, median of {len(values)}")
print(f"aim, recording in the recorder's window alone at most {AIM:g} % of one core: {'met' if good_alone else 'not met'}")

# In the program: each round's recording less the same round's idling, for the whole process (what the
# recording adds on every thread) and for its main thread.
program = shares(sys.argv[2], "program,")
idle = program.get("program, every tool loaded, idle", [])
print("in the program with every tool loaded (idling: process %.2f %%, main thread %.2f %%)"
      % (statistics.median([i[0] for i in idle] or [float("nan")]), statistics.median([i[1] for i in idle] or [float("nan")])))
good_program = whole(program, 3)
for when, values in program.items():
    if "recording" not in when or len(values) != len(idle):
        continue
    process = statistics.median(r[0] - i[0] for r, i in zip(values, idle))
    thread = statistics.median(r[1] - i[1] for r, i in zip(values, idle))
    good_program = good_program and process <= AIM
    print(f"  {when.split(', ', 1)[-1]}: recording adds {process:.2f} % of one core to the process "
          f"({thread:.2f} % on its main thread), median of {len(values)}")
print(f"aim, recording in the program with every tool loaded at most {AIM:g} % of one core: "
      f"{'met' if good_program else 'not met'}")
sys.exit(0 if good_alone and good_program else 1)
EOF
exit $status
