#!/usr/bin/env bash
# Builds the native tests with sanitizers and runs them; any report fails.
#   scripts/sanitize.sh address   AddressSanitizer + UndefinedBehaviorSanitizer: every native
#                                 test (ctest: the client's core, the ladder on the screenshot
#                                 corpus, the giflib cross-check, snapora-server's tests, those
#                                 of several instances on PostgreSQL included), two at a time
#   scripts/sanitize.sh thread    ThreadSanitizer: the client's core tests, and
#                                 once more those where threads meet (another schedule)
# Each has a build directory of its own (build/asan, build/tsan), at -O1 with
# line tables only (reports name files and lines; full debug information
# would cost a minute of building), sources compiled in batches (unity build).
set -euo pipefail
source "$(dirname "$0")/lib/common.sh"

jobs="${SNAPORA_JOBS:-$(nproc)}"
kind="${1:-}"
case "$kind" in
  address)
    dir="$repo/build/asan"
    flags="-fsanitize=address,undefined -fno-sanitize-recover=all"
    targets=(all)
    runs=("ctest --output-on-failure -j $jobs")
    export ASAN_OPTIONS="detect_leaks=1:detect_stack_use_after_return=1:strict_string_checks=1:check_initialization_order=1:abort_on_error=1"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
    ;;
  thread)
    dir="$repo/build/tsan"
    flags="-fsanitize=thread"
    targets=(snapora_tests)
    # Where a second thread runs: the upload worker and Synchronize, the ladder's
    # second core, the history's packer, the HTTP client's cancel, the timer's
    # thread, the test service.
    threaded="Beside.*:Compression.*:CompressionLadder.*:JpegCoefficients.*:JpegRecorder.*:PackedPicture.*:History.*:UploadWorker.*:CaptureFlow.*:Rename.*:HttpClientTest.*:TimerEx.*:GifImage.*:TestService.*"
    runs=("tests/snapora_tests --gtest_brief=1" "tests/snapora_tests --gtest_brief=1 --gtest_filter=$threaded")
    export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
    ;;
  *)
    echo "usage: $0 address|thread" >&2
    exit 2
    ;;
esac

if [ ! -f "$dir/build.ninja" ]; then
  cmake -S "$repo" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=None -DCMAKE_UNITY_BUILD=ON \
    -DCMAKE_C_FLAGS="-O1 -g1 -fno-omit-frame-pointer $flags" \
    -DCMAKE_CXX_FLAGS="-O1 -g1 -fno-omit-frame-pointer $flags" \
    -DCMAKE_EXE_LINKER_FLAGS="$flags" >/dev/null
fi
ninja -C "$dir" -j "$jobs" --quiet "${targets[@]}"
for run in "${runs[@]}"; do
  log "$kind sanitizer: $run"
  # shellcheck disable=SC2086  # a run is a program and its options
  (cd "$dir" && $run)
done
