#!/usr/bin/env bash
# Builds and runs the benchmarks on the realistic screenshots in shared/data/screens:
# compression, then resizing, the editor's undo history and snapora-server's thumbnails.
set -euo pipefail
source "$(dirname "$0")/../scripts/lib/common.sh"
screens="${1:-$repo/../shared/data/screens}"
cmake -S "$repo" -B "$repo/build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C "$repo/build/bench" -j "${SNAPORA_JOBS:-$(nproc)}" compression_bench resample_bench editor_undo_bench \
  thumbnail_bench >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
files=()
for png in "$screens"/*.png; do
  ppm="$work/$(basename "$png" .png).ppm"
  convert "$png" -depth 8 "ppm:$ppm"
  files+=("$ppm")
done
"$repo/build/bench/bench/compression_bench" ${SNAPORA_BENCH_REPEATS:+-n "$SNAPORA_BENCH_REPEATS"} "${files[@]}"
echo
"$repo/build/bench/bench/resample_bench" "${files[@]}"
echo
"$repo/build/bench/bench/editor_undo_bench" "$work/dual-8k.ppm"
echo
# snapora-server's thumbnails, of the screenshots as the program sends them (at most 300 KB).
jpegs=()
for png in "$screens"/*.png; do
  convert "$png" -define jpeg:extent=300kb "$work/$(basename "$png" .png).jpg"
  jpegs+=("$work/$(basename "$png" .png).jpg")
done
"$repo/build/bench/bench/thumbnail_bench" "${jpegs[@]}"
