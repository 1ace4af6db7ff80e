#!/usr/bin/env bash
# The close wait's processor use and exit-notice delay, against the literal
# polling loop, under Wine. Run by scripts/bench.sh after the win64 build.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/wine-env.sh
tav_start_display
tav_prepare_prefix
trap tav_stop_wine EXIT
wine build/win64/bench/close_wait.exe
