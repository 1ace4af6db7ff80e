#!/usr/bin/env bash
# Runs every test tier: installs what is missing, builds the three presets,
# runs the Linux unit tests, then the Windows and end-to-end tests of both
# widths under Wine, and exits non-zero on any failure. A second run is
# incremental.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash scripts/setup-machine.sh || exit 1

status=0
step() { echo; echo "=== $*"; }

# Runs one preset's tests (further arguments go to ctest) with the full
# output in build/<log name>-tests.log; prints failures in full and ctest's
# summary.
run_ctest() {
  local preset="$1" name="$2" log="build/$2-tests.log" rc
  shift 2
  ctest --preset "$preset" "$@" >"$log" 2>&1
  rc=$?
  if [ $rc -ne 0 ]; then
    # A failure before any test ran (a test program that does not start)
    # matches none of ctest's failure lines: show the end of the log then.
    grep -B2 -A40 -E '\*\*\*Failed|\*\*\*Timeout|\*\*\*Exception|Failed  ' "$log" | head -n 300 ||
      tail -n 30 "$log"
  fi
  sed -n '/tests passed/,$p' "$log"
  return $rc
}

step "Source layout (.clang-format)"
bash scripts/format.sh --check || status=1

for preset in host win64 win32; do
  step "Build $preset"
  # Always through the preset: a build folder configured before the preset
  # gained a variable would otherwise keep failing to regenerate.
  cmake --preset "$preset" >"build-$preset.configure.log" 2>&1 || { cat "build-$preset.configure.log"; exit 1; }
  rm -f "build-$preset.configure.log"
  cmake --build --preset "$preset" || exit 1
done

step "Host unit tests (Linux, fakes, ASan+UBSan)"
run_ctest host host || status=1

source scripts/wine-env.sh
tav_start_display
tav_prepare_prefix
trap tav_stop_wine EXIT
# Both widths: the 32-bit program is the product, the x86_64 twin catches
# what hides in the other width. A test runs once: one failure fails the tier.
for preset in win64 win32; do
  case $preset in win64) width="x86_64 build" ;; *) width="32-bit product" ;; esac
  step "Windows tests ($width under Wine)"
  run_ctest "$preset" "$preset" -LE e2e || status=1
  step "End-to-end tests ($width: the whole program under Wine: demo installation, server, probe)"
  run_ctest "$preset" "e2e-$preset" -L e2e || status=1
done
step "Window layout with a wide font and at 144 dpi (x86_64 build under Wine)"
bash scripts/layout-check.sh win64 || status=1
# The screenshots as PNG beside the BMPs the tests keep.
if command -v convert-im6.q16 >/dev/null; then
  for bmp in build/artifacts/*.bmp; do
    [ -e "$bmp" ] && convert-im6.q16 "$bmp" "${bmp%.bmp}.png" 2>/dev/null
  done
  ls build/artifacts/*.png 2>/dev/null | sed 's/^/Screenshot: /'
fi

step "Result"
if [ $status -eq 0 ]; then echo "All test tiers passed."; else echo "Some tests failed."; fi
exit $status
