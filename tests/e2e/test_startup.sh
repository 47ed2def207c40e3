# Start-up: the main window appears with its title; a second copy ends at once.

start_snapora
expect_eq "main window titled '$main_title'" "$(wintool caption "$main_title")" "$main_title"
expect_eq "status line starts empty" "$(control_text Label1)" ""
expect_eq "instructions page shown" "$(control_visible Label2)" "1"
expect_eq "shortcut hint, as the settings format it" "$(control_text ShortcutLabel)" "(oder Strg + Ende)"

windows_before=$(wintool windows | grep -c "$main_title\$")
started=$(date +%s%N)
timeout 30 wine "$snapora_exe" >/dev/null 2>&1
second_rc=$?
elapsed_ms=$(( ($(date +%s%N) - started) / 1000000 ))
expect_eq "second copy ends by itself" "$second_rc" "0"
expect_eq "second copy adds no window" "$(wintool windows | grep -c "$main_title\$")" "$windows_before"
echo "       (second copy ended after ${elapsed_ms} ms)"
