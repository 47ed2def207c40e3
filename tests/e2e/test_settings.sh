# Settings survive a restart through the registry; the alternative shortcut
# changed in the dialog captures; the tray mode hides instead of closing and
# keeps a start-up shortcut.

reg_key='HKCU\Software\Snapora'
startup="$(find "$WINEPREFIX/drive_c/users" -type d -ipath '*/start menu/programs/startup' 2>/dev/null | head -1)"
reg_value() { wine reg query "$reg_key" /v "$1" 2>/dev/null | tr -d '\r' | awk -v n="$1" '$1 == n { print $3 }'; }
checked() { wintool get "$1" "$2" | cut -f6; }

wine reg delete "$reg_key" /f >/dev/null 2>&1
start_snapora
expect_eq "no key: saving starts unchecked" "$(checked "$main_title" SaveOptionsCheckBox)" "0"
wintool check "$main_title" SaveOptionsCheckBox 1 >/dev/null
wintool check "$main_title" SaveLocalCheckBox 1 >/dev/null
wintool check "$main_title" ActiveWindowCheckBox 0 >/dev/null
focus_main
xdotool key F10
wait_until 100 bash -c "! kill -0 $snapora_pid" && pass "F10 ends the program" || fail "F10 ends the program"
expect_eq "registry: SaveLocal written at the end" "$(reg_value SaveLocal)" "true"
expect_eq "registry: ActiveWindow written at the end" "$(reg_value ActiveWindow)" "false"
expect_eq "registry: AlternativeHotKey written at the end" "$(reg_value AlternativeHotKey)" "16419"

start_snapora
expect_eq "restart: saving checked" "$(checked "$main_title" SaveOptionsCheckBox)" "1"
expect_eq "restart: local save read back" "$(checked "$main_title" SaveLocalCheckBox)" "1"
expect_eq "restart: active window read back" "$(checked "$main_title" ActiveWindowCheckBox)" "0"
wintool check "$main_title" SaveLocalCheckBox 0 >/dev/null

# A new alternative shortcut, typed into the capture field, then used.
focus_shortcut_field
# K goes up before Ctrl, as a person would press it.
xdotool keydown ctrl keydown k keyup k keyup ctrl
wintool wait-text "$settings_title" ShortcutEdit "Strg + K" 5000 >/dev/null \
  && pass "shortcut field shows Strg + K" || fail "shortcut field shows '$(wintool text "$settings_title" ShortcutEdit)'"
wintool click "$settings_title" CloseButton >/dev/null
wintool wait-text "$main_title" ShortcutLabel "(oder Strg + K)" 5000 >/dev/null \
  && pass "main window shows the new shortcut" || fail "main window shows '$(control_text ShortcutLabel)'"
before=$(request_count)
press_and_wait_status "ctrl+k" "Screenshot wurde erfolgreich hochgeladen." \
  && pass "Ctrl+K captures and uploads" || fail "Ctrl+K captures (status '$(control_text Label1)')"
expect_eq "Ctrl+K: one upload" "$(request_count)" "$((before + 1))"

# Enter and Esc in the shortcut field press OK; neither becomes the shortcut.
for key in Return Escape; do
  focus_shortcut_field
  xdotool key "$key"
  wait_until 50 bash -c "! wine '$wintool_exe' find '$settings_title' 2>/dev/null | grep -q '	1	'" \
    && pass "$key in the shortcut field closes the dialog" || fail "$key in the shortcut field closes the dialog"
  expect_eq "$key: the shortcut stays" "$(control_text ShortcutLabel)" "(oder Strg + K)"
  expect_eq "$key: the field stays" "$(wintool text "$settings_title" ShortcutEdit)" "Strg + K"
done

# The tray mode: start-up shortcut, closing hides, "minimized" starts hidden.
with_settings check TrayIconCheckBox 1
if [ -f "$startup/snapora.lnk" ]; then pass "start-up shortcut created"; else fail "start-up shortcut created in '$startup'"; fi
wintool close "$main_title" >/dev/null
wait_until 50 bash -c "wine '$wintool_exe' find '$main_title' 2>/dev/null | grep -q '	0	'" \
  && pass "close box hides to the tray" || fail "close box hides to the tray"
if kill -0 "$snapora_pid" 2>/dev/null; then pass "program still runs in the tray"; else fail "program still runs in the tray"; fi
wine "$snapora_exe" >/dev/null 2>&1
expect_eq "a second start leaves the tray window hidden" "$(wintool find "$main_title" | cut -f2)" "0"
wintool key "$main_title" F10 >/dev/null
wait_until 100 bash -c "! kill -0 $snapora_pid" && pass "F10 ends the hidden program" || fail "F10 ends the hidden program"
expect_eq "registry: tray setting written" "$(reg_value SysTrayIcon)" "true"

wine "$snapora_exe" minimized >/dev/null 2>&1 &
snapora_pid=$!
wintool wait-exists "$main_title" 30000 >/dev/null
sleep 1
expect_eq "minimized with tray: no window shown" "$(wintool find "$main_title" | cut -f2)" "0"
wintool key "$main_title" F10 >/dev/null
wait_until 100 bash -c "! kill -0 $snapora_pid" || kill "$snapora_pid"

# Unticking the tray box removes the start-up shortcut again.
start_snapora
with_settings check TrayIconCheckBox 0
if [ ! -e "$startup/snapora.lnk" ]; then pass "start-up shortcut removed"; else fail "start-up shortcut removed"; fi
wintool check "$main_title" SaveOptionsCheckBox 0 >/dev/null
if wine reg query "$reg_key" >/dev/null 2>&1; then fail "unchecking saving deletes the key"; else pass "unchecking saving deletes the key"; fi
