# Escape right behind Print, handled while "Screenshot wird bearbeitet..."
# shows, before there is a worker: the capture ends there, nothing is sent or
# copied. Then Escape while the picture is still being compressed cancels the
# capture: nothing reaches the service or the clipboard, "Upload abgebrochen."
# stays, the temporary file goes and the next Print works again. On a display
# of its own, 7680x4320 and full of noise, the compression walks every rung.

# With the tray icon on, Escape cancels a capture rather than closing the window.
start_for_cancel() {
  start_snapora
  with_settings check TrayIconCheckBox 1 check CopyURLCheckBox 1
  wintool check "$main_title" ActiveWindowCheckBox 0 >/dev/null
  wintool clipboard-clear >/dev/null
  before=$(request_count)
  focus_main
}

start_for_cancel
xdotool key --delay 0 Print Escape
if wintool wait-text "$main_title" Label1 "Upload abgebrochen." 10000 >/dev/null; then
  sleep 3  # long enough for the compression and the upload, had they gone on
  expect_eq "Escape right after Print: status stays" "$(control_text Label1)" "Upload abgebrochen."
  expect_eq "Escape right after Print: nothing sent" "$(request_count)" "$before"
  expect_eq "Escape right after Print: clipboard untouched" "$(clipboard_text)" ""
  expect_eq "Escape right after Print: nothing listed" "$(wintool count "Screenshot-Chronik" ListBox1)" "0"
  expect_eq "Escape right after Print: options unlocked" "$(wintool get "$main_title" EditCheckBox | cut -f5)" "1"
  press_and_wait_status Print "Screenshot wurde erfolgreich hochgeladen." \
    && pass "Print after the Escape uploads again" || fail "Print after the Escape uploads again ('$(control_text Label1)')"
else
  fail "Escape right after Print ('$(control_text Label1)')"
fi
with_settings check TrayIconCheckBox 0

stop_snapora
wineserver -k 2>/dev/null; wineserver -w 2>/dev/null  # the desktop follows the display of its first program
main_display="$DISPLAY"
big_pid=""
for n in $(seq 150 190); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
  Xvfb ":$n" -screen 0 7680x4320x24 -nolisten tcp >/dev/null 2>&1 &
  big_pid=$!
  export DISPLAY=":$n"
  break
done
if [ -n "$big_pid" ] && wait_until 50 xdpyinfo; then
  convert -size 512x512 xc: +noise Random "$work_dir/noise.png"
  display -window root "$work_dir/noise.png" >/dev/null 2>&1 || true  # tiles the whole screen

  start_for_cancel
  xdotool key Print
  # The whole ladder takes a quarter of a second here: key at first sight.
  if wintool key-on-text "$main_title" Label1 "Screenshot wird komprimiert..." ESCAPE 30000 >/dev/null; then
    sleep 3  # long enough for the whole ladder and the upload, had they gone on
    expect_eq "cancelled while compressing: status stays" "$(control_text Label1)" "Upload abgebrochen."
    expect_eq "cancelled while compressing: nothing sent" "$(request_count)" "$before"
    expect_eq "cancelled while compressing: clipboard untouched" "$(clipboard_text)" ""
    expect_eq "cancelled while compressing: temporary file removed" \
      "$(ls "$WINEPREFIX"/drive_c/users/*/Temp/screen.jpg 2>/dev/null | wc -l)" "0"
    expect_eq "cancelled while compressing: options unlocked" "$(wintool get "$main_title" EditCheckBox | cut -f5)" "1"
    press_and_wait_status Print "Screenshot wurde erfolgreich hochgeladen." \
      && pass "the next Print uploads again" || fail "the next Print uploads again ('$(control_text Label1)')"
    expect_eq "the next Print: one upload" "$(request_count)" "$((before + 1))"
  else
    fail "compression status shown ('$(control_text Label1)')"
  fi
  with_settings check TrayIconCheckBox 0
  wintool key "$main_title" F10 >/dev/null
  wait_until 100 bash -c "! kill -0 $snapora_pid" || kill "$snapora_pid" 2>/dev/null
  snapora_pid=""
  wineserver -k 2>/dev/null; wineserver -w 2>/dev/null
else
  fail "a 7680x4320 display for the cancel test"
fi
[ -n "$big_pid" ] && { kill "$big_pid" 2>/dev/null; wait "$big_pid" 2>/dev/null; }
export DISPLAY="$main_display"
