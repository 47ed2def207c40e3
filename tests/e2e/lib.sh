# Helpers for the end-to-end tests: start the real program under Wine, look at
# its windows through wintool.exe, and report results.
source "$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/scripts/lib/common.sh"

wintool_exe="$win_build/tests/wintool.exe"
main_title="Snapora 4.2"
passes=0
failures=0
snapora_pid=""

wintool() { wine "$wintool_exe" "$@" 2>/dev/null | tr -d '\r'; }

pass() { passes=$((passes + 1)); echo "  ok   $*"; }
fail() { failures=$((failures + 1)); echo "  FAIL $*"; }

# expect_eq DESCRIPTION ACTUAL EXPECTED
expect_eq() {
  if [ "$2" == "$3" ]; then pass "$1"; else fail "$1: got '$2', expected '$3'"; fi
}

# Waits until a command succeeds, up to $1 tenths of a second.
wait_until() {
  local tenths="$1"; shift
  for _ in $(seq "$tenths"); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  return 1
}

start_snapora() {
  wine "$snapora_exe" "$@" >/dev/null 2>&1 &
  snapora_pid=$!
  wintool wait "$main_title" 30000 >/dev/null
}

stop_snapora() {
  if [ -n "$snapora_pid" ] && kill -0 "$snapora_pid" 2>/dev/null; then
    wintool close "$main_title" >/dev/null || true
    wait_until 50 bash -c "! kill -0 $snapora_pid" || kill "$snapora_pid" 2>/dev/null || true
  fi
  snapora_pid=""
}

# Gives the program's main window the keyboard focus, so Wine delivers hot keys.
focus_main() {
  local id
  id=$(xdotool search --name "^$main_title\$" | head -1)
  [ -n "$id" ] && xdotool windowactivate --sync "$id" 2>/dev/null || xdotool windowfocus --sync "$id"
}

control_text() { wintool text "$main_title" "$1"; }

# The visible flag of a control, from wintool's list line (fourth field).
control_visible() { wintool get "$main_title" "$1" | cut -f4; }

finish() {
  echo "$passes passed, $failures failed"
  [ "$failures" -eq 0 ]
}
