#!/usr/bin/env bash
# Makes the screenshot corpus: realistic screens at 1920x1080, 2560x1440,
# 3840x2160 and 7680x2160 (two 4K monitors side by side), drawn by headless
# Chromium from real content on this machine (the Node.js manual, the
# C library's headers in an editor and a terminal, spreadsheets of ISO
# country codes, a newspaper page, Debian's MATE wallpapers as photos, in an
# image viewer and as video frames) and composed into multi-window desktops
# with ImageMagick. Nothing is stored in the repository but this recipe.
#   bench/make-corpus.sh [OUT_DIR]     (default build/corpus)
# Writes OUT_DIR/*.png; a second run with the same recipe does nothing.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)
out=$(mkdir -p "${1:-$repo/build/corpus}" && cd "${1:-$repo/build/corpus}" && pwd)

# The recipe's fingerprint: the scripts and the sources the pages show.
recipe=$(cat "$here/make-corpus.sh" "$here/corpus/pages.py" | sha1sum | cut -c1-16)
if [ -f "$out/.recipe" ] && [ "$(cat "$out/.recipe")" = "$recipe" ]; then exit 0; fi

for need in /usr/share/backgrounds/mate/nature/Storm.jpg /usr/share/doc/nodejs/api/fs.html \
            /usr/share/iso-codes/json/iso_3166-1.json; do
  [ -e "$need" ] || { echo "make-corpus: $need is missing: run scripts/install-packages.sh" >&2; exit 1; }
done
command -v chromium >/dev/null || { echo "make-corpus: chromium is missing" >&2; exit 1; }

work=$(mktemp -d /tmp/snapora-corpus.XXXXXX)
trap 'rm -rf "$work"' EXIT
python3 "$here/corpus/pages.py" "$work"
rm -f "$out"/*.png "$out/.recipe"

# render PAGE WIDTH HEIGHT SCALE OUT: the page as a window of that many
# device pixels shows it, at that device scale (2 is a 4K screen at 200 %).
render() {
  local page="$1" width="$2" height="$3" scale="$4" png="$5"
  case "$page" in /*|file:*) ;; *) page="file://$work/$page" ;; esac
  timeout 120 chromium --headless --no-sandbox --disable-gpu --no-first-run --disable-background-networking \
    --disable-component-update --disable-sync --user-data-dir="$work/profile" --hide-scrollbars \
    --allow-file-access-from-files --force-device-scale-factor="$scale" \
    --window-size="$((width / scale)),$((height / scale))" --screenshot="$png" "$page" >/dev/null 2>&1
  [ "$(identify -format %wx%h "$png")" = "${width}x${height}" ] ||
    { echo "make-corpus: $page did not render at ${width}x${height}" >&2; exit 1; }
}

# desktop OUT BASE [WINDOW X Y]...: windows with drop shadows placed onto a
# screen, in one pass.
desktop() {
  local png="$1" args=("$2")
  shift 2
  while [ $# -ge 3 ]; do
    args+=(\( "$1" \( +clone -background black -shadow 45x9+0+6 \) +swap -background none -layers merge +repage \)
           -geometry "+$2+$3" -composite)
    shift 3
  done
  convert "${args[@]}" -alpha off "$png"
}

# Single applications filling the screen.
render docs-fs.html 1920 1080 1 "$out/docs-node-1080.png"
render code-dark.html 1920 1080 1 "$out/code-dark-1080.png"
render terminal.html 1920 1080 1 "$out/terminal-1080.png"
render viewer-ladybird.html 1920 1080 1 "$out/photo-viewer-1080.png"
render sheet.html 2560 1440 1 "$out/sheet-1440.png"
render article.html 2560 1440 1 "$out/article-1440.png"
render docs-stream.html 3840 2160 2 "$out/docs-node-4k-200.png"
render code-split.html 3840 2160 1 "$out/code-split-4k.png"
render sheet-dense.html 3840 2160 1 "$work/sheet-dense.png"
cp "$work/sheet-dense.png" "$out/sheet-dense-4k.png"
render video-storm.html 3840 2160 1 "$out/video-storm-4k.png"
render viewer-elephants.html 3840 2160 1 "$out/photo-elephants-4k.png"
render terminal-small.html 3840 2160 1 "$work/terminal-small.png"
cp "$work/terminal-small.png" "$out/terminal-4k.png"

# Windows for the desktops.
render taskbar.html 2560 40 1 "$work/bar-1440.png"
render taskbar.html 3840 48 1 "$work/bar-4k.png"
render win-terminal.html 1300 700 1 "$work/terminal.png"
render win-code.html 1700 1250 1 "$work/code.png"
render win-article.html 1500 1300 1 "$work/article.png"
render win-viewer.html 1400 900 1 "$work/viewer.png"
render win-sheet.html 1800 1200 2 "$work/sheet-200.png"
render win-article.html 1600 1700 2 "$work/article-200.png"

# Desktops: wallpaper, windows, task bar.
render wall-dune.html 2560 1440 1 "$work/dune-1440.png"
desktop "$out/desktop-dune-1440.png" "$work/dune-1440.png" "$work/terminal.png" 900 300 "$work/bar-1440.png" 0 1400
render wall-storm.html 3840 2160 1 "$work/storm.png"
desktop "$out/desktop-mixed-4k.png" "$work/storm.png" "$work/code.png" 120 90 "$work/article.png" 1700 160 \
  "$work/terminal.png" 360 1330 "$work/viewer.png" 2300 1150 "$work/bar-4k.png" 0 2112
# A calm desktop at 200 %: a gradient wallpaper and two windows.
render wall-gradient.html 3840 2160 1 "$work/gradient.png"
desktop "$out/desktop-calm-4k-200.png" "$work/gradient.png" "$work/article-200.png" 2000 200 \
  "$work/sheet-200.png" 200 500 "$work/bar-4k.png" 0 2112

# Two 4K monitors side by side.
render code-light.html 3840 2160 2 "$work/left-code.png"
render wall-raindrops.html 3840 2160 1 "$work/raindrops.png"
desktop "$work/right-raindrops.png" "$work/raindrops.png" "$work/article.png" 1200 300 "$work/terminal.png" 300 1200
convert "$work/left-code.png" "$work/right-raindrops.png" +append -alpha off "$out/dual-code-photo-8k.png"
render wall-blinds.html 3840 2160 1 "$work/blinds.png"
desktop "$work/left-blinds.png" "$work/blinds.png" "$work/viewer.png" 900 500
render wall-dune.html 3840 2160 1 "$work/right-dune.png"
convert "$work/left-blinds.png" "$work/right-dune.png" +append -alpha off "$out/dual-photos-8k.png"
convert "$work/sheet-dense.png" "$work/terminal-small.png" +append -alpha off "$out/dual-sheet-terminal-8k.png"
render video-dune.html 3840 2160 1 "$work/left-video.png"
render docs-http.html 3840 2160 2 "$work/right-docs.png"
convert "$work/left-video.png" "$work/right-docs.png" +append -alpha off "$out/dual-video-docs-8k.png"

echo "$recipe" >"$out/.recipe"
echo "make-corpus: $(ls "$out"/*.png | wc -l) pictures in $out"
