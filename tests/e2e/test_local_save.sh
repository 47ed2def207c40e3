# "Nur auf Festplatte speichern" writes Screenshot1.jpg, then Screenshot2.jpg, at quality 95.

target="$WINEPREFIX/drive_c/snapora-e2e"
rm -rf "$target"
mkdir -p "$target"
start_snapora
wintool check "$main_title" SaveLocalCheckBox 1 >/dev/null
with_settings check AlwaysAskForDirectoryCheckBox 0 settext StandardDirEdit 'C:\snapora-e2e'
before=$(request_count)
press_and_wait_status Print 'Screenshot wurde unter C:\snapora-e2e\Screenshot1.jpg gespeichert.' \
  && pass "first save named" || fail "first save named (status '$(control_text Label1)')"
press_and_wait_status Print 'Screenshot wurde unter C:\snapora-e2e\Screenshot2.jpg gespeichert.' \
  && pass "second save named" || fail "second save named (status '$(control_text Label1)')"
expect_eq "files written" "$(cd "$target" && ls)" "$(printf 'Screenshot1.jpg\nScreenshot2.jpg')"
expect_eq "JPEG at quality 95" "$(identify -format '%m %Q' "$target/Screenshot1.jpg")" "JPEG 95"
expect_eq "nothing uploaded" "$(request_count)" "$before"
rm -rf "$target"
