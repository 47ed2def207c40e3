#!/usr/bin/env bash
# Packs the Windows program for users, into build/package/:
#   snapora-VERSION-setup.exe      installer (NSIS, 64-bit, per user, German)
#   snapora-VERSION-portable.zip   snapora.exe and a short German read-me
# Builds the Windows program first when needed (scripts/build.sh --windows).
#   scripts/package.sh [--no-build]
set -euo pipefail
source "$(dirname "$0")/lib/common.sh"

[ "${1:-}" = "--no-build" ] || "$repo/scripts/build.sh" --windows
"$repo/scripts/install-packages.sh"  # makensis, also with --no-build

version=$(sed -n 's/.*ProgramVersion = "\([^"]*\)".*/\1/p' "$repo/src/base/Version.h")
[ -n "$version" ] || { echo "package: no version in src/base/Version.h" >&2; exit 1; }
out="$repo/build/package"
stage="$out/stage"
rm -rf "$stage"
mkdir -p "$stage"

log "packing Snapora $version"
x86_64-w64-mingw32-strip -o "$stage/snapora.exe" "$snapora_exe"
# The read-me in the encoding and line ends Windows' editors expect everywhere.
iconv -f UTF-8 -t WINDOWS-1252 "$repo/packaging/LIESMICH.txt" | sed 's/$/\r/' >"$stage/LIESMICH.txt"

makensis -V2 -NOCD \
  -DVERSION="$version" -DEXE="$stage/snapora.exe" -DREADME="$stage/LIESMICH.txt" \
  -DICON="$win_build/src/resources/snapora.ico" -DOUTFILE="$out/snapora-$version-setup.exe" \
  "$repo/packaging/snapora.nsi"

rm -f "$out/snapora-$version-portable.zip"
python3 - "$out/snapora-$version-portable.zip" "$stage/snapora.exe" "$stage/LIESMICH.txt" <<'PY'
import os, sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
    for path in sys.argv[2:]:
        z.write(path, os.path.basename(path))
PY
rm -rf "$stage"
ls -l "$out"
