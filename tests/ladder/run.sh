#!/usr/bin/env bash
# Runs the ladder check on the screenshot corpus (bench/make-corpus.sh makes
# it into CORPUS_DIR as the tests' set-up) and on the shared screenshots
# (../shared/data/screens, or $SNAPORA_SCREENS, where present), converted to
# PPM once into the build folder.
#   tests/ladder/run.sh CHECKER CACHE_DIR CORPUS_DIR
set -euo pipefail
checker="$1" cache="$2" corpus="$3"
repo=$(cd "$(dirname "$0")/../.." && pwd)
screens="${SNAPORA_SCREENS:-$repo/../shared/data/screens}"
shopt -s nullglob
pngs=("$corpus"/*.png "$screens"/*.png)
if [ ${#pngs[@]} -eq 0 ]; then
  echo "no screenshots in $corpus or $screens" >&2
  exit 1
fi
mkdir -p "$cache"
ppms=()
for png in "${pngs[@]}"; do
  ppm="$cache/$(basename "$png" .png).ppm"
  [ "$ppm" -nt "$png" ] || convert "$png" -depth 8 "ppm:$ppm"
  ppms+=("$ppm")
done
"$checker" "${ppms[@]}"
