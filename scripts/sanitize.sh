#!/usr/bin/env bash
# Builds the native core tests with sanitizers and runs them; any report fails.
#   scripts/sanitize.sh address   AddressSanitizer + UndefinedBehaviorSanitizer, the whole suite
#   scripts/sanitize.sh thread    ThreadSanitizer, the tests where threads meet
# Each has a build directory of its own (build/asan, build/tsan) holding only
# the test program, at -O1.
set -euo pipefail
source "$(dirname "$0")/lib/common.sh"

kind="${1:-}"
case "$kind" in
  address)
    dir="$repo/build/asan"
    flags="-fsanitize=address,undefined -fno-sanitize-recover=all"
    # Every test: the worker, the forms, the decoders, the test service.
    filter="*"
    export ASAN_OPTIONS="detect_leaks=1:detect_stack_use_after_return=1:strict_string_checks=1:check_initialization_order=1:abort_on_error=1"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
    ;;
  thread)
    dir="$repo/build/tsan"
    flags="-fsanitize=thread"
    # Where a second thread runs: the upload worker and Synchronize, the ladder's
    # second core, the HTTP client's cancel, the timer's thread, the test service.
    filter="Compression.*:UploadWorker.*:CaptureFlow.*:Rename.*:HttpClientTest.*:TimerEx.*:GifImage.*:TestService.*"
    export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
    ;;
  *)
    echo "usage: $0 address|thread" >&2
    exit 2
    ;;
esac

jobs="${SNAPORA_JOBS:-$(nproc)}"
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S "$repo" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=None \
    -DCMAKE_C_FLAGS="-O1 -g -fno-omit-frame-pointer $flags" \
    -DCMAKE_CXX_FLAGS="-O1 -g -fno-omit-frame-pointer $flags" \
    -DCMAKE_EXE_LINKER_FLAGS="$flags" >/dev/null
fi
ninja -C "$dir" -j "$jobs" snapora_tests
"$dir/tests/snapora_tests" --gtest_brief=1 --gtest_filter="$filter"
