#!/usr/bin/env bash
# Runs the whole test suite (scripts/test.sh) RUNS times, 5 unless told, beside `stress-ng --cpu 8`:
# eight processes that keep eight cores busy, as on a CI machine shared with other work. Prints each
# run's result and wall time; fails when a run fails or takes longer than LIMIT_S seconds (90).
# Installs stress-ng with apt-get when it is missing; stops it on every way out.
#   usage: bash scripts/test_under_load.sh [RUNS]
set -uo pipefail
cd "$(dirname "$0")/.."

RUNS=${1:-5}
LIMIT_S=${LIMIT_S:-90}
case $RUNS in
  '' | *[!0-9]* | 0) echo "usage: $0 [RUNS]   (RUNS: a whole number of runs, 5 unless given)" >&2; exit 2 ;;
esac

if ! command -v stress-ng >/dev/null; then
  SUDO=""
  if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
  echo "installing stress-ng ..."
  export DEBIAN_FRONTEND=noninteractive
  # Another installer may hold the package lock for a while: wait for it rather than fail.
  if ! $SUDO apt-get install -y -qq --no-install-recommends -o DPkg::Lock::Timeout=300 stress-ng >/dev/null; then
    $SUDO apt-get update -qq -o DPkg::Lock::Timeout=300 &&
      $SUDO apt-get install -y -qq --no-install-recommends -o DPkg::Lock::Timeout=300 stress-ng >/dev/null
  fi
  command -v stress-ng >/dev/null || { echo "stress-ng could not be installed" >&2; exit 1; }
fi

# The build comes first, before the load starts: the runs time the tests, not a first build.
cmake -S . -B build -G Ninja -DTARNWICK_WERROR=ON >/dev/null || exit 1
cmake --build build -j "$(nproc)" || exit 1

# stress-ng and the suite each get a process group of their own, so one signal reaches all their
# processes; stress-ng's own time-out ends it should this script be killed outright. Both run in the
# background and are waited for, so a signal to this script is handled at once, not after the run.
STRESS_PID=""
SUITE_PID=""
# Asks a group to end, then ends what is left of it after five seconds (a program a test put on a
# clock that no longer moves waits for ever).
stop_group() {
  kill -TERM -- "-$1" 2>/dev/null
  for _ in $(seq 50); do
    kill -0 -- "-$1" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL -- "-$1" 2>/dev/null
  wait "$1" 2>/dev/null
}
stop_all() {
  if [ -n "$SUITE_PID" ]; then stop_group "$SUITE_PID"; SUITE_PID=""; fi
  if [ -n "$STRESS_PID" ]; then stop_group "$STRESS_PID"; STRESS_PID=""; fi
}
trap stop_all EXIT
trap 'stop_all; exit 130' INT
trap 'stop_all; exit 143' TERM
trap 'stop_all; exit 129' HUP

setsid stress-ng --cpu 8 --timeout "$((RUNS * 600 + 60))s" --quiet >/dev/null 2>&1 &
STRESS_PID=$!
sleep 2  # the workers are running before the first run starts
if ! kill -0 "$STRESS_PID" 2>/dev/null; then
  echo "stress-ng did not start" >&2
  exit 1
fi

LOGS=build/test-under-load
mkdir -p "$LOGS"
passed=0
slowest=0
for ((run = 1; run <= RUNS; run++)); do
  if ! kill -0 "$STRESS_PID" 2>/dev/null; then
    echo "stress-ng has stopped: run $run and later would not be under load" >&2
    exit 1
  fi
  log="$LOGS/run-$run.log"
  start=$(date +%s.%N)
  setsid bash scripts/test.sh >"$log" 2>&1 &
  SUITE_PID=$!
  wait "$SUITE_PID"
  code=$?
  SUITE_PID=""
  end=$(date +%s.%N)
  took=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.1f", b - a }')
  summary=$(grep -E '^[0-9]+% tests passed' "$log" | tail -n 1)
  skipped=$(grep -c '(Skipped)' "$log")
  verdict=passed
  if [ "$code" != 0 ]; then
    verdict="FAILED (exit $code)"
  elif awk -v t="$took" -v l="$LIMIT_S" 'BEGIN { exit !(t > l) }'; then
    verdict="passed, but over the ${LIMIT_S} s limit"
  else
    passed=$((passed + 1))
  fi
  slowest=$(awk -v t="$took" -v s="$slowest" 'BEGIN { print (t > s ? t : s) }')
  echo "run $run of $RUNS: $verdict in $took s; ${summary:-no summary}, $skipped skipped (log: $log)"
  if [ "$code" != 0 ]; then
    sed -n '/tests failed out of/,$p' "$log" | sed 's/^/    /'
  fi
done
stop_all

echo "$passed of $RUNS runs green within ${LIMIT_S} s beside stress-ng --cpu 8; slowest $slowest s"
[ "$passed" = "$RUNS" ]
