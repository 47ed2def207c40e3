#!/usr/bin/env bash
# Headless Chromium against snapora-server: installs the npm packages from the
# lockfile when needed, makes the pictures and runs the page tests, then a
# session page served by two instances on PostgreSQL behind haproxy. The 50
# pictures of the session test are screenshot-sized crops (at most 300 KB, as
# the program sends them) of the shared screenshots, or of a generated
# picture where those are missing.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/lib/common.sh"
cd "$here"
if [ ! -f node_modules/.package-lock.json ] || [ package-lock.json -nt node_modules/.package-lock.json ]; then
  npm ci --no-audit --no-fund --loglevel=error >/dev/null
fi
work=$(mktemp -d /tmp/snapora-browser.XXXXXX)
trap 'rm -rf "$work"' EXIT
convert -size 320x200 gradient:navy-gold "$work/one.jpg"
convert -size 240x180 gradient:darkgreen-white "$work/two.jpg"

mkdir "$work/session"
source_picture="${SNAPORA_SCREENS:-$repo/../shared/data/screens}/desk-4k.png"
if [ ! -f "$source_picture" ]; then
  source_picture="$work/generated.png"
  convert -size 3840x2160 plasma:fractal -blur 0x1 "$source_picture"
fi
crops=()
for i in $(seq -w 1 50); do
  crops+=( \( mpr:source -crop "1920x1080+$(( (10#$i * 37) % 1920 ))+$(( (10#$i * 23) % 1080 ))" +repage
           -write "$work/session/$i.jpg" +delete \) )
done
convert "$source_picture" -write mpr:source -define jpeg:extent=300kb "${crops[@]}" null:
status=0
node server_pages_test.mjs "$native_build/server/snapora-server" "$work" || status=1
node session_across_instances_test.mjs "$native_build/server/snapora-server" "$work" \
  "$repo/scripts/throwaway-postgres.sh" || status=1
exit "$status"
