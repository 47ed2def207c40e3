#!/usr/bin/env bash
# Print to address: how long the real snapora.exe under Wine takes from the
# Print key to the screenshot's address on the X clipboard, on a 3840x2160
# screen showing a real desktop picture, uploading to snapora-server on
# loopback. Prints each run's time (measured from outside: xdotool presses the
# key, xclip sees the address) and the program's own stage times from its
# timing log (SNAPORA_TIMING_LOG), then the medians.
#   bench/print_to_address.sh [RUNS] [PICTURE]
# Defaults: 7 runs of ../shared/data/screens/desk-4k.png. Holds the end-to-end
# lock (/tmp/snapora-e2e.lock) while it runs: the service port 18080 is fixed.
set -uo pipefail
source "$(dirname "$0")/../tests/e2e/lib.sh"

runs="${1:-7}"
picture="${2:-$repo/../shared/data/screens/desk-4k.png}"
[ -f "$picture" ] || { echo "no picture $picture"; exit 2; }
"$repo/scripts/build.sh" >/dev/null || exit 1

exec 9>/tmp/snapora-e2e.lock
flock 9

work=$(mktemp -d /tmp/snapora-print-bench.XXXXXX)
export WINEPREFIX="$repo/build/wine-bench"  # its own settings, apart from the e2e tests'
export SNAPORA_TIMING_LOG="Z:${work//\//\\}\\timing.log"
screen_pid="" server_pid=""
cleanup() {
  stop_snapora
  wineserver -k 2>/dev/null
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  [ -n "$screen_pid" ] && kill "$screen_pid" 2>/dev/null && wait "$screen_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# A screen of its own, the picture on it at full size.
for n in $(seq 150 190); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
  Xvfb ":$n" -screen 0 3840x2160x24 -nolisten tcp >/dev/null 2>&1 &
  screen_pid=$!
  export DISPLAY=":$n"
  break
done
wait_until 50 xdpyinfo || { echo "no 3840x2160 display"; exit 1; }

"$native_build/server/snapora-server" --listen "127.0.0.1:$service_port" --data "$work/data" \
  --port-file "$work/port" 2>"$work/server.log" &
server_pid=$!
wait_until 50 test -s "$work/port" || { echo "snapora-server did not start"; cat "$work/server.log"; exit 1; }

ensure_wine_prefix
# The whole screen, and the address onto the clipboard.
wine reg add 'HKCU\Software\Snapora' /v ActiveWindow /t REG_SZ /d false /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Snapora' /v CopyURLAfterScreenshot /t REG_SZ /d true /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Snapora' /v Edit /t REG_SZ /d false /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Snapora' /v SaveLocal /t REG_SZ /d false /f >/dev/null 2>&1
start_snapora
[ -n "$(wintool find "$main_title" 2>/dev/null)" ] || { echo "snapora.exe did not start"; exit 1; }
# The picture goes on the screen once Wine is up (its start may paint the root window).
display -window root "$picture" >/dev/null 2>&1

now_ms() { date +%s%3N; }
echo "picture $(basename "$picture") on a 3840x2160 screen, $runs runs, load average $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%4s %9s   %s\n' run "total ms" "stages (ms) from the program's timing log"
totals=()
for run in $(seq "$runs"); do
  xclip -selection clipboard /dev/null </dev/null
  wintool settext "$main_title" Label1 "-" >/dev/null
  focus_main
  : >"$work/timing.log"
  started=$(now_ms)
  xdotool key Print
  address=""
  while [ $(( $(now_ms) - started )) -lt 30000 ]; do
    address=$(xclip -o -selection clipboard 2>/dev/null)
    case "$address" in "http://127.0.0.1:$service_port/"?*) break ;; esac
    address=""
    sleep 0.005
  done
  ended=$(now_ms)
  if [ -z "$address" ]; then
    echo "run $run: no address on the clipboard after 30 s (status '$(control_text Label1)')"
    exit 1
  fi
  total=$((ended - started))
  totals+=("$total")
  stages=$(awk '{printf "%s %s  ", $2, $3}' "$work/timing.log")
  printf '%4d %9d   %s\n' "$run" "$total" "$stages"
  cat "$work/timing.log" >>"$work/all.log"
  wintool wait-text "$main_title" Label1 "Screenshot wurde erfolgreich hochgeladen." 30000 >/dev/null
done

# What the last run uploaded, as the service serves it.
curl -s -o "$work/last.jpg" "$address.jpg"
echo "last upload: $(identify -format '%wx%h, quality %Q' "$work/last.jpg" 2>/dev/null), $(stat -c %s "$work/last.jpg") bytes"
[ -n "${SNAPORA_BENCH_KEEP:-}" ] && cp "$work/last.jpg" "$SNAPORA_BENCH_KEEP"

median() { sort -n | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2}'; }
echo "median total: $(printf '%s\n' "${totals[@]}" | median) ms"
for stage in $(awk '{print $2}' "$work/all.log" | sort -u); do
  echo "median $stage: $(awk -v s="$stage" '$2 == s {print $3}' "$work/all.log" | median) ms"
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
