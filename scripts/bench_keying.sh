#!/usr/bin/env bash
# Benchmark of the time from keying the transmitter to the first sound on air, for files and for
# speech, the first of each after start and later ones. The real tarnwick runs against the real
# simulated host with the silent sink; the host's log says when the transmitter was keyed, and a
# GStreamer tracer loaded into the unchanged program (bench/sink_times_tracer.cpp) says when each
# sink played its first buffer. Beside it, in the same run, the same output built from GStreamer and
# espeak-ng alone (bench/keying_reference.cpp). Prints both, their ratio, and for files and for
# speech whether every sound started within 5 ms of keying (exit status 0 when both are met). The
# host stamps each call to the microsecond, so even the fraction of a millisecond a file takes is
# measured. Not a test: the figures depend on the machine.
#   ROUNDS   sounds of each kind (default 5; the first is the first after start)
#   SETTLE   the speech tool's settle delay in increments of 0.1 s (default 0, none); speech is then
#            timed from the end of the delay, taken as keying plus the delay
set -euo pipefail
cd "$(dirname "$0")/.."
ROUNDS=${ROUNDS:-5}
SETTLE=${SETTLE:-0}
TEXT="Auto Connects Enabled."  # what the speech tool says to the DTMF code *1*

cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target tarnwick tarnwick-host tarnwick-keying-reference gsttarnwickbench | grep -v '^\[' || true

work=$(mktemp -d)
host_pid=""
app_pid=""
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    [ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

python=/usr/bin/python3
[ -x "$python" ] || python=python3
# Two seconds of a 440 Hz tone: Audio File 1 of the news player, which the DTMF code AA puts on air.
mkdir -p "$work/drives/c"
"$python" - "$work/drives/c/News1.wav" <<'EOF'
import math, struct, sys, wave
with wave.open(sys.argv[1], "wb") as w:
    w.setnchannels(1); w.setsampwidth(2); w.setframerate(44100)
    w.writeframes(b"".join(struct.pack("<h", int(8000 * math.sin(2 * math.pi * 440 * i / 44100))) for i in range(88200)))
EOF

unset DISPLAY WAYLAND_DISPLAY
export QT_QPA_PLATFORM=offscreen TARNWICK_AUDIO=null TARNWICK_ANSWER=ok TARNWICK_DRIVES="$work/drives"
# A registry of this run's own, so the tracer is found and nothing is left in the user's cache.
export GST_REGISTRY="$work/gst-registry.bin"

# How often the news player (Form1) or the speech tool (Form3) keyed (true) or released (false).
count_ptt() { grep -c "\"link\":\"$2\",\"op\":\"SetPTT\",\"args\":\[$3\]" "$1" || true; }
released_since() { [ "$(count_ptt "$1" "$2" false)" -gt "$3" ]; }
wait_until() {  # seconds, command...
    local limit=$1; shift
    for _ in $(seq $((limit * 20))); do "$@" && return 0; sleep 0.05; done
    echo "timed out waiting for: $*" >&2
    return 1
}

# One run of the program: its sounds of one kind, each started by a DTMF code, one after another.
run_kind() {  # name, link, code
    local name=$1 link=$2 code=$3 dir="$work/$1"
    mkdir -p "$dir/cfg"
    # No end-of-news announcement after each file: one sound per round.
    printf '[SETTINGS]\nTEXT4=C:\\News1.wav\nSAYENDOFFILECHECK=0\n' >"$dir/cfg/brannock.ini"
    if [ "$SETTLE" != 0 ]; then printf '[SETTINGS]\nTTSCTRL=1\nTTSPERIOD=%s\n' "$SETTLE" >"$dir/cfg/brightcalltts.ini"; fi
    export TARNWICK_HOST="$dir/host.sock" TARNWICK_CONFIG_DIR="$dir/cfg"
    build/tarnwick-host serve --log "$dir/host.log" >/dev/null 2>&1 &
    host_pid=$!
    wait_until 10 build/tarnwick-host state >/dev/null 2>&1
    GST_PLUGIN_PATH="$PWD/build/bench-gst-plugins" GST_TRACERS=tarnwicksinktimes \
        TARNWICK_BENCH_SINK_TIMES="$dir/sink.times" build/tarnwick 2>"$dir/err" &
    app_pid=$!
    # Loaded: the last tool has introduced itself. Then a moment for the engines to start in the background.
    wait_until 30 grep -q '"link":"Form14"' "$dir/host.log"
    sleep 2
    for round in $(seq "$ROUNDS"); do
        local before
        before=$(count_ptt "$dir/host.log" "$link" false)
        build/tarnwick-host dtmf "$code"
        wait_until 60 released_since "$dir/host.log" "$link" "$before"
        sleep 0.5
    done
    kill "$app_pid"
    wait "$app_pid" 2>/dev/null || true
    app_pid=""
    kill "$host_pid"
    wait "$host_pid" 2>/dev/null || true
    host_pid=""
}

run_kind files Form1 AA
run_kind speech Form3 '*1*'
build/tarnwick-keying-reference "$work/drives/c/News1.wav" "$ROUNDS" "$TEXT" >"$work/reference.txt"

"$python" - "$work" "$ROUNDS" "$SETTLE" <<'EOF'
import json, statistics, sys

work, rounds, settle = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
AIM_MS = 5.0

def keyings(log, link):
    # When the host took each keying of the link, in seconds since 1970, to the microsecond.
    out = []
    for line in open(log):
        j = json.loads(line)
        if j.get("link") == link and j.get("op") == "SetPTT" and j.get("args") == [True]:
            out.append(j["us"] / 1e6)
    return out

def ours(kind, link, delay_s=0.0):
    # Each round's first buffer at the sink, looked for from a quarter of a second before its keying
    # (the rounds are seconds apart): a sound that began before its keying shows as a negative figure
    # instead of being passed over.
    keys = [k + delay_s for k in keyings(f"{work}/{kind}/host.log", link)]
    try:
        sinks = sorted(int(l) / 1e6 for l in open(f"{work}/{kind}/sink.times") if l.strip())
    except FileNotFoundError:
        sinks = []
    figures = []
    for i, k in enumerate(keys):
        until = keys[i + 1] - 0.25 if i + 1 < len(keys) else float("inf")
        mine = [s for s in sinks if k - 0.25 <= s < until]
        figures.append((mine[0] - k) * 1000 if mine else float("nan"))
    return figures

ref = {"file": [], "speech": []}
for line in open(f"{work}/reference.txt"):
    kind, _, ms = line.split()
    ref[kind].append(float(ms))

rows = []
verdicts = []
ok = True
for kind, label, link in (("files", "file", "Form1"), ("speech", "speech", "Form3")):
    figs = ours(kind, link, settle * 0.1 if label == "speech" else 0.0)
    if len(figs) != rounds or any(f != f for f in figs):
        print(f"{label}: expected {rounds} sounds after keying, measured {figs}", file=sys.stderr)
        ok = False
        continue
    r = ref[label]
    rows.append((f"{label}, first", figs[0], r[0]))
    if rounds > 1:
        rows.append((f"{label}, later (median of {rounds - 1})", statistics.median(figs[1:]), statistics.median(r[1:])))
        rows.append((f"{label}, later (worst)", max(figs[1:]), max(r[1:])))
    verdicts.append((label, min(figs), max(figs)))
    print(f"{label} rounds, ms: tarnwick " + " ".join(f"{f:.2f}" for f in figs) + " | reference " + " ".join(f"{x:.2f}" for x in r))

print()
if settle:
    print(f"speech is timed from the end of its settle delay of {settle * 100} ms")
print(f"{'keying to the first buffer at the sink, ms':44} {'tarnwick':>9} {'reference':>10} {'ratio':>7}")
for name, mine, theirs in rows:
    print(f"{name:44} {mine:9.2f} {theirs:10.2f} {mine / theirs if theirs > 0 else float('nan'):7.1f}")
print("(keying is the host log's stamp to the microsecond, the first buffer the tracer's)")
met = ok
for label, earliest, worst in verdicts:
    # A sound that begins before its keying loses its start on air as surely as a late one.
    good = earliest >= 0 and worst <= AIM_MS
    met = met and good
    before = f", one began {-earliest:.2f} ms before its keying" if earliest < 0 else ""
    print(f"aim, every {label} within {AIM_MS:g} ms of keying: {'met' if good else 'not met'} (worst {worst:.2f} ms{before})")
sys.exit(0 if met else 1)
EOF
