#!/usr/bin/env bash
# Benchmark of the tool box at rest: every tool loaded, nothing happening, against the simulated host,
# beside a Qt Widgets hello world run at the same time. Prints for both the share of one core, the
# wake-ups a second (those of the event loop, which the program chooses, and all of them, which also
# count every wait for one of the host's replies) and, for the tool box, the host calls a second that
# its tools make, and whether each aim is met (exit status 1 when one is not). Not a test: the figures
# depend on the machine.
#   SECONDS_IDLE  length of the measurement (default 60)
#   SETTLE        seconds the programs run before it (default 10)
# The loop's wake-ups are counted with perf (package linux-perf) and need root or a perf_event_paranoid
# of -1; without them the script says so and prints the rest.
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_IDLE=${SECONDS_IDLE:-60}
SETTLE=${SETTLE:-10}

cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target tarnwick tarnwick-host tarnwick-idle-hello | grep -v '^\[' || true

work=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

unset DISPLAY WAYLAND_DISPLAY
export QT_QPA_PLATFORM=offscreen TARNWICK_AUDIO=null TARNWICK_ANSWER=ok
export TARNWICK_HOST="$work/host.sock" TARNWICK_CONFIG_DIR="$work/cfg" TARNWICK_DRIVES="$work/drives"
mkdir -p "$work/cfg" "$work/drives"

build/tarnwick-host serve --log "$work/host.log" >/dev/null 2>&1 &
host=$!
pids+=("$host")
for _ in $(seq 100); do build/tarnwick-host state >/dev/null 2>&1 && break; sleep 0.1; done
build/tarnwick 2>"$work/tarnwick.err" &
app=$!
pids+=("$app")
build/tarnwick-idle-hello &
hello=$!
pids+=("$hello")
# Every tool is loaded once the last one has introduced itself to the host.
for _ in $(seq 300); do grep -q '"link":"Form14"' "$work/host.log" 2>/dev/null && break; sleep 0.1; done
grep -q '"link":"Form14"' "$work/host.log" || { echo "tarnwick did not load its tools" >&2; cat "$work/tarnwick.err" >&2; exit 1; }
sleep "$SETTLE"

# CPU time of every thread of a process, in nanoseconds.
cpu_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ s += $1 } END { print s + 0 }'; }
# Times the threads of a process went to sleep and were woken again.
sleeps() { cat /proc/"$1"/task/*/status 2>/dev/null | awk '/^voluntary_ctxt_switches/ { s += $2 } END { print s + 0 }'; }
calls() { grep -c '"op":' "$work/host.log" || true; }

perf_ok=0
if command -v perf >/dev/null && perf stat -e sched:sched_waking -a true >/dev/null 2>&1; then perf_ok=1; fi

a_cpu0=$(cpu_ns "$app"); h_cpu0=$(cpu_ns "$hello")
a_sl0=$(sleeps "$app"); h_sl0=$(sleeps "$hello")
calls0=$(calls)
t0=$(date +%s.%N)
if [ "$perf_ok" = 1 ]; then
    # Who woke each main thread: the host (its replies and events) or anything else (the loop's
    # timers, its own threads, input).
    perf stat -x, -o "$work/perf.csv" -a \
        -e sched:sched_waking --filter "pid == $app" \
        -e sched:sched_waking --filter "pid == $app && common_pid == $host" \
        -e sched:sched_waking --filter "pid == $hello" \
        sleep "$SECONDS_IDLE" 2>/dev/null
else
    sleep "$SECONDS_IDLE"
fi
t1=$(date +%s.%N)
a_cpu1=$(cpu_ns "$app"); h_cpu1=$(cpu_ns "$hello")
a_sl1=$(sleeps "$app"); h_sl1=$(sleeps "$hello")
calls1=$(calls)
kill -0 "$app" 2>/dev/null || { echo "tarnwick ended during the measurement" >&2; cat "$work/tarnwick.err" >&2; exit 1; }
kill -0 "$hello" 2>/dev/null || { echo "the hello world ended during the measurement" >&2; exit 1; }

python=/usr/bin/python3
[ -x "$python" ] || python=python3
"$python" - "$t0" "$t1" "$a_cpu0" "$a_cpu1" "$h_cpu0" "$h_cpu1" "$a_sl0" "$a_sl1" "$h_sl0" "$h_sl1" \
    "$calls0" "$calls1" "$perf_ok" "$work/perf.csv" <<'EOF'
import sys
t0, t1 = float(sys.argv[1]), float(sys.argv[2])
a_cpu0, a_cpu1, h_cpu0, h_cpu1, a_sl0, a_sl1, h_sl0, h_sl1, c0, c1, perf_ok = map(int, sys.argv[3:14])
span = t1 - t0
a_cpu = (a_cpu1 - a_cpu0) / 1e9 / span * 100
h_cpu = (h_cpu1 - h_cpu0) / 1e9 / span * 100
a_all = (a_sl1 - a_sl0) / span
h_all = (h_sl1 - h_sl0) / span
calls = (c1 - c0) / span
a_loop = h_loop = None
if perf_ok:
    counts = [int(line.split(",")[0]) for line in open(sys.argv[14]) if line.strip() and line[0].isdigit()]
    if len(counts) == 3:
        a_loop = (counts[0] - counts[1]) / span
        h_loop = counts[2] / span

def ratio(a, b):
    return f"{a / b:9.1f}" if b else f"{'-':>9}"

print(f"idle for {span:.0f} s, every tool loaded        {'tarnwick':>10} {'hello world':>12} {'ratio':>9}")
print(f"CPU, % of one core                        {a_cpu:10.3f} {h_cpu:12.3f} {ratio(a_cpu, h_cpu)}")
if a_loop is not None:
    print(f"loop wake-ups a second                    {a_loop:10.2f} {h_loop:12.2f} {ratio(a_loop, h_loop)}")
else:
    print("loop wake-ups a second                    (needs perf as root; not measured)")
print(f"all wake-ups a second (host replies too)  {a_all:10.2f} {h_all:12.2f} {ratio(a_all, h_all)}")
print(f"host calls a second                       {calls:10.2f} {'-':>12}")
print(f"aim, CPU at most 0.3 % of one core: {'met' if a_cpu <= 0.3 else 'not met'}")
if a_loop is not None:
    print(f"aim, loop wake-ups at most 30 a second: {'met' if a_loop <= 30 else 'not met'}")
else:
    print("aim, loop wake-ups at most 30 a second: not measured")
sys.exit(0 if a_cpu <= 0.3 and (a_loop is None or a_loop <= 30) else 1)
EOF
