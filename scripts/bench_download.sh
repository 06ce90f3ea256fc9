#!/usr/bin/env bash
# Benchmark of the downloader's URL engine: a 200 MB file fetched from a local HTTP server by a URL
# slot of the downloader window (its readouts drawn as they move) and by the curl command line, side by
# side. Prints both rates and their ratio; fails when the engine reaches less than half of curl's rate.
set -euo pipefail
cd "$(dirname "$0")/.."
SIZE_MB=${SIZE_MB:-200}
ROUNDS=${ROUNDS:-3}

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
"$python" tests/transfers/local_servers.py http "$work/root" "$work/port" "$work/log" 600 &
server=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
url="http://127.0.0.1:$(cat "$work/port")/big.mp3"

export QT_QPA_PLATFORM=offscreen
best_engine=0
best_curl=0
for round in $(seq "$ROUNDS"); do
    read -r status bytes seconds _ < <(build/tests/tarnwick_download_bench "$url" "$work/drives" 2>"$work/bench.err")
    [ "$status" = ok ] || { echo "engine round $round failed" >&2; cat "$work/bench.err" >&2; exit 1; }
    cmp -s "$work/root/big.mp3" "$work/drives/c/News1.mp3" || { echo "engine round $round: file differs" >&2; exit 1; }
    engine=$(awk -v b="$bytes" -v s="$seconds" 'BEGIN { printf "%.1f", b / s / 1e6 }')
    curl_rate=$(curl -s -o "$work/curl.out" -w '%{speed_download}' "$url" | awk '{ printf "%.1f", $1 / 1e6 }')
    echo "round $round: engine $engine MB/s, curl $curl_rate MB/s"
    best_engine=$(awk -v a="$best_engine" -v b="$engine" 'BEGIN { print (b > a ? b : a) }')
    best_curl=$(awk -v a="$best_curl" -v b="$curl_rate" 'BEGIN { print (b > a ? b : a) }')
done

ratio=$(awk -v e="$best_engine" -v c="$best_curl" 'BEGIN { printf "%.2f", e / c }')
echo "best of $ROUNDS, $SIZE_MB MB: engine $best_engine MB/s, curl $best_curl MB/s, ratio $ratio"
awk -v r="$ratio" 'BEGIN { exit (r >= 0.5 ? 0 : 1) }' || { echo "the engine reached less than half of curl's rate" >&2; exit 1; }
