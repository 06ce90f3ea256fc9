#!/usr/bin/env bash
# Benchmark of the downloader's URL engine: a 200 MB file fetched from a local HTTP server by a URL
# slot of the downloader window (its readouts drawn as they move) and by the curl command line, side by
# side. The engine forces its file to the disk before it reports the download done, so curl's run counts
# the same: curl's own time plus the time that forcing its file to the disk then takes. Rounds take
# turns at going first. Prints each round, the median rate of each side and the median of the rounds'
# ratios, and fails (exit status 1) when that median is below half of curl's rate.
#   SIZE_MB  size of the file (default 200)
#   ROUNDS   rounds of both (default 5)
set -euo pipefail
cd "$(dirname "$0")/.."
SIZE_MB=${SIZE_MB:-200}
ROUNDS=${ROUNDS:-5}

cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target tarnwick_download_bench | grep -v '^\[' || true
[ -x build/tests/tarnwick_download_bench ] || { echo "the benchmark program did not build" >&2; exit 1; }

work=$(mktemp -d)
server=""
cleanup() {
    [ -n "$server" ] && kill "$server" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/root" "$work/drives/c"
head -c "$((SIZE_MB * 1024 * 1024))" /dev/urandom >"$work/root/big.mp3"
python=/usr/bin/python3
[ -x "$python" ] || python=python3
"$python" tests/transfers/local_servers.py http "$work/root" "$work/port" "$work/log" 3600 &
server=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
url="http://127.0.0.1:$(cat "$work/port")/big.mp3"
df -T "$work" | awk 'NR == 2 { print "disk: " $1 " (" $2 ")" }'

export QT_QPA_PLATFORM=offscreen

engine_round() {  # prints the engine's rate in MB/s
    local status bytes seconds
    read -r status bytes seconds _ < <(build/tests/tarnwick_download_bench "$url" "$work/drives" 2>"$work/bench.err")
    [ "$status" = ok ] || { echo "engine round $round failed" >&2; cat "$work/bench.err" >&2; return 1; }
    cmp -s "$work/root/big.mp3" "$work/drives/c/News1.mp3" || { echo "engine round $round: file differs" >&2; return 1; }
    awk -v b="$bytes" -v s="$seconds" 'BEGIN { printf "%.1f", b / s / 1e6 }'
}

curl_round() {  # prints curl's rate in MB/s, its file forced to the disk as the engine's is
    "$python" - "$url" "$work/curl.out" <<'EOF'
import os, subprocess, sys, time
url, out = sys.argv[1], sys.argv[2]
# curl's own time (its transfer, as the engine's figure is its own transfer) ...
took = subprocess.run(["curl", "-s", "-S", "-f", "-o", out, "-w", "%{time_total}", url],
                      check=True, capture_output=True, text=True).stdout
# ... and then what the engine also does before it reports the file done: fsync.
start = time.perf_counter()
fd = os.open(out, os.O_RDONLY)
os.fsync(fd)
os.close(fd)
flushed = time.perf_counter() - start
print("%.1f %.3f" % (os.path.getsize(out) / (float(took) + flushed) / 1e6, flushed))
EOF
}

engine_rates=()
curl_rates=()
ratios=()
for round in $(seq "$ROUNDS"); do
    # Odd rounds the engine first, even rounds curl: neither always finds the disk fresh.
    if [ $((round % 2)) = 1 ]; then
        engine=$(engine_round)
        reference=$(curl_round)
    else
        reference=$(curl_round)
        engine=$(engine_round)
    fi
    read -r curl_rate flush <<<"$reference"
    cmp -s "$work/root/big.mp3" "$work/curl.out" || { echo "curl round $round: file differs" >&2; exit 1; }
    ratio=$(awk -v e="$engine" -v c="$curl_rate" 'BEGIN { printf "%.2f", e / c }')
    echo "round $round: engine $engine MB/s, curl and fsync $curl_rate MB/s (fsync ${flush} s), ratio $ratio"
    engine_rates+=("$engine")
    curl_rates+=("$curl_rate")
    ratios+=("$ratio")
done

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }
m_engine=$(median "${engine_rates[@]}")
m_curl=$(median "${curl_rates[@]}")
m_ratio=$(median "${ratios[@]}")
echo "median of $ROUNDS rounds, $SIZE_MB MB: engine $m_engine MB/s, curl and fsync $m_curl MB/s, ratio of the rounds $m_ratio"
if awk -v r="$m_ratio" 'BEGIN { exit (r >= 0.5 ? 0 : 1) }'; then
    echo "aim, at least half of curl's rate: met"
else
    echo "aim, at least half of curl's rate: not met"
    exit 1
fi
