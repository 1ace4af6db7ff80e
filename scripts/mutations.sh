#!/usr/bin/env bash
# Puts deliberate one-line faults into the program, one at a time, and shows
# that the test named beside each fails with it (and passes without it). A
# fault no test notices means a hole in the suite. Run after the test command
# has built everything; the source is restored after each fault, also when
# interrupted. Usage: bash scripts/mutations.sh [name...]
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

# name | file | text to replace (must occur once) | replacement | preset | ctest -R
faults() {
  cat <<'EOF'
frmMain-routine-name | src/main_window/frmMain.cpp | ErrorLog().Log("frmMain.InstallUpdate", | ErrorLog().Log("frmMain.InstalUpdate", | host | FrmMainTest
frmMain-trap-name | src/main_window/frmMain.cpp | Trap trap("frmMain.Status"); | Trap trap("frmMain.Stat"); | host | FrmMainTest
missed-slash-s | src/main_window/frmMain.cpp | ? "/s" : "" | ? "" : "" | host | FrmMainTest
skipped-old | src/main_window/frmMain.cpp | movedAside = trap([&] { services_.RenameFile(folder + sInstallerFile_, folder + backup); }); | movedAside = true; | host | FrmMainTest
progress-counted-wrong | src/main_window/frmMain.cpp | if (progressEvents_ >= 5) progressEvents_ = 0; | if (progressEvents_ >= 6) progressEvents_ = 0; | host | FrmMainTest
EOF
}

restore=""
cleanup() { [ -n "$restore" ] && git checkout -q -- "$restore"; }
trap cleanup EXIT

wine_ready=""
ensure_wine() {
  [ -n "$wine_ready" ] && return
  source scripts/wine-env.sh
  tav_start_display
  tav_prepare_prefix
  trap 'cleanup; tav_stop_wine' EXIT
  wine_ready=1
}

status=0
while IFS='|' read -r name file old new preset regex; do
  name="$(echo "$name" | xargs)"
  [ -n "$name" ] || continue
  if [ $# -gt 0 ] && [[ " $* " != *" $name "* ]]; then continue; fi
  file="$(echo "$file" | xargs)"; preset="$(echo "$preset" | xargs)"; regex="$(echo "$regex" | xargs)"
  old="${old# }"; old="${old% }"; new="${new# }"; new="${new% }"
  if ! git diff --quiet -- "$file"; then echo "$name: $file has local changes, skipped"; status=1; continue; fi
  restore="$file"
  if ! OLD="$old" NEW="$new" python3 - "$file" <<'PY'
import os, sys
path = sys.argv[1]
text = open(path, encoding="utf-8").read()
old, new = os.environ["OLD"], os.environ["NEW"]
if text.count(old) != 1:
    sys.exit(f"expected one occurrence of {old!r} in {path}, found {text.count(old)}")
open(path, "w", encoding="utf-8").write(text.replace(old, new))
PY
  then status=1; cleanup; restore=""; continue; fi
  [ "$preset" = host ] || ensure_wine
  if ! cmake --build --preset "$preset" >"build/mutation-$name.log" 2>&1; then
    verdict="DOES NOT BUILD (not a fault the tests can judge)"; status=1
  elif ctest --preset "$preset" -R "$regex" >>"build/mutation-$name.log" 2>&1; then
    verdict="NOT CAUGHT"; status=1
  else
    verdict="caught by $(grep -oE '[0-9]+ - [^ ]+ \((Failed|Timeout|Exception)' "build/mutation-$name.log" |
      sed -E 's/^[0-9]+ - //; s/ \(.*//' | sort -u | paste -sd, -)"
  fi
  cleanup; restore=""
  printf '%-28s %s\n' "$name" "$verdict"
done < <(faults)
# Rebuild what the last fault touched, so the build folders hold the real program.
for preset in host win64 win32; do
  [ -d "build/$preset" ] && cmake --build --preset "$preset" >/dev/null 2>&1
done
exit $status
