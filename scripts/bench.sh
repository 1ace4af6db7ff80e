#!/usr/bin/env bash
# Runs every benchmark script in bench/ (bench/*.sh) and prints its figures.
#
# Environment: TAV_BENCH_PRESET picks the width measured: win64 (default)
# or win32, the product. Where the kernel runs no 32-bit programs, 32-bit
# Wine runs under qemu and win32 figures measure the emulator as well.
# TAV_BENCH_BIG=1 adds a 1.5 GB download to bench/download.sh's memory
# figures (about a minute more, and 5 GB of free disk for the file served,
# the download's own and the copy compared).
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash scripts/setup-machine.sh || exit 1
export TAV_BENCH_PRESET=${TAV_BENCH_PRESET:-win64}
# Always through the preset: it says what kind of build this is.
cmake --preset "$TAV_BENCH_PRESET" >/dev/null || exit 1
cmake --build --preset "$TAV_BENCH_PRESET" || exit 1
status=0
for b in bench/*.sh; do
  [ -e "$b" ] || continue
  echo "=== $b"
  bash "$b" || status=1
done
exit $status
