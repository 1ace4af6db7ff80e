#!/usr/bin/env bash
# Download benchmark: one 256 MB file from a loopback server, fetched in turns
# by the program's own path (GetNetFile over the WinINet read service), by a
# bare WinINet read loop and by native curl, all in this run. Prints the
# medians and the ratios: throughput against the bare loop (goal >= 0.95)
# and against curl (for context), the process's peak memory against
# 1.1 x file + 32 MB, the bytes copied per byte received, and the share of
# the download's CPU time spent on the user-interface thread.
#
# Environment: TAV_BENCH_MB (default 256), TAV_BENCH_ROUNDS (default 5),
# TAV_BENCH_PRESET (win64 or win32; default win64).
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
repo=$(pwd)
mb=${TAV_BENCH_MB:-256}
rounds=${TAV_BENCH_ROUNDS:-5}
preset=${TAV_BENCH_PRESET:-win64}
case $preset in win32) echo "width: 32-bit (build/win32)" ;; *) echo "width: x86_64 (build/$preset)" ;; esac
exe=$repo/build/$preset/bench/download_bench.exe
[ -f "$exe" ] || { echo "build the $preset preset first (scripts/bench.sh does)"; exit 1; }

work=$repo/build/bench-download
rm -rf "$work"
mkdir -p "$work/www"
state=$work/servers.txt
cleanup() {
  python3 tests/win/net/net_server.py stop "$state" >/dev/null 2>&1 || true
  rm -rf "$work"
  [ -n "${TAV_STARTED_WINESERVER:-}" ] && tav_stop_wine
}
trap cleanup EXIT

echo "Making a ${mb} MB file..."
head -c $((mb * 1024 * 1024)) /dev/urandom >"$work/www/big.bin"
python3 tests/win/net/net_server.py start "$state" 900 >/dev/null || exit 1
port=$(sed -n 's/^port=//p' "$state")
url="http://127.0.0.1:$port/file/bench?name=big.bin"

source scripts/wine-env.sh
tav_prepare_prefix >/dev/null 2>&1
saved="$work/saved.bin"
saved_win="Z:$saved"  # a name with "/" is used as it stands

run() {  # mode -> one line of key=value figures
  if [ "$1" = curl ]; then
    curl -s -o /dev/null -w 'mode=curl ok=1 bytes=%{size_download} seconds=%{time_total}\n' "$url"
  elif [ "$1" = service ]; then
    wine "$exe" service "$url" "$saved_win" 2>/dev/null | tr -d '\r'
  else
    wine "$exe" "$1" "$url" 2>/dev/null | tr -d '\r'
  fi
}

echo "Warming up..."
run curl >/dev/null; run bare >/dev/null; run service >/dev/null
cmp -s "$saved" "$work/www/big.bin" || { echo "the saved file differs from the served one"; exit 1; }

: >"$work/results.txt"
for r in $(seq 1 "$rounds"); do
  # Rotate the order so that no path always runs first.
  case $((r % 3)) in
    0) order="curl bare service" ;;
    1) order="bare service curl" ;;
    2) order="service curl bare" ;;
  esac
  for m in $order; do
    line=$(run "$m")
    echo "$line" >>"$work/results.txt"
    echo "  round $r: $line"
  done
done

python3 - "$work/results.txt" "$mb" <<'EOF'
import statistics, sys
rows = [dict(kv.split("=", 1) for kv in line.split()) for line in open(sys.argv[1]) if line.strip()]
mb = int(sys.argv[2])
bad = [r for r in rows if r.get("ok") != "1"]
if bad:
    print("FAILED runs:", bad)
    sys.exit(1)
def med(mode, key):
    return statistics.median(float(r[key]) for r in rows if r["mode"] == mode)
size = float(rows[0]["bytes"])
t = {m: med(m, "seconds") for m in ("service", "bare", "curl")}
rate = {m: size / t[m] / 1e6 for m in t}
svc = [r for r in rows if r["mode"] == "service"]
peak_ws = max(float(r["peak_ws"]) for r in svc)
peak_commit = max(float(r["peak_commit"]) for r in svc)
bare_ws = max(float(r["peak_ws"]) for r in rows if r["mode"] == "bare")
limit = 1.1 * size + 32 * 1024 * 1024
copied = max(float(r["copied"]) for r in svc) / size
ui_share = statistics.median(float(r["ui_cpu"]) / float(r["cpu"]) for r in svc if float(r["cpu"]) > 0)
progress = statistics.median(int(r["progress"]) for r in svc)
M = 1024 * 1024
print()
print("file: %d MB; medians of %d rounds" % (mb, len(svc)))
print("  GetNetFile + read service: %7.1f MB/s  (%.2f s)" % (rate["service"], t["service"]))
print("  bare WinINet loop:         %7.1f MB/s  (%.2f s)" % (rate["bare"], t["bare"]))
print("  native curl:               %7.1f MB/s  (%.2f s)" % (rate["curl"], t["curl"]))
print("throughput ratio to the bare loop: %.3f (goal >= 0.95)" % (rate["service"] / rate["bare"]))
print("throughput ratio to curl:          %.3f (context)" % (rate["service"] / rate["curl"]))
print("peak working set: %.1f MB, limit %.1f MB (1.1 x file + 32 MB): %s; bare loop %.1f MB"
      % (peak_ws / M, limit / M, "within" if peak_ws <= limit else "OVER", bare_ws / M))
print("peak commit (PeakPagefileUsage as Wine reports it): %.1f MB" % (peak_commit / M))
print("bytes copied / bytes received: %.3f (goal <= 2)" % copied)
print("UI thread share of the download's CPU time: %.1f %% (%d progress events)" % (100 * ui_share, progress))
EOF
