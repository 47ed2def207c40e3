#!/usr/bin/env bash
# Builds Snapora if needed and starts snapora.exe under Wine, together with
# snapora-server, the web service it uploads to (127.0.0.1:18080, the build's
# default), which keeps its screenshots in build/server-data.
# Without a display it starts a private X server (Xvfb) for it.
set -euo pipefail
source "$(dirname "$0")/lib/common.sh"

"$repo/scripts/build.sh"
ensure_display
service_pid=""
cleanup() {
  [ -n "$service_pid" ] && kill "$service_pid" 2>/dev/null || true
  stop_display
}
trap cleanup EXIT

if ! (exec 3<>/dev/tcp/127.0.0.1/18080) 2>/dev/null; then
  data="$repo/build/server-data"
  "$native_build/server/snapora-server" --listen 127.0.0.1:18080 --data "$data" 2>>"$repo/build/server.log" &
  service_pid=$!
  for _ in $(seq 50); do (exec 3<>/dev/tcp/127.0.0.1/18080) 2>/dev/null && break; sleep 0.1; done
  log "snapora-server on http://127.0.0.1:18080/ (data in $data, log in build/server.log)"
fi

ensure_wine_prefix
log "starting snapora.exe on display $DISPLAY"
wine "$snapora_exe" "$@"
