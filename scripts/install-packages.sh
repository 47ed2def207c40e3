#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Snapora need.
# Idempotent: packages already present are skipped by apt-get.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libjpeg62-turbo-dev libcurl4-openssl-dev libzstd-dev
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
  wine wine64 xvfb xdotool xclip x11-utils imagemagick
  dpkg-dev fakeroot python3
  libmicrohttpd-dev libsqlite3-dev libsodium-dev chromium clang curl
  # snapora-server on PostgreSQL: libpq, and for the tests a throwaway cluster
  # (initdb, pg_ctl; no system cluster is started) and haproxy in front of instances
  libpq-dev postgresql haproxy
  libgif-dev libclang-rt-14-dev
  nsis icoutils openssl
  # snapora-server's Debian package and its checks; Prometheus' parser for the metrics test
  lintian systemd man-db python3-prometheus-client
  # Windows' "MS Sans Serif" metrics for the Wine prefixes (scripts/lib/common.sh)
  fonts-liberation2
  # What the screenshot corpus shows (bench/make-corpus.sh): photos, the
  # Node.js manual, country codes, a monospaced font
  mate-backgrounds nodejs iso-codes fonts-dejavu-core
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# The browser tests run on Node.js with npm; a Node.js from elsewhere that brings its own npm is fine too.
command -v npm >/dev/null || missing+=(nodejs npm)
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

export DEBIAN_FRONTEND=noninteractive
sudo_cmd=""
[ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"

# The tests run their own throwaway PostgreSQL and haproxy: installing them
# must neither create Debian's default cluster nor start a service.
if printf '%s\n' "${missing[@]}" | grep -qx postgresql; then
  $sudo_cmd mkdir -p /etc/postgresql-common/createcluster.d
  echo "create_main_cluster = false" | $sudo_cmd tee /etc/postgresql-common/createcluster.d/snapora.conf >/dev/null
fi
if [ ! -e /usr/sbin/policy-rc.d ]; then
  printf '#!/bin/sh\nexit 101\n' | $sudo_cmd tee /usr/sbin/policy-rc.d >/dev/null
  $sudo_cmd chmod 755 /usr/sbin/policy-rc.d
  trap '$sudo_cmd rm -f /usr/sbin/policy-rc.d' EXIT
fi
$sudo_cmd apt-get -o DPkg::Lock::Timeout=600 update -qq
$sudo_cmd apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}"
