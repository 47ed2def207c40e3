#!/usr/bin/env bash
# Load on snapora-server over loopback: 2000 uploads of a ~300 KB screenshot
# from 50 concurrent clients; uploads per second, median and 99th-percentile
# latency, failures, and every answered address read back and compared by
# SHA-256. Then where the time went: processor seconds of the servers,
# PostgreSQL and haproxy during the uploads, PostgreSQL's WAL writes and
# syncs, what one fsync of a picture costs on this disk, and the servers'
# peak memory. Not part of the tests.
#
#   bench/server_load.sh [--store sqlite|postgresql] [--instances N] [UPLOADS] [CONCURRENCY]
#
# Without --store it runs three set-ups in turn: (a) one instance on SQLite,
# (b) one on PostgreSQL, (c) two on PostgreSQL behind haproxy. PostgreSQL is
# a throwaway cluster (scripts/throwaway-postgres.sh) with its default
# durability (fsync on, synchronous commit) and the README's settings
# (new WAL segments not filled with zeros first).
set -euo pipefail
source "$(dirname "$0")/../scripts/lib/common.sh"

store=""
instances=1
positional=()
while [ $# -gt 0 ]; do
  case "$1" in
    --store) store="$2"; shift 2 ;;
    --instances) instances="$2"; shift 2 ;;
    *) positional+=("$1"); shift ;;
  esac
done
uploads="${positional[0]:-2000}"
concurrency="${positional[1]:-50}"
screens="$repo/../shared/data/screens"
build="$repo/build/bench"
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C "$build" -j 2 snapora-server server_load_bench >/dev/null

work=$(mktemp -d /tmp/snapora-load.XXXXXX)
pids=()       # the servers and haproxy of the set-up running
cluster=""    # its PostgreSQL folder, if any
stop_setup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  pids=()
  if [ -n "$cluster" ]; then
    "$repo/scripts/throwaway-postgres.sh" stop "$cluster" fast >/dev/null 2>&1 || true
    rm -rf "$cluster"
    cluster=""
  fi
}
trap 'stop_setup; rm -rf "$work"' EXIT

# Screenshots as the program sends them: at most 300 KB each.
pictures=()
for png in "$screens"/*.png; do
  jpg="$work/$(basename "$png" .png).jpg"
  convert "$png" -resize '1920x1920>' -define jpeg:extent=300kb "$jpg"
  pictures+=("$jpg")
done

ticks=$(getconf CLK_TCK)
# Processor seconds of a process (user + system), with its waited-for children's when asked.
cpu_of() { awk -v t="$ticks" -v c="${2:-0}" '{ print ($14 + $15 + c * ($16 + $17)) / t }' "/proc/$1/stat"; }
# PostgreSQL's: the postmaster with the backends that ended, and those still running.
postgres_cpu() {
  local postmaster child total
  postmaster=$(head -1 "$cluster/data/postmaster.pid")
  total=$(cpu_of "$postmaster" 1)
  for child in $(ps -o pid= --ppid "$postmaster"); do
    total=$(awk -v a="$total" -v b="$(cpu_of "$child" 2>/dev/null || echo 0)" 'BEGIN { print a + b }')
  done
  echo "$total"
}
servers_cpu() {
  local pid total=0
  for pid in "${server_pids[@]}"; do total=$(awk -v a="$total" -v b="$(cpu_of "$pid")" 'BEGIN { print a + b }'); done
  echo "$total"
}
free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
psql_value() { psql -X -A -t -q "$connection" -c "$1"; }

# What one fsync of a freshly written picture costs in the folder the data goes to (median of 20).
fsync_probe() {
  python3 - "$1" <<'EOF'
import os, sys, time
path = os.path.join(sys.argv[1], "fsync-probe")
data = os.urandom(300 * 1024)
times = []
for _ in range(20):
    with open(path, "wb") as f:
        f.write(data)
        f.flush()
        start = time.perf_counter()
        os.fsync(f.fileno())
        times.append((time.perf_counter() - start) * 1000)
os.unlink(path)
print("%.2f" % sorted(times)[10])
EOF
}

run_setup() {
  local kind="$1" count="$2" label="$3" target i port
  echo
  log "$label: $count instance(s) on $kind, $uploads uploads from $concurrency clients"
  local extra=()
  if [ "$kind" = postgresql ]; then
    cluster=$(mktemp -d /tmp/snapora-load-pg.XXXXXX)
    connection=$("$repo/scripts/throwaway-postgres.sh" start "$cluster" --watch $$)
    extra=(--database "$connection" --behind-proxy)
  fi
  server_pids=()
  for i in $(seq "$count"); do
    "$build/server/snapora-server" --listen 127.0.0.1:0 --data "$work/$kind-$count-$i" \
      --port-file "$work/$kind-$count-$i.port" "${extra[@]}" 2>"$work/$kind-$count-$i.log" &
    pids+=($!)
    server_pids+=($!)
    for _ in $(seq 200); do [ -s "$work/$kind-$count-$i.port" ] && break; sleep 0.05; done
    [ -s "$work/$kind-$count-$i.port" ] || { cat "$work/$kind-$count-$i.log"; return 1; }
  done
  target=$(cat "$work/$kind-$count-1.port")
  local haproxy_pid=""
  if [ "$count" -gt 1 ]; then
    local balancer
    balancer=$(mktemp -d /tmp/snapora-load-haproxy.XXXXXX)
    port=$(free_port)
    {
      printf 'global\n  maxconn 2048\ndefaults\n  mode http\n  timeout connect 2s\n  timeout client 60s\n'
      printf '  timeout server 60s\n  retries 2\n  option redispatch\n'
      printf 'frontend snapora\n  bind 127.0.0.1:%s\n  http-request set-header X-Real-IP %%[src]\n' "$port"
      printf '  default_backend instances\nbackend instances\n  balance leastconn\n'
      for i in $(seq "$count"); do
        printf '  server i%s %s check inter 1s\n' "$i" "$(cat "$work/$kind-$count-$i.port")"
      done
    } >"$balancer/haproxy.cfg"
    local as_nobody=()
    if [ "$(id -u)" -eq 0 ]; then
      chown -R nobody:nogroup "$balancer"
      as_nobody=(setpriv --reuid=nobody --regid=nogroup --clear-groups --)
    fi
    "${as_nobody[@]}" /usr/sbin/haproxy -db -f "$balancer/haproxy.cfg" 2>"$balancer/haproxy.log" &
    haproxy_pid=$!
    pids+=($!)
    for _ in $(seq 100); do (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.05; done
    target="127.0.0.1:$port"
    sleep 1.5  # the first health checks
  fi
  # Processor seconds since the last marks into $cpu_text, and new marks.
  local servers_mark=0 postgres_mark=0 haproxy_mark=0 cpu_text="" now
  cpu_marks() {
    now=$(servers_cpu)
    cpu_text=$(printf 'CPU seconds:      servers %.1f' "$(awk -v a="$now" -v b="$servers_mark" 'BEGIN { print a - b }')")
    servers_mark=$now
    if [ -n "$cluster" ]; then
      now=$(postgres_cpu)
      cpu_text+=$(printf ', PostgreSQL %.1f' "$(awk -v a="$now" -v b="$postgres_mark" 'BEGIN { print a - b }')")
      postgres_mark=$now
    fi
    if [ -n "$haproxy_pid" ]; then
      now=$(cpu_of "$haproxy_pid")
      cpu_text+=$(printf ', haproxy %.1f' "$(awk -v a="$now" -v b="$haproxy_mark" 'BEGIN { print a - b }')")
      haproxy_mark=$now
    fi
  }
  echo "target $target, $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg), pictures: $(stat -c %s "${pictures[@]}" | paste -sd' ') bytes"

  [ -n "$cluster" ] && psql_value "SELECT pg_stat_reset_shared('wal')" >/dev/null
  cpu_marks
  # The benchmark waits after the uploads, before it reads them back, while the time they took is read here.
  local status=0 line measured=() from_bench to_bench bench_pid
  coproc BENCH { SNAPORA_BENCH_PAUSE=1 "$build/bench/server_load_bench" "$target" "$uploads" "$concurrency" "${pictures[@]}"; }
  bench_pid=$BENCH_PID
  exec {from_bench}<&"${BENCH[0]}" {to_bench}>&"${BENCH[1]}"
  while IFS= read -r line <&"$from_bench"; do
    if [ "$line" != "uploads done" ]; then echo "$line"; continue; fi
    cpu_marks
    measured+=("$cpu_text during the uploads")
    if [ -n "$cluster" ]; then
      measured+=("PostgreSQL WAL:   $(psql_value "SELECT wal_records || ' records, ' || pg_size_pretty(wal_bytes) || ', ' ||
        wal_write || ' writes (' || round(wal_write_time::numeric / 1000, 2) || ' s), ' || wal_sync || ' syncs (' ||
        round(wal_sync_time::numeric / 1000, 2) || ' s)' FROM pg_stat_wal")")
    fi
    echo >&"$to_bench"
  done
  exec {from_bench}<&- {to_bench}>&-
  wait "$bench_pid" || status=$?
  cpu_marks
  measured+=("$cpu_text during the read-back")
  printf '%s\n' "${measured[@]}"
  measured=()
  if [ -n "$cluster" ]; then
    echo "one fsync here:   $(fsync_probe "$cluster") ms for a 300 KB file"
  else
    echo "one fsync here:   $(fsync_probe "$work/$kind-$count-1") ms for a 300 KB file"
  fi
  # Each upload's time inside a server, from its first byte to its answer (the servers' log lines).
  cat "$work/$kind-$count-"*.log | sed -n 's/.*"POST \/upload.php" 200 [0-9]* \([0-9]*\)ms$/\1/p' | sort -n |
    awk '{ t[NR] = $1 } END { p = int(NR * 0.99); if (p < 1) p = 1
      if (NR) printf "in the servers:   median %d ms, p99 %d ms per upload (from its first byte to its answer)\n", t[int((NR + 1) / 2)], t[p] }'
  for pid in "${server_pids[@]}"; do echo "server peak RSS:  $(awk '/VmHWM/ {print $2, $3}' "/proc/$pid/status") (pid $pid)"; done
  stop_setup
  return "$status"
}

status=0
if [ -n "$store" ]; then
  run_setup "$store" "$instances" "$store x $instances" || status=$?
else
  run_setup sqlite 1 "(a)" || status=$?
  run_setup postgresql 1 "(b)" || status=$?
  run_setup postgresql 2 "(c)" || status=$?
fi
exit "$status"
