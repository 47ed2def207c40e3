#!/usr/bin/env bash
# End-to-end tests of the real snapora.exe under Xvfb and Wine.
set -uo pipefail
source "$(dirname "$0")/lib.sh"

ensure_display
trap 'stop_snapora; stop_service; stop_display' EXIT
ensure_wine_prefix
start_service || exit 1

for test in "$(dirname "$0")"/test_*.sh; do
  log "e2e: $(basename "$test" .sh)"
  source "$test"
  stop_snapora
done
finish
