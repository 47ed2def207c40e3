#!/usr/bin/env bash
# Reads the resources back out of a built snapora.exe (icoutils' wrestool and
# icotool): the manifest, the version information and the program icon.
#   tests/resources/check_resources.sh path/to/snapora.exe
set -uo pipefail
exe="$1"
tmp=$(mktemp -d /tmp/snapora-resources.XXXXXX)
trap 'rm -rf "$tmp"' EXIT
failures=0
check() {  # DESCRIPTION, then a command that must succeed
  local what="$1"; shift
  if "$@" >/dev/null 2>&1; then echo "  ok   $what"; else echo "  FAIL $what"; failures=$((failures + 1)); fi
}

wrestool -x -R -t 24 "$exe" >"$tmp/manifest.xml" 2>/dev/null
has() { grep -q -- "$1" "$tmp/manifest.xml"; }
lacks() { ! grep -qi -- "$1" "$tmp/manifest.xml"; }
check "manifest embedded" test -s "$tmp/manifest.xml"
check "manifest: common controls 6" has 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"'
check "manifest: PerMonitorV2 with System fallback" has '>PerMonitorV2, System</dpiAwareness>'
check "manifest: system DPI before Windows 10" has '>true</dpiAware>'
check "manifest: asInvoker" has 'requestedExecutionLevel level="asInvoker"'
for os in 35138b9a-5d96-4fbd-8e2d-a2440225f93a 4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38 \
          1f676c76-80e1-4239-95bb-83d0f6d0da78 8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a; do
  check "manifest: supportedOS {$os}" has "{$os}"
done
check "manifest: no UTF-8 code page" lacks 'activeCodePage'

wrestool -x -R -t 16 "$exe" >"$tmp/version.bin" 2>/dev/null
python3 - "$tmp/version.bin" >"$tmp/version.txt" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
# VS_FIXEDFILEINFO starts with its signature 0xFEEF04BD.
fixed = data.index(struct.pack("<I", 0xFEEF04BD))
ms, ls = struct.unpack_from("<II", data, fixed + 8)
print("FILEVERSION %d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF))
text = data.decode("utf-16-le", errors="replace")
for key in ("FileDescription", "ProductName", "FileVersion", "ProductVersion", "OriginalFilename"):
    at = text.find(key + "\0")
    if at >= 0:
        rest = text[at + len(key):].lstrip("\0")
        print(key, rest.split("\0", 1)[0])
print("Translation", "0407" if "040704B0" in text or "040704b0" in text else "other")
PY
line() { grep -qx -- "$1" "$tmp/version.txt"; }
check "version: 4.2.0.0" line "FILEVERSION 4.2.0.0"
check "version: FileVersion 4.2" line "FileVersion 4.2"
check "version: ProductVersion 4.2" line "ProductVersion 4.2"
check "version: German file description" line "FileDescription Snapora - Bildschirmfotos aufnehmen und teilen"
check "version: German string table" line "Translation 0407"

wrestool -x -t 14 "$exe" >"$tmp/icon.ico" 2>/dev/null
sizes=$(icotool -l "$tmp/icon.ico" 2>/dev/null | sed -n 's/.*--width=\([0-9]*\).*/\1/p' | sort -n | tr '\n' ' ')
check "icon: 16, 24, 32, 48 and 256 pixels (got: $sizes)" test "$sizes" = "16 24 32 48 256 "

if [ "$failures" -ne 0 ]; then cat "$tmp/version.txt"; exit 1; fi
