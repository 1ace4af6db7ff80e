#!/usr/bin/env bash
# The close wait's processor use and exit-notice delay, against the literal
# polling loop, under Wine. Run by scripts/bench.sh after the build of
# TAV_BENCH_PRESET (win64 or win32; default win64).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/wine-env.sh
tav_start_display
tav_prepare_prefix
trap tav_stop_wine EXIT
source scripts/bench-common.sh
tav_bench_build bench/close_wait.exe
wine "$b/bench/close_wait.exe"
