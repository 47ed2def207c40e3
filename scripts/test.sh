#!/usr/bin/env bash
# Builds everything and runs every test: every native test (the portable core,
# the ladder on the screenshot corpus, the giflib cross-check, snapora-server)
# under AddressSanitizer and UBSan, the threaded ones under ThreadSanitizer,
# snapora-server's Debian package (lintian, the unit, the packaged binary), the
# server's pages in headless Chromium, each fuzz target briefly, the same core
# and the Win32 layer under Wine, and the real program end to end (the
# installer that scripts/package.sh makes included).
set -euo pipefail
source "$(dirname "$0")/lib/common.sh"

# The native tests run in the sanitizers' build; of the plain native build the
# later steps need only the programs.
SNAPORA_NATIVE_TARGETS="snapora-server snapora-test-service" "$repo/scripts/build.sh"
echo "-- setting up and building: ok ($SECONDS s)"

failed=0
run_step() {
  local name="$1"; shift
  log "$name"
  local started=$SECONDS
  if "$@"; then echo "-- $name: ok ($((SECONDS - started)) s)"; else echo "-- $name: FAILED"; failed=$((failed + 1)); fi
}

run_step "installer and portable zip" "$repo/scripts/package.sh" --no-build
run_step "snapora-server's Debian package" bash -c \
  '"$1/scripts/package-server.sh" && "$1/tests/package/check_server_package.sh"' _ "$repo"
run_step "native tests under AddressSanitizer and UBSan" "$repo/scripts/sanitize.sh" address
run_step "threaded tests under ThreadSanitizer" "$repo/scripts/sanitize.sh" thread
run_step "snapora-server in headless Chromium" "$repo/tests/browser/run.sh"
for target in $("$repo/scripts/fuzz.sh" --list); do
  run_step "fuzz target $target (briefly)" "$repo/scripts/fuzz.sh" "$target" "${SNAPORA_FUZZ_SECONDS:-15}"
done

ensure_display
trap 'wineserver -k 2>/dev/null || true; stop_display' EXIT
ensure_wine_prefix
run_step "core tests under Wine" wine "$win_build/tests/snapora_tests.exe" --gtest_brief=1
run_step "Win32 layer tests under Wine" wine "$win_build/tests/snapora_win32_tests.exe" --gtest_brief=1
run_step "resources of snapora.exe" "$repo/tests/resources/check_resources.sh" "$snapora_exe"
run_step "end-to-end tests" "$repo/tests/e2e/run.sh"

if [ "$failed" -ne 0 ]; then
  echo "$failed test step(s) failed after $SECONDS s"
  exit 1
fi
echo "all test steps passed in $SECONDS s"
