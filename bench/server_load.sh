#!/usr/bin/env bash
# Load on snapora-server over loopback: 2000 uploads of a ~300 KB screenshot
# from 50 concurrent clients; uploads per second, median and 99th-percentile
# latency, the server's peak memory, and every answered address read back and
# compared by SHA-256. Not part of the tests.
#   bench/server_load.sh [UPLOADS] [CONCURRENCY]
set -euo pipefail
source "$(dirname "$0")/../scripts/lib/common.sh"
uploads="${1:-2000}"
concurrency="${2:-50}"
screens="$repo/../shared/data/screens"
build="$repo/build/bench"
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C "$build" -j 2 snapora-server server_load_bench >/dev/null

work=$(mktemp -d /tmp/snapora-load.XXXXXX)
server_pid=""
trap '[ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null; rm -rf "$work"' EXIT
# Screenshots as the program sends them: at most 300 KB each.
pictures=()
for png in "$screens"/*.png; do
  jpg="$work/$(basename "$png" .png).jpg"
  convert "$png" -resize '1920x1920>' -define jpeg:extent=300kb "$jpg"
  pictures+=("$jpg")
done

"$build/server/snapora-server" --listen 127.0.0.1:0 --data "$work/data" --port-file "$work/port" \
  2>"$work/server.log" &
server_pid=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.05; done
echo "snapora-server $(cat "$work/port"), $(nproc) cores, pictures: $(stat -c %s "${pictures[@]}" | paste -sd' ') bytes"
status=0
"$build/bench/server_load_bench" "$(cat "$work/port")" "$uploads" "$concurrency" "${pictures[@]}" || status=$?
echo "server peak RSS:  $(awk '/VmHWM/ {print $2, $3}' "/proc/$server_pid/status")"
echo "server log:       $(grep -c '"POST /upload.php" 200' "$work/server.log") upload lines"
kill "$server_pid"
wait "$server_pid" || true
server_pid=""
exit "$status"
