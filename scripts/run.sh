#!/usr/bin/env bash
# Builds Snapora if needed and starts snapora.exe under Wine. Without a
# display it starts a private X server (Xvfb) for it.
set -euo pipefail
source "$(dirname "$0")/lib/common.sh"

"$repo/scripts/build.sh" --windows
ensure_display
trap stop_display EXIT
ensure_wine_prefix
log "starting snapora.exe on display $DISPLAY"
wine "$snapora_exe" "$@"
