# Helpers for the end-to-end tests: start the real program under Wine, look at
# its windows through wintool.exe, and report results.
source "$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/scripts/lib/common.sh"

wintool_exe="$win_build/tests/wintool.exe"
service_exe="$native_build/tests/snapora-test-service"
main_title="Snapora 4.2"
settings_title="Einstellungen"
service_port=18080  # the program's built-in service host is 127.0.0.1:18080
work_dir=""
record_dir=""
service_pid=""
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

# The local web service, recording every request into $record_dir.
start_service() {
  work_dir=$(mktemp -d /tmp/snapora-e2e.XXXXXX)
  record_dir="$work_dir/requests"
  mkdir -p "$record_dir"
  "$service_exe" --port "$service_port" --port-file "$work_dir/port" --record-dir "$record_dir" \
    --reply-file "/upload.php:$work_dir/upload-reply" >"$work_dir/service.log" 2>&1 &
  service_pid=$!
  wait_until 50 test -s "$work_dir/port" || { echo "the test service did not start"; cat "$work_dir/service.log"; return 1; }
}

stop_service() {
  [ -n "$service_pid" ] && kill "$service_pid" 2>/dev/null && wait "$service_pid" 2>/dev/null
  service_pid=""
  [ -n "$work_dir" ] && rm -rf "$work_dir"
  work_dir=""
}

request_count() { ls "$record_dir" 2>/dev/null | grep -c '\.req$'; }

# Pulls the file part "screenshot" out of a recorded upload body.
extract_upload() {
  python3 - "$1" "$2" <<'PY'
import sys, re
body = open(sys.argv[1], 'rb').read()
head, _, rest = body.partition(b'name="screenshot"')
rest = rest.split(b'\r\n\r\n', 1)[1]
boundary = head.split(b'\r\n', 1)[0]
open(sys.argv[2], 'wb').write(rest[:rest.rindex(b'\r\n' + boundary)])
PY
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

# Gives a window of the program the keyboard focus, so Wine delivers keys and hot keys.
# Right after the program starts its X window may not be there yet (Wine has
# made the window, X has not mapped it): waits for it a few seconds.
focus_window() {
  local id pattern
  pattern=$(printf '%s' "$1" | sed 's/[][\.*^$()+?{}|]/\\&/g')  # xdotool takes a regular expression
  wait_until 50 xdotool search --name "^$pattern\$"
  id=$(xdotool search --name "^$pattern\$" | head -1)
  [ -n "$id" ] && { xdotool windowactivate --sync "$id" 2>/dev/null || xdotool windowfocus --sync "$id"; }
}
focus_main() { focus_window "$main_title"; }

control_text() { wintool text "$main_title" "$1"; }

# The X clipboard's text. Wine now and then leaves a selection request
# unanswered, and xclip would wait for ever.
clipboard_text() { timeout 3 xclip -o -selection clipboard 2>/dev/null; }

# Opens the settings dialog, sets what the arguments say, and closes it again:
#   with_settings check NAME 0|1 ... settext NAME TEXT ...
with_settings() {
  wintool click "$main_title" SettingsButton >/dev/null
  wintool wait "$settings_title" 10000 >/dev/null
  while [ $# -gt 0 ]; do
    wintool "$1" "$settings_title" "$2" "$3" >/dev/null
    shift 3
  done
  wintool click "$settings_title" CloseButton >/dev/null
  wait_until 50 bash -c "! wine '$wintool_exe' find '$settings_title' 2>/dev/null | grep -q '	1	'"
}

# Opens the settings dialog with the keyboard focus in the shortcut field.
focus_shortcut_field() {
  wintool click "$main_title" SettingsButton >/dev/null
  wintool wait "$settings_title" 10000 >/dev/null
  focus_window "$settings_title"
  wintool click "$settings_title" ShortcutEdit >/dev/null
  wait_until 30 bash -c "[ \"\$(xdotool getwindowfocus getwindowname)\" = '$settings_title' ]"
  sleep 0.3
}

# Presses a key with the main window focused and waits for the status text.
press_and_wait_status() {
  local key="$1" text="$2"
  # Blank the native text behind the program's back, so the wait below only
  # ends on a text written after this key press.
  wintool settext "$main_title" Label1 "-" >/dev/null
  focus_main
  xdotool key "$key"
  wintool wait-text "$main_title" Label1 "$text" 30000 >/dev/null
}

# The visible flag of a control, from wintool's list line (fourth field).
control_visible() { wintool get "$main_title" "$1" | cut -f4; }

finish() {
  echo "$passes passed, $failures failed"
  [ "$failures" -eq 0 ]
}
