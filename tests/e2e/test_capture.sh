# Print and Shift+Print reach the program while a Wine window has the focus,
# and F10 ends it.

start_snapora
focus_main
xdotool key Print
wait_until 100 bash -c "[ \"\$(wine '$wintool_exe' text '$main_title' Label1 2>/dev/null | tr -d '\r')\" = 'Screenshot wird bearbeitet...' ]"
expect_eq "Print: status line" "$(control_text Label1)" "Screenshot wird bearbeitet..."
expect_eq "Print: result page with the proposed name" "$(control_text RenameEdit)" "snapora_4_2"
expect_eq "Print: rename field visible" "$(control_visible RenameEdit)" "1"

# Overwrite the native status text behind the program's back: only a new
# capture (which resets the display first) writes it again.
wintool settext "$main_title" Label1 "-" >/dev/null
focus_main
xdotool key shift+Print
wait_until 100 bash -c "[ \"\$(wine '$wintool_exe' text '$main_title' Label1 2>/dev/null | tr -d '\r')\" = 'Screenshot wird bearbeitet...' ]"
expect_eq "Shift+Print: status line" "$(control_text Label1)" "Screenshot wird bearbeitet..."

focus_main
xdotool key F10
if wait_until 100 bash -c "! kill -0 $snapora_pid"; then pass "F10 ends the program"; else fail "F10 ends the program"; fi
if wintool find "$main_title" >/dev/null; then fail "no window left after F10"; else pass "no window left after F10"; fi
