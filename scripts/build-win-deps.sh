#!/usr/bin/env bash
# Cross-builds static 64-bit Windows libjpeg-turbo, libcurl and libzstd from
# Debian's source packages into .deps/win64, for the mingw-w64 build of Snapora.
#
# Usage: scripts/build-win-deps.sh [--force] [--check]
#   --force  rebuild even if the prefix is up to date
#   --check  afterwards, build a small program against the prefix and run it
#            under wine, in a throwaway WINEPREFIX under /tmp (~10 s)
#
# curl speaks HTTP and HTTPS; its TLS is Windows' own (Schannel), so there is
# no OpenSSL to ship and the system's trusted authorities check certificates.
# A prefix whose libcurl lacks Schannel (an older recipe) is rebuilt.
#
# Consumers define CURL_STATICLIB and link, in this order:
#   -lcurl -ljpeg -lzstd -lsecur32 -lcrypt32 -lws2_32 -lbcrypt -ladvapi32
# (Schannel and SSPI; certificate stores; sockets; BCryptGenRandom; CryptoAPI.
# advapi32 is a mingw default, listed for clarity.)
set -Eeuo pipefail

# Bump whenever the configure options below change: it invalidates the stamp.
RECIPE_VERSION=3

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
prefix="$repo/.deps/win64"
work="$repo/.deps/src"
stamp="$prefix/.recipe-version"
toolchain="$repo/cmake/mingw-w64-x86_64.cmake"
jobs=2

force=0
check=0
for arg in "$@"; do
  case "$arg" in
    --force) force=1 ;;
    --check) check=1 ;;
    -h|--help) sed -n '2,/^set /{/^#/s/^# \{0,1\}//p}' "$0"; exit 0 ;;
    *) echo "build-win-deps: unknown argument: $arg" >&2; exit 2 ;;
  esac
done

log() { echo "==> build-win-deps: $*"; }
die() { echo "build-win-deps: ERROR: $*" >&2; exit 1; }
trap 'echo "build-win-deps: FAILED (line $LINENO: $BASH_COMMAND)" >&2' ERR

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)

up_to_date() {
  [ -f "$prefix/lib/libjpeg.a" ] && [ -f "$prefix/lib/libcurl.a" ] && [ -f "$prefix/lib/libzstd.a" ] &&
    [ -f "$prefix/include/jpeglib.h" ] && [ -f "$prefix/include/curl/curl.h" ] && [ -f "$prefix/include/zstd.h" ] &&
    [ -f "$stamp" ] && [ "$(head -n1 "$stamp")" = "recipe $RECIPE_VERSION" ] && has_schannel
}

# The stamp could be copied along with an old library: look into the archive.
has_schannel() {
  command -v x86_64-w64-mingw32-nm >/dev/null || return 1
  # grep reads to the end: with -q, nm could die of SIGPIPE and pipefail would say "no".
  x86_64-w64-mingw32-nm -g "$prefix/lib/libcurl.a" 2>/dev/null | grep -E ' [RDT] Curl_ssl_schannel$' >/dev/null
}

# Builds a tiny program using both libraries and runs it under wine.
run_check() {
  command -v wine >/dev/null || die "check: wine not found; run scripts/install-packages.sh first"
  local tmp
  tmp=$(mktemp -d /tmp/snapora-deps-check.XXXXXX)
  cat >"$tmp/check.cpp" <<'EOF'
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <jpeglib.h>
#include <curl/curl.h>
#include <zstd.h>

int main() {
  const int w = 16, h = 16;
  unsigned char rgb[w * h * 3];
  for (int i = 0; i < w * h; ++i) {
    rgb[i * 3] = static_cast<unsigned char>(i);
    rgb[i * 3 + 1] = static_cast<unsigned char>(255 - i);
    rgb[i * 3 + 2] = 128;
  }
  jpeg_compress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  unsigned char* out = nullptr;
  unsigned long out_size = 0;
  jpeg_mem_dest(&cinfo, &out, &out_size);
  cinfo.image_width = w;
  cinfo.image_height = h;
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 90, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = &rgb[cinfo.next_scanline * w * 3];
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  const bool jpeg_ok = out_size > 4 && out[0] == 0xFF && out[1] == 0xD8 &&
                       out[out_size - 2] == 0xFF && out[out_size - 1] == 0xD9;
  std::printf("jpeg: %lu bytes, %s\n", out_size, jpeg_ok ? "valid SOI/EOI" : "BAD");

  // zstd: the JPEG's bytes there and back.
  std::size_t bound = ZSTD_compressBound(out_size);
  char* packed = static_cast<char*>(std::malloc(bound));
  char* unpacked = static_cast<char*>(std::malloc(out_size));
  std::size_t packed_size = ZSTD_compress(packed, bound, out, out_size, 3);
  const bool zstd_ok = !ZSTD_isError(packed_size) &&
                       ZSTD_decompress(unpacked, out_size, packed, packed_size) == out_size &&
                       std::memcmp(unpacked, out, out_size) == 0;
  std::printf("zstd %s: %s\n", ZSTD_versionString(), zstd_ok ? "round trip" : "BAD");
  std::free(packed);
  std::free(unpacked);
  std::free(out);

  if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return 2;
  CURL* curl = curl_easy_init();
  const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
  const bool schannel = info->ssl_version && std::strstr(info->ssl_version, "Schannel");
  std::printf("curl: %s, easy handle %s, TLS %s\n", curl_version(), curl ? "ok" : "NULL",
              schannel ? "Schannel" : "MISSING");
  if (curl) curl_easy_cleanup(curl);
  curl_global_cleanup();
  return jpeg_ok && zstd_ok && curl && schannel ? 0 : 1;
}
EOF
  log "check: compiling test program"
  x86_64-w64-mingw32-g++-posix -std=c++20 -O2 -static -DCURL_STATICLIB \
    -I"$prefix/include" "$tmp/check.cpp" -o "$tmp/check.exe" \
    -L"$prefix/lib" -lcurl -ljpeg -lzstd -lsecur32 -lcrypt32 -lws2_32 -lbcrypt -ladvapi32 ||
    die "check: compiling the test program failed (kept $tmp)"
  log "check: running under wine (WINEPREFIX=$tmp/wine)"
  # wine's own start-up chatter (new prefix, no wine32) goes to a log.
  local rc=0
  WINEPREFIX="$tmp/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
    wine "$tmp/check.exe" </dev/null 2>"$tmp/wine.log" || rc=$?
  WINEPREFIX="$tmp/wine" wineserver -w || true
  if [ "$rc" -ne 0 ]; then
    cat "$tmp/wine.log" >&2
    die "check: test program failed with exit code $rc (kept $tmp)"
  fi
  rm -rf "$tmp"
  log "check: passed"
}

if [ "$force" -eq 0 ] && up_to_date; then
  if [ "$check" -eq 1 ]; then run_check; fi
  exit 0
fi

start=$SECONDS

for tool in cmake ninja dpkg-source x86_64-w64-mingw32-gcc-posix x86_64-w64-mingw32-g++-posix; do
  command -v "$tool" >/dev/null || die "$tool not found; run scripts/install-packages.sh first"
done
[ -f "$toolchain" ] || die "toolchain file missing: $toolchain"

# apt-get source needs deb-src entries; Debian 12 ships only "Types: deb".
has_deb_src() {
  grep -rqsE '^[[:space:]]*(deb-src[[:space:]]|Types:.*deb-src)' \
    /etc/apt/sources.list /etc/apt/sources.list.d/
}
if ! has_deb_src; then
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    log "adding deb-src entries (/etc/apt/sources.list.d/snapora-src.sources)"
    sed -E 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
      "${sudo_cmd[@]}" tee /etc/apt/sources.list.d/snapora-src.sources >/dev/null
  elif grep -qsE '^[[:space:]]*deb[[:space:]]' /etc/apt/sources.list; then
    log "adding deb-src entries (/etc/apt/sources.list.d/snapora-src.list)"
    sed -nE 's/^[[:space:]]*deb[[:space:]]/deb-src /p' /etc/apt/sources.list |
      "${sudo_cmd[@]}" tee /etc/apt/sources.list.d/snapora-src.list >/dev/null
  else
    die "no Debian apt sources found to derive deb-src entries from"
  fi
fi
# The source indexes may still be missing even when deb-src is configured.
srcs=$(apt-cache showsrc --only-source libjpeg-turbo curl libzstd 2>/dev/null || true)
if ! grep -q '^Package: libjpeg-turbo$' <<<"$srcs" || ! grep -q '^Package: curl$' <<<"$srcs" ||
   ! grep -q '^Package: libzstd$' <<<"$srcs"; then
  log "apt-get update"
  "${sudo_cmd[@]}" apt-get update -qq || die "apt-get update failed"
fi

# nasm enables libjpeg-turbo's SIMD code, several times faster at encoding.
if ! command -v nasm >/dev/null; then
  log "installing nasm"
  out=$("${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends nasm 2>&1) ||
    { echo "$out" >&2; die "could not install nasm"; }
fi

log "fetching sources into .deps/src"
rm -rf "$work" "$prefix"
mkdir -p "$work"
# Work from inside .deps/src so that nothing relative can land in the repo.
cd "$work"
# As root, apt's _apt sandbox user cannot write into the repo; skip the sandbox.
# A mirror may list a newer source (a security update) than it can serve: then
# the next older version listed is taken.
fetch_source() {
  local name=$1 version
  for version in "" $(apt-cache showsrc --only-source "$name" 2>/dev/null | awk '/^Version:/ {print $2}' | sort -rV); do
    apt-get source -qq -o APT::Sandbox::User=root "$name${version:+=$version}" >>"$work/apt-source.log" 2>&1 && return 0
  done
  cat "$work/apt-source.log" >&2
  die "apt-get source $name failed"
}
for name in libjpeg-turbo curl libzstd; do fetch_source "$name"; done

jpeg_src=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'libjpeg-turbo-*' | head -n1)
curl_src=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'curl-*' | head -n1)
zstd_src=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'libzstd-*' | head -n1)
[ -n "$jpeg_src" ] && [ -n "$curl_src" ] && [ -n "$zstd_src" ] || die "unpacked sources not found in $work"
jpeg_ver=$(dpkg-parsechangelog -l "$jpeg_src/debian/changelog" -S Version)
curl_ver=$(dpkg-parsechangelog -l "$curl_src/debian/changelog" -S Version)
zstd_ver=$(dpkg-parsechangelog -l "$zstd_src/debian/changelog" -S Version)

# The type in CMAKE_INSTALL_LIBDIR:PATH matters: an untyped relative value is
# made absolute against the current directory by libjpeg-turbo's own
# GNUInstallDirs, which would install outside the prefix.
common=(
  -G Ninja
  -DCMAKE_TOOLCHAIN_FILE="$toolchain"
  -DCMAKE_BUILD_TYPE=Release
  -DCMAKE_INSTALL_PREFIX="$prefix"
  -DCMAKE_INSTALL_LIBDIR:PATH=lib
  -Wno-dev
)

build() { # name, source dir, cmake options...
  local name=$1 src=$2
  shift 2
  local bdir="$work/build-$name"
  log "building $name"
  cmake -S "$src" -B "$bdir" "${common[@]}" "$@" >"$work/$name-configure.log" 2>&1 ||
    { tail -n 40 "$work/$name-configure.log" >&2; die "$name: configure failed (log: $work/$name-configure.log)"; }
  cmake --build "$bdir" -j "$jobs" >"$work/$name-build.log" 2>&1 ||
    { tail -n 40 "$work/$name-build.log" >&2; die "$name: build failed (log: $work/$name-build.log)"; }
  cmake --install "$bdir" >"$work/$name-install.log" 2>&1 ||
    { tail -n 40 "$work/$name-install.log" >&2; die "$name: install failed"; }
}

log "libjpeg-turbo $jpeg_ver"
build libjpeg-turbo "$jpeg_src" \
  -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
  -DWITH_TURBOJPEG=OFF -DWITH_SIMD=ON -DREQUIRE_SIMD=ON \
  -DWITH_JPEG8=OFF -DWITH_ARITH_ENC=ON -DWITH_ARITH_DEC=ON

log "curl $curl_ver"
build curl "$curl_src" \
  -DBUILD_SHARED_LIBS=OFF -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF \
  -DHTTP_ONLY=ON -DCURL_DISABLE_LDAP=ON -DCURL_DISABLE_LDAPS=ON \
  -DCURL_ENABLE_SSL=ON -DCURL_USE_SCHANNEL=ON -DCURL_WINDOWS_SSPI=ON -DCURL_USE_OPENSSL=OFF \
  -DCURL_USE_MBEDTLS=OFF -DCURL_USE_BEARSSL=OFF -DCURL_USE_WOLFSSL=OFF \
  -DCURL_USE_NSS=OFF -DCURL_USE_GSSAPI=OFF \
  -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBSSH=OFF \
  -DCURL_ZLIB=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF \
  -DUSE_NGHTTP2=OFF -DUSE_NGTCP2=OFF -DUSE_QUICHE=OFF -DUSE_MSH3=OFF \
  -DUSE_LIBIDN2=OFF -DUSE_WIN32_IDN=OFF -DUSE_LIBRTMP=OFF \
  -DENABLE_UNICODE=OFF -DENABLE_IPV6=ON -DENABLE_THREADED_RESOLVER=ON \
  -DCURL_CA_BUNDLE=none -DCURL_CA_PATH=none

# zstd: the library alone, single-threaded (the history compresses on a thread of its own).
log "libzstd $zstd_ver"
build libzstd "$zstd_src/build/cmake" \
  -DZSTD_BUILD_STATIC=ON -DZSTD_BUILD_SHARED=OFF -DZSTD_BUILD_PROGRAMS=OFF -DZSTD_BUILD_TESTS=OFF \
  -DZSTD_BUILD_CONTRIB=OFF -DZSTD_MULTITHREAD_SUPPORT=OFF -DZSTD_LEGACY_SUPPORT=OFF

for f in lib/libjpeg.a lib/libcurl.a lib/libzstd.a include/jpeglib.h include/curl/curl.h include/zstd.h; do
  [ -f "$prefix/$f" ] || die "install incomplete: $prefix/$f missing"
done
has_schannel || die "libcurl was built without Schannel (log: $work/curl-configure.log)"

printf 'recipe %s\nlibjpeg-turbo %s\ncurl %s\nlibzstd %s\n' "$RECIPE_VERSION" "$jpeg_ver" "$curl_ver" "$zstd_ver" >"$stamp"
log "done in $((SECONDS - start)) s: $prefix"

if [ "$check" -eq 1 ]; then run_check; fi
