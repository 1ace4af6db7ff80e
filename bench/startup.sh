#!/usr/bin/env bash
# Start-up and hand-over of the update program under Wine with a warm
# wineserver: process start to the window shown, and the installer's last
# byte to the installer running when no TAV program runs (goals: both
# under 300 ms, and the hand-over at most twice the time of starting the
# installer directly), each beside a peer measured the same way in this run.
# Uses its own Wine prefix (build/bench-prefix) and loopback server.
#
# Environment: TAV_BENCH_ROUNDS (default 9), TAV_BENCH_PRESET (win64 or
# win32; default win64).
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/bench-common.sh
rounds=${TAV_BENCH_ROUNDS:-9}
tav_bench_build TAVUpdate.exe TAVri.dll bench/startup_bench.exe tests/win/installer_stub.exe tests/win/related_program.exe

work=$repo/build/bench-startup
state=$work/server.txt
export WINEPREFIX=$repo/build/bench-prefix
source scripts/wine-env.sh
cleanup() {
  python3 tests/win/net/net_server.py stop "$state" >/dev/null 2>&1 || true
  tav_stop_wine
}
trap cleanup EXIT

rm -rf "$work"
mkdir -p "$work"
python3 tests/win/net/net_server.py start "$state" 600 "$b/tests/win/installer_stub.exe" >/dev/null || exit 1
port=$(sed -n 's/^port=//p' "$state")

tav_start_display
tav_prepare_prefix
tav_bench_install TAVBench
cp "$b/tests/win/related_program.exe" "$folder/plain_window.exe"

wine "$b/bench/startup_bench.exe" 'C:\TAVBench' 'C:\TAVBench\plain_window.exe' \
  "http://127.0.0.1:$port/file/setup.exe" "Z:${work//\//\\}\\sent.log" "$rounds"
