#!/usr/bin/env bash
# Runs the ladder check on the shared screenshots (../shared/data/screens, or
# $SNAPORA_SCREENS), converted to PPM once into the build folder.
#   tests/ladder/run.sh CHECKER CACHE_DIR
# Exits 77 (a skip for ctest) when the screenshots are not there.
set -euo pipefail
checker="$1" cache="$2"
repo=$(cd "$(dirname "$0")/../.." && pwd)
screens="${SNAPORA_SCREENS:-$repo/../shared/data/screens}"
shopt -s nullglob
pngs=("$screens"/*.png)
if [ ${#pngs[@]} -eq 0 ]; then
  echo "no screenshots in $screens: skipped"
  exit 77
fi
mkdir -p "$cache"
ppms=()
for png in "${pngs[@]}"; do
  ppm="$cache/$(basename "$png" .png).ppm"
  [ "$ppm" -nt "$png" ] || convert "$png" -depth 8 "ppm:$ppm"
  ppms+=("$ppm")
done
"$checker" "${ppms[@]}"
