#!/usr/bin/env bash
# Builds and runs a libFuzzer target (clang, address and undefined-behaviour
# sanitizers).
#   scripts/fuzz.sh TARGET SECONDS [libFuzzer options...]
#   scripts/fuzz.sh --list
# A target is one file fuzz/TARGET.cpp defining LLVMFuzzerTestOneInput; its
# "// fuzz-sources:" lines name the project sources it needs (patterns allowed),
# "// fuzz-includes:" further include folders, "// fuzz-libs:" the libraries
# to link, the way a compiler takes them, and "// fuzz-options:" libFuzzer
# options of its own. It is built into build/fuzz/TARGET, keeps its corpus in
# build/fuzz/TARGET.corpus and writes findings to build/fuzz/TARGET.findings/.
# When fuzz/TARGET.seeds.sh exists, it writes the seed inputs into the folder
# it is given (build/fuzz/TARGET.seeds). The run fails on a finding.
set -euo pipefail
source "$(dirname "$0")/lib/common.sh"

if [ "${1:-}" = "--list" ]; then
  for f in "$repo"/fuzz/*.cpp; do basename "$f" .cpp; done
  exit 0
fi
if [ $# -lt 2 ]; then
  echo "usage: $0 TARGET SECONDS [libFuzzer options...] | --list" >&2
  exit 2
fi
target="$1" seconds="$2"
shift 2
source_file="$repo/fuzz/$target.cpp"
[ -f "$source_file" ] || { echo "no fuzz target $source_file" >&2; exit 2; }

"$repo/scripts/install-packages.sh"

out="$repo/build/fuzz"
mkdir -p "$out" "$out/$target.corpus" "$out/$target.findings"
binary="$out/$target"
sources=()
for pattern in $(sed -n 's|^// fuzz-sources:||p' "$source_file"); do
  for file in "$repo"/$pattern; do sources+=("$file"); done
done
includes=(-I"$repo/src")
for folder in $(sed -n 's|^// fuzz-includes:||p' "$source_file"); do includes+=(-I"$repo/$folder"); done
read -r -a libs <<<"$(sed -n 's|^// fuzz-libs:||p' "$source_file" | tr '\n' ' ')"
read -r -a options <<<"$(sed -n 's|^// fuzz-options:||p' "$source_file" | tr '\n' ' ')"
rebuild=1
if [ -x "$binary" ]; then
  rebuild=0
  # Any source or header newer than the binary means building again.
  if [ -n "$(find "$repo/src" "$repo/server" "$source_file" -newer "$binary" \( -name '*.cpp' -o -name '*.h' \) -print -quit)" ]; then
    rebuild=1
  fi
fi
if [ "$rebuild" -eq 1 ]; then
  log "building fuzz target $target"
  # One compiler per processor: the server's target alone has some fifty sources.
  flags=(-std=c++20 -O2 -g1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined "${includes[@]}")
  for lib in "${libs[@]}"; do case "$lib" in -I*) flags+=("$lib") ;; esac; done
  objects="$out/$target.objects"
  rm -rf "$objects"
  mkdir -p "$objects"
  printf '%s\n' "${flags[@]}" >"$objects/flags"
  all=("$source_file" "${sources[@]}")
  for i in "${!all[@]}"; do printf '%s\0%s\0' "${all[$i]}" "$objects/$i.o"; done |
    FLAGS="$objects/flags" xargs -0 -n 2 -P "${SNAPORA_JOBS:-$(nproc)}" sh -c 'clang++ @"$FLAGS" -c "$1" -o "$2"' _ ||
    { echo "fuzz target $target did not build" >&2; exit 1; }
  clang++ "${flags[@]}" -o "$binary" "$objects"/*.o "${libs[@]}" -lpthread
fi

corpora=("$out/$target.corpus")
generator="$repo/fuzz/$target.seeds.sh"
if [ -f "$generator" ]; then
  seeds="$out/$target.seeds"
  if [ ! -f "$seeds.made" ] || [ "$generator" -nt "$seeds.made" ]; then
    rm -rf "$seeds"
    mkdir -p "$seeds"
    bash "$generator" "$seeds" >/dev/null
    touch "$seeds.made"
  fi
  corpora+=("$seeds")
fi
log "fuzzing $target for $seconds s"
log_file="$(mktemp "$out/$target.XXXXXX.log")"
set +e
"$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2560 -print_final_stats=1 \
  -artifact_prefix="$out/$target.findings/" "${options[@]}" "$@" "${corpora[@]}" >"$log_file" 2>&1
status=$?
set -e
grep -E "^(Done|stat::number_of_executed_units|stat::peak_rss_mb)" "$log_file" || true
if [ "$status" -ne 0 ]; then
  tail -n 60 "$log_file"
  echo "fuzz target $target: finding (see $out/$target.findings/ and $log_file)" >&2
  exit 1
fi
rm -f "$log_file"
echo "fuzz target $target: no finding"
