#!/usr/bin/env bash
# Runs every test tier: installs what is missing, builds the three presets,
# runs the Linux unit tests and the Windows tests under Wine, and exits
# non-zero on any failure. A second run is incremental.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash scripts/setup-machine.sh || exit 1

status=0
step() { echo; echo "=== $*"; }

# Runs one preset's tests with the full output in build/<preset>-tests.log;
# prints failures in full and ctest's summary.
run_ctest() {
  local log="build/$1-tests.log" rc
  ctest --preset "$1" >"$log" 2>&1
  rc=$?
  if [ $rc -ne 0 ]; then
    grep -B2 -A40 -E '\*\*\*Failed|\*\*\*Timeout|\*\*\*Exception|Failed  ' "$log" | head -n 300
  fi
  sed -n '/tests passed/,$p' "$log"
  return $rc
}

for preset in host win64 win32; do
  step "Build $preset"
  if [ ! -f "build/$preset/CMakeCache.txt" ]; then
    cmake --preset "$preset" >"build-$preset.configure.log" 2>&1 || { cat "build-$preset.configure.log"; exit 1; }
    rm -f "build-$preset.configure.log"
  fi
  cmake --build --preset "$preset" || exit 1
done

step "Host unit tests (Linux, fakes, ASan+UBSan)"
run_ctest host || status=1

step "Windows tests (x86_64 build under Wine)"
source scripts/wine-env.sh
tav_start_display
tav_prepare_prefix
trap tav_stop_wine EXIT
run_ctest win64 || status=1

step "Result"
if [ $status -eq 0 ]; then echo "All test tiers passed."; else echo "Some tests failed."; fi
exit $status
