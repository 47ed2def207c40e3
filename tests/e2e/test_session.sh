# Session mode: the dialog, the confirmed name in the caption and the page
# address, and uploads that carry the session.

session_title="Session-Modus starten"
start_snapora
wintool check "$main_title" SessionModeCheckBox 1 >/dev/null
wintool wait "$session_title" 10000 >/dev/null && pass "session dialog opens" || fail "session dialog opens"
wintool settext "$session_title" SessionNameEdit " team " >/dev/null  # sent without the blanks
wintool click "$session_title" Button1 >/dev/null
wintool wait-text "$main_title" SessionUrlEdit "http://127.0.0.1:$service_port/~team" 10000 >/dev/null \
  && pass "session page address shown" || fail "session page address: '$(control_text SessionUrlEdit)'"
in_session="$main_title   [Session: team]"
if wintool find "$in_session" >/dev/null; then pass "caption names the session"; else fail "caption names the session"; fi
expect_eq "session panel visible" "$(wintool get "$in_session" SessionUrlPanel | cut -f4)" "1"
# The caption names the session until the capture resets the display.
focus_window "$in_session"
xdotool key Print
wintool wait-text "$main_title" Label1 "Screenshot wurde erfolgreich hochgeladen." 30000 >/dev/null \
  || fail "upload in session mode"
last=$(ls "$record_dir"/*.body | tail -1)
if grep -q $'name="sessionname"\r\n\r\nteam\r\n' "$last"; then pass "upload carries the session"; else fail "upload carries the session"; fi
wintool check "$main_title" SessionModeCheckBox 0 >/dev/null
expect_eq "session panel hidden again" "$(control_visible SessionUrlPanel)" "0"
