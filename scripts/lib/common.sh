# Shared by the project's scripts: paths, the Wine prefix and a private X server.

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
native_build="$repo/build/native"
win_build="$repo/build/win64"
snapora_exe="$win_build/src/snapora.exe"

# Wine turns command-line arguments into UTF-16 by the locale: keep it UTF-8.
case "${LANG:-}" in *UTF-8*|*utf8*) ;; *) export LANG=C.UTF-8 ;; esac

export WINEPREFIX="${WINEPREFIX:-$repo/build/wine}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installers: the program needs neither.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

log() { printf '\033[1m== %s\033[0m\n' "$*"; }

# Creates the Wine prefix once; later calls return at once.
ensure_wine_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    log "creating the Wine prefix in $WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w || true
  fi
  ensure_windows_fonts
}

# Windows draws "MS Sans Serif" 8 pt narrower than Wine's own font of that
# name, and the program's layouts were made for Windows: substitute Liberation
# Sans (Debian's fonts-liberation2, found by Wine through fontconfig), whose
# widths come close to Windows', so texts fit as they do there.
wine_fonts_version=1
ensure_windows_fonts() {
  local marker="$WINEPREFIX/.snapora-fonts-$wine_fonts_version"
  [ -f "$marker" ] && return 0
  fc-list 2>/dev/null | grep 'Liberation Sans' >/dev/null ||
    echo "warning: Liberation Sans is missing (fonts-liberation2); Wine keeps its own MS Sans Serif" >&2
  local reg="$WINEPREFIX/snapora-fonts.reg"
  printf '%s\r\n' 'REGEDIT4' '' \
    '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]' \
    '"MS Sans Serif"="Liberation Sans"' >"$reg"
  wine regedit /S "$(winepath -w "$reg" 2>/dev/null)" >/dev/null 2>&1 && touch "$marker"
  wineserver -w || true
}

# Starts Xvfb with a screen of WIDTHxHEIGHTxDEPTH on the first free display
# number from FIRST to LAST, exports DISPLAY and sets $xvfb_pid.
xvfb_pid=""
start_display() {
  local screen="$1" first="$2" last="$3" n
  for n in $(seq "$first" "$last"); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 "$screen" -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && return 0; sleep 0.1; done
    kill "$xvfb_pid" 2>/dev/null || true
  done
  echo "could not start Xvfb" >&2
  return 1
}

# Starts Xvfb on a free display when there is none.
ensure_display() {
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return 0; fi
  start_display "${SNAPORA_SCREEN:-1280x1024x24}" 90 140
}

stop_display() {
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=""
  fi
}
