#!/usr/bin/env bash
# Builds the libFuzzer target for snapora-server's request handling with
# clang, AddressSanitizer and UndefinedBehaviorSanitizer, outside the normal build.
#   fuzz/build.sh                    builds build/fuzz/server_request_fuzz
#   fuzz/build.sh run [SECONDS]      builds, then fuzzes (default 300 s) with a corpus in build/fuzz/corpus
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
out="$repo/build/fuzz"
mkdir -p "$out/corpus"
sources=("$repo"/server/{text,store,auth,imaging,events,handlers,config}/*.cpp "$repo/src/base/Strings.cpp")
clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$repo/server" -I"$repo/src" "$repo/fuzz/server_request_fuzz.cpp" "${sources[@]}" \
  -lsodium -lsqlite3 -ljpeg -o "$out/server_request_fuzz"
echo "built $out/server_request_fuzz"
if [ "${1:-}" = "run" ]; then
  cd "$out"
  ./server_request_fuzz -max_total_time="${2:-300}" -max_len=4096 -rss_limit_mb=4096 corpus
fi
