#!/usr/bin/env bash
# The program's main job, shown under Wine: a demo TAV installation in its
# own prefix (build/demo-prefix) with dummy TAV programs and the TAV
# service running, a loopback server that hands out a demo installer over
# about five seconds, and the update manager started as TAV starts it. The
# window appears on your display, or without one on a virtual display with
# pictures saved under build/demo. Then it tells what happened. After that,
# in the same installation, a release build pinned to a throw-away test
# publisher refuses the unsigned demo installer and starts one that
# publisher signed.
#
# Environment: TAV_DEMO_SECONDS (default 5) spreads the download.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
repo=$(pwd)
seconds=${TAV_DEMO_SECONDS:-5}

echo "== Building what the demo needs (first time: a few minutes)"
bash scripts/setup-machine.sh >/dev/null
# The 32-bit program, as users get it; the TAV programs are 32-bit too.
# Always through the preset: it says what kind of build this is.
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j2 --target TAVUpdate TAVri installer_stub related_program \
  tav_test_service window_probe signed_fixtures TAVUpdate_pinned >/dev/null
b=$repo/build/win32

out=$repo/build/demo
state=$out/server.txt
crl_state=$out/crl_server.txt
export WINEPREFIX=$repo/build/demo-prefix
source scripts/wine-env.sh
started_service=""
program_pids=()
cleanup() {
  set +e
  for pid in "${program_pids[@]}"; do kill "$pid" 2>/dev/null; done
  if [ -n "$started_service" ]; then
    wine sc stop TAVorsService >/dev/null 2>&1
    wine sc delete TAVorsService >/dev/null 2>&1
  fi
  python3 tests/win/net/net_server.py stop "$state" >/dev/null 2>&1
  python3 tests/win/signing/crl_server.py stop "$crl_state" >/dev/null 2>&1
  tav_stop_wine
}
trap cleanup EXIT

rm -rf "$out"
mkdir -p "$out"
tav_start_display
[ -n "$TAV_STARTED_XVFB" ] && echo "No display: running on a virtual one ($DISPLAY); pictures go to build/demo"
tav_prepare_prefix

echo "== Preparing the demo TAV installation in $WINEPREFIX"
tav_dir=$WINEPREFIX/drive_c/TAV
rm -rf "$tav_dir" "$WINEPREFIX/drive_c/TAVPrograms"
mkdir -p "$tav_dir" "$WINEPREFIX/drive_c/TAVPrograms"
cp "$b/TAVUpdate.exe" "$b/TAVri.dll" "$tav_dir/"
echo "the installer of the previous update" >"$tav_dir/setup.exe"
regq() { wine reg "$@" >/dev/null 2>&1 || true; }
regq add 'HKLM\SOFTWARE\Corvel Systems\TAV' /v InstallLocation /d 'C:\TAV' /f /reg:32
regq add 'HKLM\SOFTWARE\Corvel Systems\TAV\WatchDog' /f /reg:32
regq delete 'HKLM\SOFTWARE\Corvel Systems\TAV\WatchDog' /v Command /f /reg:32
regq delete 'HKLM\SOFTWARE\Corvel Systems\TAV\WatchDog' /v ShutDown /f /reg:32
regq delete 'HKCU\SOFTWARE\Microsoft\Windows NT\CurrentVersion\AppCompatFlags\Layers' \
  /v 'C:\Program Files (x86)\TAV\setup.exe' /f
echo "   C:\\TAV holds TAVUpdate.exe, TAVri.dll and the setup.exe of an earlier update"
echo "   InstallLocation = C:\\TAV (HKLM\\SOFTWARE\\Corvel Systems\\TAV, 32-bit view)"

# Dummy TAV programs: one obeys the watchdog's shutdown request, one has a
# window the update closes; a bystander that is no TAV program stays.
start_program() {  # image name, mode
  cp "$b/tests/win/related_program.exe" "$WINEPREFIX/drive_c/TAVPrograms/$1"
  wine "C:\\TAVPrograms\\$1" "$2" >/dev/null 2>&1 &
  program_pids+=($!)
  echo "   running: $1 ($3)"
}
start_program "TAV Core Server.exe" watchdog "ends when the watchdog asks"
start_program "TAV LAN Server.exe" window "a window the update closes"
start_program "Notes.exe" window "not a TAV program"
cp "$b/tests/win/tav_test_service.exe" "$WINEPREFIX/drive_c/TAVPrograms/TAVorsService.exe"
wine sc delete TAVorsService >/dev/null 2>&1 || true
wine sc create TAVorsService binPath= 'C:\TAVPrograms\TAVorsService.exe' >/dev/null 2>&1
wine sc start TAVorsService >/dev/null 2>&1 && started_service=1
echo "   service TAVorsService: $(wine sc query TAVorsService 2>/dev/null | grep -o 'RUNNING\|STOPPED' | head -1)"

python3 tests/win/net/net_server.py start "$state" 600 "$b/tests/win/installer_stub.exe" >/dev/null
# The test authority's revocation list, on the port its signers name.
crl_port=$(sed -n 's/^TAV_TEST_CRL_PORT:STRING=//p' "$b/CMakeCache.txt")
python3 tests/win/signing/crl_server.py start "$crl_state" "$b/tests/win/signing/fixtures" \
  "$crl_port" 600 >/dev/null
port=$(sed -n 's/^port=//p' "$state")
url="http://127.0.0.1:$port/file/setup.exe?ms=$((seconds * 1000))"
size=$(stat -c %s "$out/www/setup.exe")
echo "   loopback server on 127.0.0.1:$port hands out setup.exe ($size bytes) over about $seconds s"
echo
echo "== TAV starts the update (the 32-bit TAVUpdate.exe): TAVUpdate.exe \"$url|demo\""
wine "$b/tests/e2e/window_probe.exe" "Z:${out//\//\\}" 60 &
probe=$!
start=$(date +%s.%N)
wine 'C:\TAV\TAVUpdate.exe' "$url|demo" || true
end=$(date +%s.%N)
wait "$probe" || true
printf '   TAVUpdate.exe ended after %.1f s\n' "$(echo "$end - $start" | bc)"

echo
echo "== What happened"
record=$tav_dir/setup.exe.record.txt
for _ in $(seq 1 100); do [ -f "$record" ] && break; sleep 0.1; done
sent=$(awk '{n=$2} END {print n+0}' "$out/sent.log" 2>/dev/null || echo 0)
echo "   bytes downloaded: $sent sent by the server, $(stat -c %s "$tav_dir/setup.exe") saved as C:\\TAV\\setup.exe"
cmp -s "$out/www/setup.exe" "$tav_dir/setup.exe" && echo "   the saved installer is byte for byte the served one"
[ -f "$tav_dir/setup.old" ] && echo "   the earlier installer was kept as C:\\TAV\\setup.old: \"$(cat "$tav_dir/setup.old")\""
i=0
for name in "TAV Core Server.exe" "TAV LAN Server.exe" "Notes.exe"; do
  if kill -0 "${program_pids[$i]}" 2>/dev/null; then state_text="still running"; else state_text="closed"; fi
  echo "   $name: $state_text"
  i=$((i + 1))
done
echo "   service TAVorsService: $(wine sc query TAVorsService 2>/dev/null | grep -o 'RUNNING\|STOPPED' | head -1)"
show() {  # key, value, flags...
  local key=$1 value=$2; shift 2
  local line
  line=$(wine reg query "$key" /v "$value" "$@" 2>/dev/null | tr -d '\r' | grep -i "REG_" | head -1 | sed 's/^ *//')
  if [[ "$line" =~ REG_DWORD[[:space:]]+(0x[0-9a-fA-F]+) ]]; then line="$line (= $((BASH_REMATCH[1])))"; fi
  echo "   $key : ${line:-(not set)}"
}
show 'HKLM\SOFTWARE\Corvel Systems\TAV\WatchDog' Command /reg:32
show 'HKLM\SOFTWARE\Corvel Systems\TAV\WatchDog' ShutDown /reg:32
show 'HKCU\SOFTWARE\Microsoft\Windows NT\CurrentVersion\AppCompatFlags\Layers' 'C:\Program Files (x86)\TAV\setup.exe'
if [ -f "$record" ]; then
  args=$(sed -n 's/^args=//p' "$record" | tr -d '\r')
  cwd=$(sed -n 's/^cwd=//p' "$record" | tr -d '\r')
  echo "   installer started: C:\\TAV\\setup.exe with arguments \"${args}\" in folder $cwd"
else
  echo "   installer started: no"
fi
log=$tav_dir/LOGS/TAVerror.log
if [ -s "$log" ]; then echo "   error log C:\\TAV\\LOGS\\TAVerror.log:"; sed 's/^/     /' "$log"; else echo "   error log: no entries"; fi
pictures() {  # folder
  for bmp in "$1"/*.bmp; do
    [ -e "$bmp" ] || continue
    if command -v convert-im6.q16 >/dev/null && convert-im6.q16 "$bmp" "${bmp%.bmp}.png" 2>/dev/null; then
      rm -f "$bmp"; echo "   picture: ${bmp%.bmp}.png"
    else
      echo "   picture: $bmp"
    fi
  done
}
pictures "$out"

echo
echo "== A release build pinned to the test publisher, in the same installation"
fx=$b/tests/win/signing/fixtures
cp "$b/tests/e2e/TAVUpdate_pinned.exe" "$tav_dir/TAVUpdate.exe"
echo "   C:\\TAV\\TAVUpdate.exe is now TAVUpdate_pinned.exe: it starts only installers whose signer's"
echo "   key digest is $(cat "$fx/publisher.spki.sha256") (a publisher made for the tests)"
# TAV running again, as it was before the first update.
regq delete 'HKLM\SOFTWARE\Corvel Systems\TAV\WatchDog' /v Command /f /reg:32
regq delete 'HKLM\SOFTWARE\Corvel Systems\TAV\WatchDog' /v ShutDown /f /reg:32
start_program "TAV Core Server.exe" watchdog "ends when the watchdog asks"
start_program "TAV LAN Server.exe" window "a window the update closes"
core=${program_pids[-2]} lan=${program_pids[-1]}
wine sc start TAVorsService >/dev/null 2>&1 || true
echo "   service TAVorsService: $(wine sc query TAVorsService 2>/dev/null | grep -o 'RUNNING\|STOPPED' | head -1)"
rm -f "$record"
fingerprint() { stat -c '%s bytes, modified %y' "$1"; sha256sum <"$1"; }
earlier=$(fingerprint "$tav_dir/setup.exe")

echo
echo "== (a) The pinned build refuses the unsigned demo installer: TAVUpdate.exe \"$url|demo\""
mkdir -p "$out/refused"
wine "$b/tests/e2e/window_probe.exe" --press "Z:${out//\//\\}\\refused" 60 &
probe=$!
wine 'C:\TAV\TAVUpdate.exe' "$url|demo" || true
wait "$probe" || true
for pid_name in "$core:TAV Core Server.exe" "$lan:TAV LAN Server.exe"; do
  if kill -0 "${pid_name%%:*}" 2>/dev/null; then state_text="still running"; else state_text="closed"; fi
  echo "   ${pid_name#*:}: $state_text"
done
echo "   service TAVorsService: $(wine sc query TAVorsService 2>/dev/null | grep -o 'RUNNING\|STOPPED' | head -1)"
if [ "$(fingerprint "$tav_dir/setup.exe")" = "$earlier" ]; then
  echo "   C:\\TAV\\setup.exe (the installer of the update before): untouched, same bytes and time"
else
  echo "   C:\\TAV\\setup.exe (the installer of the update before): CHANGED"
fi
staging=$(cd "$tav_dir" && ls -- *.staging 2>/dev/null || true)
echo "   staging files left in C:\\TAV: ${staging:-none}"
[ -f "$record" ] && echo "   installer started: yes (it should not have been)" || echo "   installer started: no"
if [ -s "$log" ]; then echo "   error log C:\\TAV\\LOGS\\TAVerror.log:"; sed 's/^/     /' "$log"; else echo "   error log: no entries"; fi
pictures "$out/refused"

echo
echo "== (b) The pinned build starts an installer signed by the test publisher"
cp "$fx/installer_publisher.exe" "$out/www/signed_setup.exe"
signed_url="http://127.0.0.1:$port/file/signed_setup.exe?ms=$((seconds * 1000))"
echo "   the same server hands out signed_setup.exe: the demo installer signed by the test publisher"
echo "   the probe trusts the test publisher's authority in the prefix while it watches; the"
echo "   authority's revocation list is served on 127.0.0.1:$crl_port, and the signer is not on it"
mkdir -p "$out/signed"
log_before=$(cat "$log" 2>/dev/null || true)
wine "$b/tests/e2e/window_probe.exe" --trust "Z:${fx//\//\\}\\ca.der" "Z:${out//\//\\}\\signed" 60 \
  > >(tee "$out/signed/probe.txt") &
probe=$!
for _ in $(seq 1 600); do grep -q "test root" "$out/signed/probe.txt" 2>/dev/null && break; sleep 0.1; done
echo "   TAVUpdate.exe \"$signed_url|demo\""
wine 'C:\TAV\TAVUpdate.exe' "$signed_url|demo" || true
wait "$probe" || true
signed_record=$tav_dir/signed_setup.exe.record.txt
for _ in $(seq 1 100); do [ -f "$signed_record" ] && break; sleep 0.1; done
cmp -s "$fx/installer_publisher.exe" "$tav_dir/signed_setup.exe" &&
  echo "   C:\\TAV\\signed_setup.exe is byte for byte the signed installer"
if [ -f "$signed_record" ]; then
  echo "   installer started: C:\\TAV\\signed_setup.exe with arguments \"$(sed -n 's/^args=//p' "$signed_record" | tr -d '\r')\""
else
  echo "   installer started: no"
fi
[ "$(cat "$log" 2>/dev/null || true)" = "$log_before" ] && echo "   error log: nothing new" ||
  { echo "   error log C:\\TAV\\LOGS\\TAVerror.log:"; sed 's/^/     /' "$log"; }
grep -q " 200$" "$crl_state.requests" 2>/dev/null &&
  echo "   the signer's revocation was checked against the list: $(grep -c " 200$" "$crl_state.requests") fetch(es)"
pictures "$out/signed"
