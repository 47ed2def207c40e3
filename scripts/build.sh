#!/usr/bin/env bash
# Installs what is missing and builds everything: the native core with its
# tests, and the Windows program with its tests (cross-built with mingw-w64).
#   scripts/build.sh            both builds
#   scripts/build.sh --windows  only the Windows build
set -euo pipefail
source "$(dirname "$0")/lib/common.sh"

"$repo/scripts/install-packages.sh"
"$repo/scripts/build-win-deps.sh"

jobs="${SNAPORA_JOBS:-$(nproc)}"
if [ "${1:-}" != "--windows" ]; then
  log "native build"
  [ -f "$native_build/build.ninja" ] || cmake -S "$repo" -B "$native_build" -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
  # shellcheck disable=SC2086  # a list of targets, all when empty
  ninja -C "$native_build" -j "$jobs" ${SNAPORA_NATIVE_TARGETS:-}
fi

log "Windows build"
if [ ! -f "$win_build/build.ninja" ]; then
  # One compiler run per batch of sources: half the time of building each alone.
  cmake -S "$repo" -B "$win_build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_UNITY_BUILD=ON \
    -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64-x86_64.cmake" \
    -DSNAPORA_DEPS_PREFIX="$repo/.deps/win64" >/dev/null
fi
ninja -C "$win_build" -j "$jobs"
