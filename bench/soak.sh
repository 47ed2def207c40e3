#!/usr/bin/env bash
# Soak: many captures in a row by the real snapora.exe under Wine, on a
# 3840x2160 screen showing a real desktop picture, each uploaded to
# snapora-server on loopback, and the process's memory after each (resident
# set and its anonymous part, from /proc). Reports the memory after the first
# 50 captures and at the end, and the growth per capture in between (end
# against capture 50, and the least-squares slope). With --editor each capture
# opens the editor, which is closed by its upload button; --list=N sets the
# history's length (ScreenshotListCount, 0 to 50; the program's default is 5).
#   bench/soak.sh [CAPTURES] [--editor] [--list=N] [PICTURE]
# Defaults: 1000 captures of ../shared/data/screens/desk-4k.png. The samples
# stay in build/soak-*.csv. Holds the end-to-end lock (see bench/desktop_session.sh).
set -uo pipefail
source "$(dirname "$0")/desktop_session.sh"

captures=1000 editor=0 list="" picture="$repo/../shared/data/screens/desk-4k.png"
for arg in "$@"; do
  case "$arg" in
    --editor) editor=1 ;;
    --list=*) list="${arg#--list=}" ;;
    [0-9]*) captures="$arg" ;;
    *) picture="$arg" ;;
  esac
done
settings=(ActiveWindow=false CopyURLAfterScreenshot=true)
[ "$editor" -eq 1 ] && settings+=(Edit=true)
[ -n "$list" ] && settings+=(ScreenshotListCount="$list")
start_desktop_session 3840x2160 "$picture" "${settings[@]}" || exit 1
editor_title="Screenshot bearbeiten"

# The Wine process of the program (its command line ends in snapora.exe).
pid=""
for candidate in $(pgrep -f 'snapora\.exe'); do
  case "$(tr '\0' ' ' </proc/"$candidate"/cmdline)" in *wintool*|*pgrep*) ;; *) pid="$candidate" ;; esac
done
[ -n "$pid" ] || { echo "no snapora.exe process"; exit 1; }
memory() { awk '/^VmRSS:/ {r=$2} /^RssAnon:/ {a=$2} END {print r, a}' /proc/"$pid"/status; }

csv="$repo/build/soak-$([ "$editor" -eq 1 ] && echo editor || echo plain).csv"
echo "capture,ms,rss_kb,anon_kb" >"$csv"
echo "$captures captures$([ "$editor" -eq 1 ] && echo ' through the editor') of $(basename "$picture") on 3840x2160," \
  "history length ${list:-5}," \
  "process $pid, load average $(cut -d' ' -f1-3 /proc/loadavg); start: $(memory | awk '{print $1 " kB resident, " $2 " kB anonymous"}')"
address="" dropped=0 started_all=$(now_ms)
for capture in $(seq "$captures"); do
  started=$(now_ms)
  for attempt in 1 2 3 4 5; do
    focus_main
    xdotool key Print
    if [ "$editor" -eq 1 ]; then
      wintool wait "$editor_title" 15000 >/dev/null || { dropped=$((dropped + 1)); continue; }
      wintool click "$editor_title" UploadButton >/dev/null
    fi
    # A key pressed while the last worker was still ending is dropped: press again.
    if next=$(wait_for_address 15000 "$address"); then address="$next"; break; fi
    dropped=$((dropped + 1))
  done
  [ "$address" = "${next:-}" ] || { echo "capture $capture: no new address (status '$(control_text Label1)')"; exit 1; }
  echo "$capture,$(( $(now_ms) - started )),$(memory | tr ' ' ',')" >>"$csv"
  [ $((capture % 100)) -eq 0 ] && echo "  $capture captures, $(memory | awk '{print $1}') kB resident"
done

echo "done in $(( ($(now_ms) - started_all) / 1000 )) s, $dropped key presses repeated; load average $(cut -d' ' -f1-3 /proc/loadavg)"
awk -F, -v n="$captures" 'NR > 1 {
    c = $1; rss[c] = $3; anon[c] = $4; ms[c] = $2
    if (c >= 50) { k++; sx += c; sy += $3; sxx += c * c; sxy += c * $3; sa += $4; sxa += c * $4 }
  }
  END {
    printf "after capture 50: %d kB resident (%d kB anonymous); after capture %d: %d kB (%d kB)\n", rss[50], anon[50], n, rss[n], anon[n]
    printf "growth per capture from 50 to %d: %.2f kB resident, %.2f kB anonymous\n", n, (rss[n] - rss[50]) / (n - 50), (anon[n] - anon[50]) / (n - 50)
    slope = (k * sxy - sx * sy) / (k * sxx - sx * sx); slopeA = (k * sxa - sx * sa) / (k * sxx - sx * sx)
    printf "least-squares slope over 50..%d: %.3f kB resident, %.3f kB anonymous per capture\n", n, slope, slopeA
    for (c = 50; c <= n; c++) if (rss[c] > peak) peak = rss[c]
    printf "peak resident after capture 50: %d kB\n", peak
  }' "$csv"
