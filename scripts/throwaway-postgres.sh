#!/usr/bin/env bash
# A throwaway PostgreSQL 15 cluster for tests and benchmarks: made by initdb
# in a folder of its own, reachable only through a Unix socket in that folder,
# run as an unprivileged user (nobody when this runs as root, which PostgreSQL
# refuses to run as). Never touches a system cluster or service.
#
#   scripts/throwaway-postgres.sh start DIR [--watch PID]
#       Creates the cluster in DIR on first use, starts it, and prints its
#       connection string (superuser "postgres", trust on the socket only).
#       With --watch, the cluster is stopped and DIR removed once process PID
#       has ended, so a crashed test leaves nothing running.
#   scripts/throwaway-postgres.sh stop DIR [fast|immediate]
#       Stops it (immediate: as abruptly as a crash; it recovers on start).
set -euo pipefail

bin="${SNAPORA_PG_BIN:-/usr/lib/postgresql/15/bin}"
command="${1:-}"
dir="${2:-}"
if [ -z "$command" ] || [ -z "$dir" ] || [ ! -d "$dir" ]; then
  echo "usage: $0 start DIR [--watch PID] | stop DIR [fast|immediate]   (DIR must exist)" >&2
  exit 2
fi
dir="$(cd "$dir" && pwd)"
[ -x "$bin/initdb" ] || { echo "$bin/initdb is missing: install Debian's postgresql package" >&2; exit 1; }

# Everything of the cluster's runs as this user, from inside DIR.
as_owner=()
if [ "$(id -u)" -eq 0 ]; then
  chown nobody:nogroup "$dir"
  as_owner=(setpriv --reuid=nobody --regid=nogroup --clear-groups --)
fi
cd "$dir"

case "$command" in
  start)
    if [ ! -f "$dir/data/PG_VERSION" ]; then
      "${as_owner[@]}" "$bin/initdb" -D "$dir/data" -U postgres -A trust -E UTF8 --locale=C --no-sync >"$dir/initdb.log" 2>&1 ||
        { cat "$dir/initdb.log" >&2; exit 1; }
      # As the README advises for a service that takes bursts of uploads: a new
      # WAL segment is not filled with zeros and synced first, which on the
      # development machine held every commit for up to 68 ms once per 16 MB of
      # WAL (until checkpoints recycle segments).
      cat >>"$dir/data/postgresql.conf" <<EOF
listen_addresses = ''
unix_socket_directories = '$dir'
port = 5432
max_connections = 60
wal_buffers = 16MB
wal_init_zero = off
track_wal_io_timing = on
EOF
    fi
    "${as_owner[@]}" "$bin/pg_ctl" -D "$dir/data" -l "$dir/postgres.log" -w -t 60 start >/dev/null ||
      { tail -20 "$dir/postgres.log" >&2; exit 1; }
    if [ "${3:-}" = "--watch" ] && [ -n "${4:-}" ]; then
      setsid bash -c 'while kill -0 "$1" 2>/dev/null; do sleep 1; done
                      "${@:4}" "$2/pg_ctl" -D "$3/data" -m immediate stop >/dev/null 2>&1
                      rm -rf "$3"' watch "$4" "$bin" "$dir" "${as_owner[@]}" </dev/null >/dev/null 2>&1 &
    fi
    echo "postgresql:///postgres?host=$dir&port=5432&user=postgres"
    ;;
  stop)
    "${as_owner[@]}" "$bin/pg_ctl" -D "$dir/data" -m "${3:-fast}" -w stop >/dev/null
    ;;
  *)
    echo "unknown command $command" >&2
    exit 2
    ;;
esac
