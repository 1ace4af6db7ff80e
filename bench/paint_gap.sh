#!/usr/bin/env bash
# Whether the update program's window keeps painting while it downloads
# and checks a large installer (default 256 MB: the test installer stub
# padded). A probe invalidates the main window every 10 ms and watches for
# it to be painted (see bench/paint_gap.cpp); prints the longest gap between
# two paints during the download and during the check (goal: under
# 200 ms), and how long the check took. Two installers: unsigned, and
# signed by a throw-away certificate, whose whole image the signature check
# hashes before its verdict (a development build starts both). Uses its own
# Wine prefix (build/bench-prefix) and loopback server.
#
# Environment: TAV_BENCH_PAINT_MB (default 256), TAV_BENCH_ROUNDS (default
# 3), TAV_BENCH_PAINT_SIGNED (0: the unsigned installer only),
# TAV_BENCH_PRESET (win64 or win32; default win64).
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/bench-common.sh
mb=${TAV_BENCH_PAINT_MB:-256}
rounds=${TAV_BENCH_ROUNDS:-3}
tav_bench_build TAVUpdate.exe TAVri.dll bench/paint_gap.exe tests/win/installer_stub.exe

work=$repo/build/bench-paint
state=$work/server.txt
export WINEPREFIX=$repo/build/bench-prefix
source scripts/wine-env.sh
cleanup() {
  python3 tests/win/net/net_server.py stop "$state" >/dev/null 2>&1 || true
  rm -rf "$work" "${folder:-}"
  tav_stop_wine
}
trap cleanup EXIT
started=$SECONDS

rm -rf "$work"
mkdir -p "$work/www"
# The stub runs as it is with any bytes after its image.
installer=$work/www/setup.exe
cp "$b/tests/win/installer_stub.exe" "$installer"
head -c $((mb * 1024 * 1024 - $(stat -c %s "$installer"))) /dev/urandom >>"$installer"
variants=unsigned
if [ "${TAV_BENCH_PAINT_SIGNED:-1}" != 0 ]; then
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=TAV Bench Throwaway" \
    -keyout "$work/key.pem" -out "$work/cert.pem" -addext "extendedKeyUsage=codeSigning" \
    >/dev/null 2>&1 &&
    osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -h sha256 -n "TAV bench" \
      -in "$installer" -out "$work/www/signed.exe" >/dev/null &&
    variants="unsigned signed" || { echo "could not sign the installer"; exit 1; }
fi
python3 tests/win/net/net_server.py start "$state" 1800 >/dev/null || exit 1
port=$(sed -n 's/^port=//p' "$state")

tav_start_display
tav_prepare_prefix
tav_bench_install TAVBenchPaint

status=0
for v in $variants; do
  # The program saves it as setup.exe whichever file the server reads.
  served=setup.exe
  [ "$v" = signed ] && served=signed.exe
  echo "--- $v installer"
  wine "$b/bench/paint_gap.exe" 'C:\TAVBenchPaint' \
    "http://127.0.0.1:$port/file/setup.exe?name=$served" setup.exe "$rounds" 2>/dev/null |
    tr -d '\r' | tee "$work/results.txt"
  python3 - "$work/results.txt" "$mb" "$v" <<'EOF' || status=1
import statistics, sys
rows = [dict(kv.split("=", 1) for kv in line.split()) for line in open(sys.argv[1]) if line.strip()]
good = [r for r in rows if r.get("ok") == "1"]
if not good or len(good) != len(rows):
    print("some rounds failed: see above")
    sys.exit(1)
def med(key):
    return statistics.median(float(r[key]) for r in good)
def worst(key):
    return max(float(r[key]) for r in good)
print()
print("installer: %s MB, %s; medians of %d rounds (worst in brackets)"
      % (sys.argv[2], sys.argv[3], len(good)))
# A window left unpainted for longer shows as stuck when it is covered or
# dragged; Windows itself calls it not responding only after 5 s.
GOAL = 200
def verdict(key):
    return "goal < %d ms: %s" % (GOAL, "met" if worst(key) < GOAL else "NOT met")
print("  download: %8.0f ms, longest paint gap %7.1f ms (%.1f), ending %.0f ms before the check"
      % (med("download_ms"), med("download_gap_ms"), worst("download_gap_ms"),
         max(0.0, -med("download_gap_end_ms"))))
print("            %s" % verdict("download_gap_ms"))
print("  check:    %8.0f ms, longest paint gap %7.1f ms (%.1f), ended by: %s"
      % (med("check_ms"), med("check_gap_ms"), worst("check_gap_ms"),
         ", ".join(sorted(set(r["end"] for r in good)))))
print("            %s" % verdict("check_gap_ms"))
print("  before the download (idle window): longest gap %.1f ms (%.1f)"
      % (med("idle_gap_ms"), worst("idle_gap_ms")))
EOF
done
echo "paint-gap benchmark: $((SECONDS - started)) s"
exit $status
