# A scaled display (150 %: Wine's LogPixels at 144): the program is DPI aware,
# so its layout and fonts grow with the DPI, the grab has the screen's full
# physical size, and the active-window cut holds exactly the window's pixels.

desktop_key='HKCU\Control Panel\Desktop'
wine reg add "$desktop_key" /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1
trap 'stop_snapora; wine reg add "$desktop_key" /v LogPixels /t REG_DWORD /d 96 /f >/dev/null 2>&1; stop_service; stop_display' EXIT
read -r screen_w screen_h < <(xdpyinfo | awk '/dimensions:/ { split($2, d, "x"); print d[1], d[2] }')

start_snapora
read -r l t r b < <(wintool screenrect "$main_title" Panel2)
expect_eq "layout scaled: the 409x49 bottom panel is 614x74 pixels" "$((r - l))x$((b - t))" "614x74"
read -r l t r b < <(wintool screenrect "$main_title" SettingsButton)
expect_eq "layout scaled: the 89x25 settings button is 134x38 pixels" "$((r - l))x$((b - t))" "134x38"
# The donate picture grows with its window: near the lower right corner of its
# pixels, where an 88x23 picture in the corner would leave the panel
# bare, the button's orange shows.
read -r l t r b < <(wintool screenrect "$main_title" DonateButton)
# Its edges at 17 and 40 scale to 26 and 60: 34 pixels high.
expect_eq "layout scaled: the 88x23 donate button is 132x34 pixels" "$((r - l))x$((b - t))" "132x34"
import -window root -crop "1x1+$((l + 118))+$((t + 28))" +repage "$work_dir/donate-dot.png"
read -r red green blue < <(convert "$work_dir/donate-dot.png" -format '%[fx:int(255*r)] %[fx:int(255*g)] %[fx:int(255*b)]' info:)
if [ "${red:-0}" -gt 200 ] && [ "${green:-0}" -gt 130 ] && [ "${green:-255}" -lt 210 ] && [ "${blue:-255}" -lt 110 ]; then
  pass "the donate picture fills its scaled window"
else
  fail "the donate picture fills its scaled window (colour at 118,28: $red $green $blue)"
fi

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
# Compared with the screen now, where the window shows the same: its bottom
# panel (icon, links, buttons), which no capture repaints. Three pixels off,
# the same comparison must be clearly worse (the JPEG's own error is some 0.04).
w=$((r - l)); h=$((b - t)); strip=70
rmse() {
  import -window root -crop "${w}x${strip}+$((l + $1))+$((t + h - strip))" +repage "$work_dir/dpi-screen.png"
  convert "$work_dir/dpi-window.jpg" -crop "${w}x${strip}+0+$((h - strip))" +repage "$work_dir/dpi-cut.png"
  compare -metric RMSE "$work_dir/dpi-cut.png" "$work_dir/dpi-screen.png" null: 2>&1 | sed 's/.*(\(.*\))/\1/'
}
exact=$(rmse 0)
shifted=$(rmse 3)
if awk -v e="$exact" -v s="$shifted" 'BEGIN { exit !(e < 0.08 && s > 3 * e) }'; then
  pass "the cut holds the window's pixels (RMSE $exact; shifted by 3 pixels $shifted)"
else
  fail "the cut holds the window's pixels (RMSE $exact; shifted by 3 pixels $shifted)"
fi
stop_snapora

wine reg add "$desktop_key" /v LogPixels /t REG_DWORD /d 96 /f >/dev/null 2>&1
trap 'stop_snapora; stop_service; stop_display' EXIT
