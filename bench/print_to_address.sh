#!/usr/bin/env bash
# Print to address: how long the real snapora.exe under Wine takes from the
# Print key to the screenshot's address on the X clipboard, on a 3840x2160
# screen showing a real desktop picture, uploading to snapora-server on
# loopback. Prints each run's time (measured from outside: xdotool presses the
# key, xclip sees the address) and the program's own stage times from its
# timing log (SNAPORA_TIMING_LOG), then the medians.
#   bench/print_to_address.sh [RUNS] [PICTURE]
# Defaults: 7 runs of ../shared/data/screens/desk-4k.png. Holds the end-to-end
# lock while it runs (see bench/desktop_session.sh).
set -uo pipefail
source "$(dirname "$0")/desktop_session.sh"

runs="${1:-7}"
picture="${2:-$repo/../shared/data/screens/desk-4k.png}"
# The whole screen, and the address onto the clipboard.
start_desktop_session 3840x2160 "$picture" ActiveWindow=false CopyURLAfterScreenshot=true || exit 1

echo "picture $(basename "$picture") on a 3840x2160 screen, $runs runs, load average $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%4s %9s   %s\n' run "total ms" "stages (ms) from the program's timing log"
totals=()
address=""
for run in $(seq "$runs"); do
  xclip -selection clipboard /dev/null </dev/null
  focus_main
  : >"$work/timing.log"
  started=$(now_ms)
  xdotool key Print
  if ! address=$(wait_for_address 30000); then
    echo "run $run: no address on the clipboard after 30 s (status '$(control_text Label1)')"
    exit 1
  fi
  total=$(( $(now_ms) - started ))
  totals+=("$total")
  printf '%4d %9d   %s\n' "$run" "$total" "$(awk '{printf "%s %s  ", $2, $3}' "$work/timing.log")"
  cat "$work/timing.log" >>"$work/all.log"
  wintool wait-text "$main_title" Label1 "Screenshot wurde erfolgreich hochgeladen." 30000 >/dev/null
done

# What the last run uploaded, as the service serves it.
curl -s -o "$work/last.jpg" "$address.jpg"
echo "last upload: $(identify -format '%wx%h, quality %Q' "$work/last.jpg" 2>/dev/null), $(stat -c %s "$work/last.jpg") bytes"
echo "median total: $(printf '%s\n' "${totals[@]}" | median) ms"
for stage in $(awk '{print $2}' "$work/all.log" | sort -u); do
  echo "median $stage: $(awk -v s="$stage" '$2 == s {print $3}' "$work/all.log" | median) ms"
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
