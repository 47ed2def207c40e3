#!/usr/bin/env bash
# snapora-server under each of four attacks from one address (loopback only,
# bounded in count and time) while a well-behaved client keeps loading / and
# uploading a ~300 KB screenshot: the good client's median and p99 latency and
# its failures, the server's peak memory during the attack and its memory
# a while after. Each attack gets a fresh server with its default limits.
# Not part of the tests.
#   bench/server_abuse.sh [SECONDS] [ATTACK...]     (default 20 s; all four, and a run without attack)
set -euo pipefail
source "$(dirname "$0")/../scripts/lib/common.sh"
seconds="${1:-20}"
shift || true
attacks=("$@")
[ ${#attacks[@]} -gt 0 ] || attacks=(none slowloris streams registration fields)
build="$repo/build/bench"
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C "$build" -j 2 snapora-server server_abuse_bench >/dev/null

work=$(mktemp -d /tmp/snapora-abuse.XXXXXX)
server_pid=""
trap '[ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null; rm -rf "$work"' EXIT
convert "$repo/../shared/data/screens/docs-a-1080.png" -define jpeg:extent=300kb "$work/picture.jpg"
rss() { awk -v key="$1" '$1 == key":" {print int($2 / 1024)}' "/proc/$server_pid/status"; }

echo "snapora-server, $(nproc) cores, picture $(stat -c %s "$work/picture.jpg") bytes, $seconds s per attack"
status=0
for attack in "${attacks[@]}"; do
  rm -rf "$work/data" "$work/port"
  # The good client uploads far more in a run than a day's default quota for one address.
  "$build/server/snapora-server" --listen 127.0.0.1:0 --data "$work/data" --port-file "$work/port" \
    --quota-anonymous 100000000000 2>"$work/server-$attack.log" &
  server_pid=$!
  for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.05; done
  echo
  echo "load before:      $(cut -d' ' -f1-3 /proc/loadavg)"
  started=$(rss VmHWM)  # the start hashes a password once: 64 MiB for a moment
  ( highest=0
    while kill -0 "$server_pid" 2>/dev/null && [ ! -e "$work/done" ]; do
      now=$(rss VmRSS); [ "$now" -gt "$highest" ] && highest=$now && echo "$highest" >"$work/highest"
      sleep 0.1
    done ) &
  sampler=$!
  "$build/bench/server_abuse_bench" "$(cat "$work/port")" "$attack" "$seconds" "$work/picture.jpg" || status=1
  touch "$work/done"; wait "$sampler"; rm -f "$work/done"
  peak=$(cat "$work/highest")
  sleep 6  # freed memory goes back within five seconds
  echo "server memory:    peak $peak MB during the attack ($started MB at start), $(rss VmRSS) MB six seconds after"
  echo "server log:       $(wc -l <"$work/server-$attack.log") lines, $(grep -c 'closed a connection' "$work/server-$attack.log" || true) slow connections closed"
  kill "$server_pid"
  wait "$server_pid" || true
  server_pid=""
done
exit "$status"
