#!/usr/bin/env bash
# Headless Chromium against snapora-server: installs the npm packages from the
# lockfile when needed, makes two pictures and runs the page tests.
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
node server_pages_test.mjs "$native_build/server/snapora-server" "$work"
