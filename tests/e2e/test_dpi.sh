# A scaled display (150 %: Wine's LogPixels at 144): the program is DPI aware,
# so its layout and fonts grow with the DPI, the grab has the screen's full
# physical size, and the active-window cut holds exactly the window's pixels.

desktop_key='HKCU\Control Panel\Desktop'
wine reg add "$desktop_key" /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1
trap 'stop_snapora; wine reg add "$desktop_key" /v LogPixels /t REG_DWORD /d 96 /f >/dev/null 2>&1; stop_service; stop_display' EXIT
read -r screen_w screen_h < <(xdpyinfo | awk '/dimensions:/ { split($2, d, "x"); print d[1], d[2] }')

start_snapora
expect_eq "the main window sees 144 DPI" "$(wintool dpi "$main_title")" "144"
read -r l t r b < <(wintool screenrect "$main_title" Panel2)
expect_eq "layout scaled: the 409x49 bottom panel is 614x74 pixels" "$((r - l))x$((b - t))" "614x74"
read -r l t r b < <(wintool screenrect "$main_title" SettingsButton)
expect_eq "layout scaled: the 89x25 settings button is 134x38 pixels" "$((r - l))x$((b - t))" "134x38"

wintool check "$main_title" ActiveWindowCheckBox 0 >/dev/null
before=$(request_count)
press_and_wait_status Print "Screenshot wurde erfolgreich hochgeladen." || fail "Print at 144 DPI: uploaded"
extract_upload "$(ls "$record_dir"/*.body | tail -1)" "$work_dir/dpi-whole.jpg"
expect_eq "the grab has the screen's physical size" "$(identify -format '%wx%h' "$work_dir/dpi-whole.jpg")" \
  "${screen_w}x${screen_h}"

# Shift+Print cuts the window in front, the main window: its rectangle, its pixels.
read -r l t r b < <(wintool rect "$main_title")
press_and_wait_status shift+Print "Screenshot wurde erfolgreich hochgeladen." || fail "Shift+Print at 144 DPI: uploaded"
expect_eq "two uploads" "$(request_count)" "$((before + 2))"
extract_upload "$(ls "$record_dir"/*.body | tail -1)" "$work_dir/dpi-window.jpg"
expect_eq "the cut has the window's physical size" "$(identify -format '%wx%h' "$work_dir/dpi-window.jpg")" \
  "$((r - l))x$((b - t))"
# The same area of the screen now (the window shows the same status again).
import -window root -crop "$((r - l))x$((b - t))+$l+$t" +repage "$work_dir/dpi-screen.png"
error=$(compare -metric RMSE "$work_dir/dpi-window.jpg" "$work_dir/dpi-screen.png" null: 2>&1 | sed 's/.*(\(.*\))/\1/')
if awk -v e="$error" 'BEGIN { exit !(e < 0.05) }'; then pass "the cut holds the window's pixels (RMSE $error)"
else fail "the cut holds the window's pixels (RMSE $error)"; fi
stop_snapora

wine reg add "$desktop_key" /v LogPixels /t REG_DWORD /d 96 /f >/dev/null 2>&1
trap 'stop_snapora; stop_service; stop_display' EXIT
