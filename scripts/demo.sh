#!/usr/bin/env bash
# The program's main job under Wine: a demo TAV installation in its own
# prefix, then the update manager started as TAV would start it.
# Today the program starts, claims its single instance, reads the
# installation folder and shows its window; the download and install
# steps join as they land.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash scripts/setup-machine.sh
[ -f build/win64/CMakeCache.txt ] || cmake --preset win64 >/dev/null
cmake --build --preset win64 --target TAVUpdate

export WINEPREFIX="$PWD/build/demo-prefix"
source scripts/wine-env.sh
tav_start_display
tav_prepare_prefix
trap tav_stop_wine EXIT

install_dir="$WINEPREFIX/drive_c/Program Files (x86)/TAV"
mkdir -p "$install_dir"
cp build/win64/TAVUpdate.exe "$install_dir/"
wine reg add 'HKLM\SOFTWARE\Corvel Systems\TAV' /v InstallLocation /d 'C:\Program Files (x86)\TAV' /f /reg:32 >/dev/null 2>&1

echo "Starting TAVUpdate.exe from the demo installation..."
mkdir -p build/demo
( sleep 0.8; import -display "$DISPLAY" -window root build/demo/window.png 2>/dev/null || true ) &
start=$(date +%s.%N)
wine "$install_dir/TAVUpdate.exe" "http://127.0.0.1:8765/TAVSetup.exe|demo"
end=$(date +%s.%N)
wait
printf 'TAVUpdate.exe ran for %.1f s and ended.\n' "$(echo "$end - $start" | bc)"
[ -f build/demo/window.png ] && echo "Screenshot: build/demo/window.png"
if [ -f "$install_dir/LOGS/TAVerror.log" ]; then
  echo "Error log ($install_dir/LOGS/TAVerror.log):"; cat "$install_dir/LOGS/TAVerror.log"
else
  echo "Error log: no entries (nothing failed)."
fi
