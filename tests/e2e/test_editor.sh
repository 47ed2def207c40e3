# "Anschließend bearbeiten": the editor opens on Print; a crop dragged with the
# mouse and a line drawn with the line tool go out with "Hochladen"; F10 sends
# and lists nothing; a typed line not yet ended goes out with "Hochladen";
# Escape with "Nur auf Festplatte speichern" saves; the history sends an older
# screenshot through the editor again.

editor_title="Screenshot bearbeiten"
history_title="Screenshot-Chronik"
target="$WINEPREFIX/drive_c/snapora-e2e-editor"
rm -rf "$target"; mkdir -p "$target"

# Drags the left mouse button over the picture, in picture coordinates.
drag_on_picture() {
  local x0 y0 r
  r=$(wintool screenrect "$editor_title" Image1) || return 1
  read -r x0 y0 _ <<<"$r"
  xdotool mousemove --sync $((x0 + $1)) $((y0 + $2)) mousedown 1
  for step in 1 2 3 4; do
    xdotool mousemove --sync $((x0 + $1 + ($3 - $1) * step / 4)) $((y0 + $2 + ($4 - $2) * step / 4))
  done
  xdotool mouseup 1
  sleep 0.3
}
newest_upload() { ls "$record_dir"/*.body 2>/dev/null | tail -1; }
# Print, then with the text tool a click at (60, 60) of the picture and TEXT typed into the box.
type_into_new_box() {
  local x0 y0
  focus_main
  xdotool key Print
  wintool wait "$editor_title" 15000 >/dev/null || return 1
  wintool click "$editor_title" CmdText >/dev/null
  read -r x0 y0 _ <<<"$(wintool screenrect "$editor_title" Image1)"
  xdotool mousemove --sync $((x0 + 60)) $((y0 + 60)) click 1
  wait_until 30 bash -c "wine '$wintool_exe' get '$editor_title' TextEdit 2>/dev/null | cut -f4 | grep -q 1"
  xdotool type --delay 30 "$1"
  wintool wait-text "$editor_title" TextEdit "$1" 5000 >/dev/null
}

start_snapora
wintool check "$main_title" ActiveWindowCheckBox 0 >/dev/null
wintool check "$main_title" EditCheckBox 1 >/dev/null
before=$(request_count)
focus_main
xdotool key Print
if wintool wait "$editor_title" 15000 >/dev/null; then
  pass "Print opens the editor"
  sleep 0.5
  missing=""
  for control in MonitorSelectBox DesktopPanel ColorPanel PenWidthEdit CmdClip CmdPen CmdLine CmdArrow \
                 CmdRectangle CmdEllipse CmdClearClip CmdText CaptionEdit CmdUndo CmdRedo UploadButton SaveButton \
                 AbortButton ScrollBox1 Image1 StatusBar1; do
    [ "$(wintool get "$editor_title" "$control" | cut -f4)" = 1 ] || missing="$missing $control"
  done
  expect_eq "the editor shows its controls" "${missing:-}" ""
  expect_eq "the title field" "$(wintool text "$editor_title" CaptionEdit)" "Titel..."
  expect_eq "the monitor list" "$(wintool count "$editor_title" MonitorSelectBox)" "2"
  drag_on_picture 100 80 300 230
  wintool click "$editor_title" CmdLine >/dev/null
  drag_on_picture 120 150 280 150
  wintool click "$editor_title" UploadButton >/dev/null
  wintool wait-text "$main_title" Label1 "Screenshot wurde erfolgreich hochgeladen." 30000 >/dev/null \
    && pass "Hochladen uploads" || fail "Hochladen uploads ('$(control_text Label1)')"
  expect_eq "one upload" "$(request_count)" "$((before + 1))"
  extract_upload "$(newest_upload)" "$work_dir/edited.jpg"
  expect_eq "the upload is the crop's size" "$(identify -format '%wx%h' "$work_dir/edited.jpg" 2>/dev/null)" "200x150"
  # The line runs along row 70 of the crop, in the pen's red; JPEG blurs it a little.
  rgb=$(convert "$work_dir/edited.jpg" -crop 1x3+100+69 -resize 1x1\! -format '%[fx:int(255*r)] %[fx:int(255*g)] %[fx:int(255*b)]' info: 2>/dev/null)
  read -r red green blue <<<"$rgb"
  if [ "${red:-0}" -gt 150 ] && [ "${green:-255}" -lt 110 ] && [ "${blue:-255}" -lt 110 ]; then
    pass "the red line is in the upload"
  else
    fail "the red line is in the upload (colour '$rgb')"
  fi
else
  fail "Print opens the editor"
fi

# The history sends the cropped screenshot through the editor again.
wintool click "$main_title" Button1 >/dev/null
wintool wait "$history_title" 10000 >/dev/null
expect_eq "history: one entry" "$(wintool count "$history_title" ListBox1)" "1"
before=$(request_count)
wintool click "$history_title" EditScreenshotButton >/dev/null
if wintool wait "$editor_title" 15000 >/dev/null; then
  pass "re-editing opens the editor"
  wintool click "$editor_title" UploadButton >/dev/null
  wait_until 300 bash -c "[ \$(ls '$record_dir' | grep -c '\.req$') -gt $before ]"
  sleep 0.5
  extract_upload "$(newest_upload)" "$work_dir/again.jpg"
  expect_eq "re-edited: the older picture went out" "$(identify -format '%wx%h' "$work_dir/again.jpg" 2>/dev/null)" "200x150"
  # The history kept it packed: the same pixels at the same quality make the same file.
  expect_eq "re-edited: every pixel as it was" "$(cmp -s "$work_dir/edited.jpg" "$work_dir/again.jpg" && echo same)" "same"
  wintool wait-text "$main_title" Label1 "Screenshot wurde erfolgreich hochgeladen." 30000 >/dev/null
else
  fail "re-editing opens the editor"
fi

# F10: nothing sent, nothing listed.
entries=$(wintool count "$history_title" ListBox1)
before=$(request_count)
focus_main
xdotool key Print
if wintool wait "$editor_title" 15000 >/dev/null; then
  wintool key "$editor_title" F10 >/dev/null
  wait_until 100 bash -c "! wine '$wintool_exe' find '$editor_title' 2>/dev/null | grep -q '	1	'"
  sleep 1
  expect_eq "F10: nothing uploaded" "$(request_count)" "$before"
  expect_eq "F10: no history entry" "$(wintool count "$history_title" ListBox1)" "$entries"
else
  fail "Print opens the editor for F10"
fi

# Text: typed into the box over the picture; Enter draws the line and opens the next.
if type_into_new_box "Hallo"; then
  pass "typing goes into the text box"
  xdotool key Return
  wintool wait-text "$editor_title" TextEdit "" 5000 >/dev/null && pass "Enter draws the line and opens the next" \
    || fail "Enter draws the line and opens the next ('$(wintool text "$editor_title" TextEdit)')"
  expect_eq "the next line's box is open" "$(wintool get "$editor_title" TextEdit | cut -f4)" "1"
else
  fail "typing goes into the text box ('$(wintool text "$editor_title" TextEdit)')"
fi
wintool key "$editor_title" F10 >/dev/null
wait_until 100 bash -c "! wine '$wintool_exe' find '$editor_title' 2>/dev/null | grep -q '	1	'"

# A line typed and not ended with Enter goes out when "Hochladen" is clicked
# with the mouse, which takes the focus from the text box before its click.
before=$(request_count)
if type_into_new_box "Hallo Welt"; then
  read -r l t r b < <(wintool screenrect "$editor_title" UploadButton)
  xdotool mousemove --sync $(((l + r) / 2)) $(((t + b) / 2)) click 1
  wintool wait-text "$main_title" Label1 "Screenshot wurde erfolgreich hochgeladen." 30000 >/dev/null \
    && pass "Hochladen with a line open uploads" || fail "Hochladen with a line open uploads ('$(control_text Label1)')"
  expect_eq "Hochladen with a line open: one upload" "$(request_count)" "$((before + 1))"
  extract_upload "$(newest_upload)" "$work_dir/typed.jpg"
  # The line in the pen's red, its top-left corner 11 pixels above the click.
  reds=$(convert "$work_dir/typed.jpg" -crop 120x30+55+42 +repage -fx 'r > 0.55 && g < 0.4 && b < 0.4 ? 1 : 0' \
    -format '%[fx:int(mean * w * h)]' info: 2>/dev/null)
  if [ "${reds:-0}" -gt 40 ]; then pass "the open line is in the upload ($reds red pixels)"
  else fail "the open line is in the upload (${reds:-no} red pixels)"; fi
else
  fail "the open line typed ('$(wintool text "$editor_title" TextEdit)')"
fi

# Escape takes the default action: with "Nur auf Festplatte speichern", a save.
wintool check "$main_title" SaveLocalCheckBox 1 >/dev/null
with_settings check AlwaysAskForDirectoryCheckBox 0 settext StandardDirEdit 'C:\snapora-e2e-editor'
focus_main
xdotool key Print
if wintool wait "$editor_title" 15000 >/dev/null; then
  wintool key "$editor_title" ESCAPE >/dev/null
  wintool wait-text "$main_title" Label1 'Screenshot wurde unter C:\snapora-e2e-editor\Screenshot1.jpg gespeichert.' 30000 >/dev/null \
    && pass "Escape saves locally" || fail "Escape saves locally ('$(control_text Label1)')"
else
  fail "Print opens the editor for Escape"
fi
wintool check "$main_title" SaveLocalCheckBox 0 >/dev/null
wintool check "$main_title" EditCheckBox 0 >/dev/null
wintool check "$main_title" ActiveWindowCheckBox 1 >/dev/null
rm -rf "$target"
