# Sourced by the desktop benchmarks: the real snapora.exe under Wine on a
# screen of its own showing a real desktop picture, uploading to snapora-server
# on loopback. Holds the end-to-end lock (/tmp/snapora-e2e.lock) from
# start_desktop_session to the end: the service port 18080 is fixed.
#   start_desktop_session WIDTHxHEIGHT PICTURE [REGISTRY_VALUE=TEXT...]
# Sets $work (a folder removed at exit) and SNAPORA_TIMING_LOG ($work/timing.log).
source "$(dirname "${BASH_SOURCE[0]}")/../tests/e2e/lib.sh"

screen_pid="" server_pid=""
stop_desktop_session() {
  stop_snapora
  wineserver -k 2>/dev/null
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  [ -n "$screen_pid" ] && kill "$screen_pid" 2>/dev/null && wait "$screen_pid" 2>/dev/null
  [ -n "${work:-}" ] && rm -rf "$work"
}

start_desktop_session() {
  local size="$1" picture="$2"
  shift 2
  [ -f "$picture" ] || { echo "no picture $picture"; return 2; }
  "$repo/scripts/build.sh" >/dev/null || return 1
  exec 9>/tmp/snapora-e2e.lock
  flock 9
  work=$(mktemp -d /tmp/snapora-desktop-bench.XXXXXX)
  trap stop_desktop_session EXIT
  export WINEPREFIX="$repo/build/wine-bench"  # its own settings, apart from the e2e tests'
  export SNAPORA_TIMING_LOG="Z:${work//\//\\}\\timing.log"

  start_display "${size}x24" 150 190 || return 1
  screen_pid="$xvfb_pid"

  # A soak uploads more from one address than a day's default quota allows.
  "$native_build/server/snapora-server" --listen "127.0.0.1:$service_port" --data "$work/data" \
    --port-file "$work/port" --quota-anonymous 100000000000 2>"$work/server.log" &
  server_pid=$!
  wait_until 50 test -s "$work/port" || { echo "snapora-server did not start"; cat "$work/server.log"; return 1; }

  ensure_wine_prefix
  wine reg delete 'HKCU\Software\Snapora' /f >/dev/null 2>&1
  local setting
  for setting in "$@"; do
    wine reg add 'HKCU\Software\Snapora' /v "${setting%%=*}" /t REG_SZ /d "${setting#*=}" /f >/dev/null 2>&1
  done
  start_snapora
  [ -n "$(wintool find "$main_title" 2>/dev/null)" ] || { echo "snapora.exe did not start"; return 1; }
  # The picture goes on the screen once Wine is up (its start may paint the
  # root window). display exits with 1 even when it has set the background,
  # so the screen itself is compared with the picture: all of it but the
  # program's window.
  display -window root "$picture" >/dev/null 2>&1
  local differing
  import -window root "$work/screen.png" && differing=$(compare -metric AE "$work/screen.png" "$picture" null: 2>&1)
  [ "${differing:-x}" -lt $(( ${size%x*} * ${size#*x} / 20 )) ] 2>/dev/null ||
    { echo "the picture is not on the screen ($differing pixels differ)"; return 1; }
}

now_ms() { date +%s%3N; }

# Waits up to $1 ms for an address of the service on the X clipboard other than $2; prints it.
wait_for_address() {
  local limit="$1" previous="${2:-}" started address
  started=$(now_ms)
  while [ $(( $(now_ms) - started )) -lt "$limit" ]; do
    address=$(clipboard_text)
    case "$address" in
      "$previous") ;;
      "http://127.0.0.1:$service_port/"?*) echo "$address"; return 0 ;;
    esac
    sleep 0.005
  done
  return 1
}

median() { sort -n | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2}'; }
