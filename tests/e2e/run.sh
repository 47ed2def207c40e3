#!/usr/bin/env bash
# End-to-end tests of the real snapora.exe under Xvfb and Wine.
#   tests/e2e/run.sh                        every test
#   tests/e2e/run.sh test_cancel test_dpi   only these
set -uo pipefail
source "$(dirname "$0")/lib.sh"

# The program's service port is fixed at build time: one run at a time per machine.
exec 9>/tmp/snapora-e2e.lock
flock 9

ensure_display
trap 'stop_snapora; stop_service; stop_display' EXIT
ensure_wine_prefix
# 96 DPI unless a test says otherwise (test_dpi.sh sets 144 and back; a run
# killed in between must not leave it).
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96 /f >/dev/null 2>&1
start_service || exit 1

selected=("$@")
[ ${#selected[@]} -eq 0 ] && selected=("$(dirname "$0")"/test_*.sh)
for test in "${selected[@]}"; do
  [ -f "$test" ] || test="$(dirname "$0")/$(basename "$test" .sh).sh"
  [ -f "$test" ] || { fail "no such test: $test"; continue; }
  log "e2e: $(basename "$test" .sh)"
  source "$test"
  stop_snapora
done
finish
