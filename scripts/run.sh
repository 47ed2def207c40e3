#!/usr/bin/env bash
# Builds Snapora if needed and starts snapora.exe under Wine, together with the
# local web service it uploads to (127.0.0.1:18080, the build's default).
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
  uploads="$repo/build/uploads"
  mkdir -p "$uploads"
  "$native_build/tests/snapora-test-service" --port 18080 --port-file "$repo/build/service.port" \
    --record-dir "$uploads" >/dev/null 2>&1 &
  service_pid=$!
  log "local web service on 127.0.0.1:18080, requests recorded in $uploads"
fi

ensure_wine_prefix
log "starting snapora.exe on display $DISPLAY"
wine "$snapora_exe" "$@"
