#!/usr/bin/env bash
# End-to-end tests of the real snapora.exe under Xvfb and Wine.
set -uo pipefail
source "$(dirname "$0")/lib.sh"

# The program's service port is fixed at build time: one run at a time per machine.
exec 9>/tmp/snapora-e2e.lock
flock 9

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
