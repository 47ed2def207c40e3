# The installer and the uninstaller under Wine: a silent per-user install with
# a service address, the installed program starting, a silent uninstall that
# keeps the settings, and an uninstall whose question deletes them.

setup_exe="$repo/build/package/snapora-4.2-setup.exe"
reg_key='HKCU\Software\Snapora'
uninstall_title="Deinstallation von Snapora 4.2"
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Snapora'
win_dir() { winepath -u "$(wine cmd /c echo "%$1%" 2>/dev/null | tr -d '\r')" 2>/dev/null; }
app_dir="$(win_dir LOCALAPPDATA)/Programs/Snapora"
roaming="$(win_dir APPDATA)"
start_menu_link="$roaming/Microsoft/Windows/Start Menu/Programs/Snapora.lnk"
startup_link="$roaming/Microsoft/Windows/Start Menu/Programs/StartUp/snapora.lnk"
reg_value() { wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | awk -v n="$2" '$1 == n { $1 = ""; $2 = ""; sub(/^  /, ""); print }'; }
installed_state() {  # exe, start-menu entry, uninstall entry, start-up shortcut: 1 or 0 each
  local s=""
  for f in "$app_dir/snapora.exe" "$start_menu_link"; do [ -e "$f" ] && s+=1 || s+=0; done
  wine reg query "$uninstall_key" >/dev/null 2>&1 && s+=1 || s+=0
  [ -e "$startup_link" ] && s+=1 || s+=0
  echo "$s"
}
# The uninstaller copies itself away and returns at once: wait for its work.
wait_uninstalled() { wait_until 300 bash -c "[ ! -e '$app_dir' ] && ! wine reg query '$uninstall_key' >/dev/null 2>&1"; }

portable_zip="$repo/build/package/snapora-4.2-portable.zip"
expect_eq "portable zip: the exe and the German read-me" \
  "$(python3 -c 'import sys, zipfile; print(" ".join(sorted(zipfile.ZipFile(sys.argv[1]).namelist())))' "$portable_zip" 2>&1)" \
  "LIESMICH.txt snapora.exe"
unzip_dir=$(mktemp -d /tmp/snapora-e2e-zip.XXXXXX)
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$portable_zip" "$unzip_dir" 2>/dev/null
grep -q "Den Ordner löschen" <(iconv -f WINDOWS-1252 -t UTF-8 "$unzip_dir/LIESMICH.txt" 2>/dev/null) \
  && pass "read-me in Windows-1252 for Windows' editors" || fail "read-me in Windows-1252"
rm -rf "$unzip_dir"

if [ ! -f "$setup_exe" ]; then
  fail "installer built ($setup_exe missing: scripts/package.sh)"
else
  # What an interrupted earlier run may have left.
  rm -rf "$app_dir" && rm -f "$start_menu_link" "$startup_link"
  wine reg delete "$uninstall_key" /f >/dev/null 2>&1
  wine reg delete "$reg_key" /f >/dev/null 2>&1
  expect_eq "before: nothing installed" "$(installed_state)" "0000"

  timeout 120 wine "$setup_exe" /S /SERVICE=https://shots.example.org >/dev/null 2>&1
  expect_eq "silent install exits 0" "$?" "0"
  expect_eq "after install: program, Start-menu entry, uninstall entry" "$(installed_state)" "1110"
  expect_eq "uninstall entry: DisplayName" "$(reg_value "$uninstall_key" DisplayName)" "Snapora"
  expect_eq "uninstall entry: DisplayVersion" "$(reg_value "$uninstall_key" DisplayVersion)" "4.2"
  uninstaller=$(reg_value "$uninstall_key" UninstallString)
  case "$uninstaller" in *'\uninstall.exe"') pass "uninstall entry names the uninstaller" ;;
    *) fail "UninstallString '$uninstaller'" ;; esac
  [ -f "$app_dir/uninstall.exe" ] && pass "uninstaller installed" || fail "uninstaller installed"
  expect_eq "/SERVICE= stored as ServiceURL" "$(reg_value "$reg_key" ServiceURL)" "https://shots.example.org"

  # The installed copy starts, with the service the installer gave it.
  wine "$app_dir/snapora.exe" >/dev/null 2>&1 &
  snapora_pid=$!
  if wintool wait "$main_title" 30000 >/dev/null; then pass "installed program starts"; else fail "installed program starts"; fi
  expect_eq "installed program uses the installer's service" "$(control_text Label5)" "https://shots.example.org"
  stop_snapora
  mkdir -p "$(dirname "$startup_link")" && : >"$startup_link"  # as the tray option leaves it

  timeout 60 wine "$app_dir/uninstall.exe" /S >/dev/null 2>&1
  wait_uninstalled
  expect_eq "after silent uninstall: all removed, start-up shortcut too" "$(installed_state)" "0000"
  [ -e "$app_dir" ] && fail "program folder removed" || pass "program folder removed"
  wine reg query "$reg_key" >/dev/null 2>&1 && pass "silent uninstall keeps the settings" \
    || fail "silent uninstall keeps the settings"

  # Interactive: the uninstaller asks, and "Ja" deletes the settings.
  timeout 120 wine "$setup_exe" /S >/dev/null 2>&1
  expect_eq "reinstalled" "$(installed_state)" "1110"
  wine "$app_dir/uninstall.exe" >/dev/null 2>&1 &
  question=$(wintool wait "$uninstall_title" 30000 >/dev/null && echo yes)
  if [ -n "$question" ] && wintool click "$uninstall_title" "#6" >/dev/null; then
    pass "uninstaller asks about the settings"
  else
    fail "uninstaller asks about the settings ($(wintool windows | tr '\n' ' '))"
  fi
  wait_uninstalled
  wine reg query "$reg_key" >/dev/null 2>&1 && fail "answering Ja deletes the settings" \
    || pass "answering Ja deletes the settings"
  expect_eq "after uninstall: all removed" "$(installed_state)" "0000"
fi
