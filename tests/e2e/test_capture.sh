# Print and Shift+Print reach the program while a Wine window has the focus;
# the picture goes to the service, and F10 ends the program.

start_snapora
wintool check "$main_title" ActiveWindowCheckBox 0 >/dev/null
before=$(request_count)

if press_and_wait_status Print "Screenshot wurde erfolgreich hochgeladen."; then pass "Print: uploaded"; else fail "Print: uploaded (status '$(control_text Label1)')"; fi
expect_eq "Print: one upload request" "$(request_count)" "$((before + 1))"
expect_eq "Print: proposed name from the window title" "$(control_text RenameEdit)" "snapora_4_2"
last=$(ls "$record_dir"/*.body | tail -1)
extract_upload "$last" "$work_dir/print.jpg"
expect_eq "Print: the whole screen arrived as a JPEG" "$(identify -format '%m %wx%h' "$work_dir/print.jpg")" "JPEG 1280x1024"
size=$(stat -c %s "$work_dir/print.jpg")
if [ "$size" -le 307200 ]; then pass "Print: JPEG of $size bytes is within 307200"; else fail "Print: JPEG of $size bytes"; fi

# Shift+Print cuts the window in front (the main window) although the option is off.
if press_and_wait_status shift+Print "Screenshot wurde erfolgreich hochgeladen."; then :; fi
expect_eq "Shift+Print: another upload request" "$(request_count)" "$((before + 2))"
last=$(ls "$record_dir"/*.body | tail -1)
extract_upload "$last" "$work_dir/shift.jpg"
read -r w h < <(identify -format '%w %h' "$work_dir/shift.jpg")
if [ "$w" -ge 410 ] && [ "$w" -lt 600 ] && [ "$h" -ge 280 ] && [ "$h" -lt 450 ]; then
  pass "Shift+Print: window-sized picture (${w}x${h})"
else
  fail "Shift+Print: window-sized picture (${w}x${h})"
fi

focus_main
xdotool key F10
if wait_until 100 bash -c "! kill -0 $snapora_pid"; then pass "F10 ends the program"; else fail "F10 ends the program"; fi
if wintool find "$main_title" >/dev/null; then fail "no window left after F10"; else pass "no window left after F10"; fi
