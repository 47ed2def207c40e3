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
$sudo_cmd apt-get -o DPkg::Lock::Timeout=600 update -qq
$sudo_cmd apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}"
