#!/usr/bin/env bash
# Checks the Debian package of snapora-server that scripts/package-server.sh
# built: lintian finds no error; systemd-analyze accepts the unit without a
# word (in a root holding the unpacked package beside the system's own units)
# and rates its sandbox; the libraries come from Debian's packages, none is
# bundled; and the package's own binary, unpacked, starts with the packaged
# configuration (only the data folder and the port changed), answers an
# upload, serves it back, backs it up by that configuration and stops cleanly.
#   tests/package/check_server_package.sh [DEB]
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib/common.sh"

version=$(sed -n 's/.*ProgramVersion = "\([^"]*\)".*/\1/p' "$repo/src/base/Version.h")
deb="${1:-$repo/build/package/snapora-server_${version}_amd64.deb}"
[ -f "$deb" ] || { echo "no package at $deb: scripts/package-server.sh builds it" >&2; exit 1; }
work=$(mktemp -d /tmp/snapora-package.XXXXXX)
server_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

passed=0 failed=0
check() {
  local what="$1"; shift
  if "$@"; then echo "  ok   $what"; passed=$((passed + 1)); else echo "  FAIL $what"; failed=$((failed + 1)); fi
}

check "lintian reports no error" lintian --fail-on error "$deb"

root="$work/root"
dpkg-deb -x "$deb" "$root"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libmicrohttpd12 libsqlite3-0 libsodium23 libjpeg62-turbo libpq5; do
  check "depends on Debian's $library" grep -q "\b$library\b" <<<"$depends"
done
check "no library bundled" test -z "$(find "$root" -name '*.so*' -print -quit)"
check "the configuration file is a conffile" \
  grep -qx /etc/snapora/snapora-server.conf <(dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles)

# systemd-analyze needs the system's own units (sysinit.target ...) beside the package's.
units_root="$work/units-root"
cp -a "$root" "$units_root"
cp -an /lib/systemd/system/. "$units_root/lib/systemd/system/"
verify_output=$(MANPATH="$units_root/usr/share/man" systemd-analyze verify --root="$units_root" snapora-server.service 2>&1) \
  && verify_status=0 || verify_status=$?
check "systemd-analyze verify accepts the unit, without a warning" test "$verify_status" -eq 0 -a -z "$verify_output"
[ -z "$verify_output" ] || echo "$verify_output"
unit="$root/lib/systemd/system/snapora-server.service"
for setting in DynamicUser=yes StateDirectory=snapora ProtectSystem=strict ProtectHome=yes PrivateTmp=yes \
  NoNewPrivileges=yes "RestrictAddressFamilies=AF_INET AF_INET6 AF_UNIX" SystemCallFilter=@system-service \
  "ExecStart=/usr/bin/snapora-server --config /etc/snapora/snapora-server.conf"; do
  check "the unit sets $setting" grep -qx "$setting" "$unit"
done
exposure=$(systemd-analyze security --offline=yes --root="$units_root" snapora-server.service 2>&1 | tail -1)
echo "  systemd-analyze security: ${exposure#→ }"
check "its exposure is at most 2.0" systemd-analyze security --offline=yes --threshold=20 --root="$units_root" \
  snapora-server.service >/dev/null 2>&1

# The packaged configuration with a private data folder and a free port.
config="$work/snapora-server.conf"
sed -e "s|^listen = .*|listen = 127.0.0.1:0|" -e "s|^data = .*|data = $work/data|" \
  "$root/etc/snapora/snapora-server.conf" >"$config"
echo "port-file = $work/port" >>"$config"
check "only the listen address and the data folder were changed" \
  test "$(diff "$root/etc/snapora/snapora-server.conf" "$config" | grep -c '^>')" -eq 3
"$root/usr/bin/snapora-server" --config "$config" 2>"$work/server.log" &
server_pid=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.05; done
check "the packaged binary starts with the packaged configuration" test -s "$work/port"
host=$(cat "$work/port" 2>/dev/null || echo 127.0.0.1:1)
convert -size 160x120 gradient:navy-gold "$work/shot.jpg"
reply=$(curl -sS -A "Screenshot Uploader" -F filename=screenshot -F version=4.2 -F description=Paket \
  -F "screenshot=@$work/shot.jpg;type=image/jpeg" "http://$host/upload.php" || true)
check "it answers an upload with its address" grep -q "^ok|$version|http://$host/" <<<"$reply"
address="${reply#ok|"$version"|}"
curl -sS -o "$work/served.jpg" "$address.jpg" || true
check "and serves the picture back" cmp -s "$work/shot.jpg" "$work/served.jpg"
check "backup by the packaged configuration" "$root/usr/bin/snapora-server" backup --config "$config" --to "$work/backup"
kill -TERM "$server_pid"
status=0
wait "$server_pid" || status=$?
server_pid=""
check "it stops cleanly on SIGTERM" test "$status" -eq 0
[ "$failed" -eq 0 ] || cat "$work/server.log"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
