#!/usr/bin/env bash
# Builds and runs the benchmarks on a folder of PNG screenshots: compression
# (the size ladder), the history's packed entries, resizing, the editor's
# undo on the largest picture and snapora-server's thumbnails.
#   bench/run.sh [FOLDER]
# Default: the screenshot corpus, made by bench/make-corpus.sh into build/corpus.
set -euo pipefail
source "$(dirname "$0")/../scripts/lib/common.sh"
if [ $# -ge 1 ]; then
  screens="$1"
else
  screens="$repo/build/corpus"
  "$repo/bench/make-corpus.sh" "$screens"
fi
cmake -S "$repo" -B "$repo/build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C "$repo/build/bench" -j "${SNAPORA_JOBS:-$(nproc)}" compression_bench history_bench resample_bench \
  editor_undo_bench thumbnail_bench >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
files=() widest="" widest_pixels=0
for png in "$screens"/*.png; do
  ppm="$work/$(basename "$png" .png).ppm"
  convert "$png" -depth 8 "ppm:$ppm"
  files+=("$ppm")
  pixels=$(identify -format '%[fx:w*h]' "$png")
  [ "$pixels" -gt "$widest_pixels" ] && widest="$ppm" widest_pixels="$pixels"
done
[ ${#files[@]} -gt 0 ] || { echo "no PNG pictures in $screens" >&2; exit 1; }
"$repo/build/bench/bench/compression_bench" ${SNAPORA_BENCH_REPEATS:+-n "$SNAPORA_BENCH_REPEATS"} "${files[@]}"
echo
"$repo/build/bench/bench/history_bench" "${files[@]}"
echo
"$repo/build/bench/bench/resample_bench" "${files[@]}"
echo
echo "editor undo on the largest picture, $(basename "$widest" .ppm):"
"$repo/build/bench/bench/editor_undo_bench" "$widest"
echo
# snapora-server's thumbnails, of the screenshots as the program sends them (at most 300 KB).
jpegs=()
for png in "$screens"/*.png; do
  convert "$png" -define jpeg:extent=300kb "$work/$(basename "$png" .png).jpg"
  jpegs+=("$work/$(basename "$png" .png).jpg")
done
"$repo/build/bench/bench/thumbnail_bench" "${jpegs[@]}"
