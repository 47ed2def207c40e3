# The address reaches the result page and the X clipboard.

start_snapora
with_settings check CopyURLCheckBox 1
press_and_wait_status Print "Screenshot wurde erfolgreich hochgeladen." || fail "upload finished"
url=$(control_text DisplayURLEdit)
case "$url" in
  "http://127.0.0.1:$service_port/s"*) pass "address shown: $url" ;;
  *) fail "address shown: '$url'" ;;
esac
expect_eq "address on the X clipboard" "$(clipboard_text)" "$url"
# Renaming the uploaded screenshot.
wintool settext "$main_title" RenameEdit "Mein Fenster" >/dev/null
wintool click "$main_title" RenameButton >/dev/null
wintool wait-text "$main_title" DisplayURLEdit "http://127.0.0.1:$service_port/Mein Fenster" 10000 >/dev/null \
  && pass "renamed address shown" || fail "renamed address shown: '$(control_text DisplayURLEdit)'"
expect_eq "rename status" "$(control_text Label1)" "Screenshot wurde umbenannt."
expect_eq "renamed address on the clipboard" "$(clipboard_text)" "http://127.0.0.1:$service_port/Mein Fenster"
# The history window lists it under its new name and address.
wintool click "$main_title" Button1 >/dev/null
wintool wait "Screenshot-Chronik" 10000 >/dev/null && pass "history window opens" || fail "history window opens"
expect_eq "history shows the newest address" "$(wintool text "Screenshot-Chronik" DisplayURLEdit)" \
  "http://127.0.0.1:$service_port/Mein Fenster"
wintool mouse "Screenshot-Chronik" DisplayURLEdit >/dev/null
address="http://127.0.0.1:$service_port/Mein Fenster"
wait_until 30 bash -c "[ \"\$(wine '$wintool_exe' selection Screenshot-Chronik DisplayURLEdit 2>/dev/null | tr -d '\r')\" = '0 ${#address}' ]" \
  && pass "a click into the history's address selects it" \
  || fail "a click into the history's address selects it ($(wintool selection "Screenshot-Chronik" DisplayURLEdit))"
wintool click "Screenshot-Chronik" CloseButton >/dev/null
expect_eq "temporary file removed" "$(ls "$WINEPREFIX"/drive_c/users/*/Temp/screen.jpg 2>/dev/null | wc -l)" "0"

# A refusal of the service is shown in the status line.
printf '200\ntoobig' > "$work_dir/upload-reply"
press_and_wait_status Print "Bild war zu groß." && pass "toobig reply shown" || fail "toobig reply shown"
rm -f "$work_dir/upload-reply"
