#!/usr/bin/env bash
# Runs every benchmark script in bench/ (bench/*.sh) and prints its figures.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash scripts/setup-machine.sh || exit 1
[ -f build/win64/CMakeCache.txt ] || cmake --preset win64 >/dev/null
cmake --build --preset win64 || exit 1
status=0
for b in bench/*.sh; do
  [ -e "$b" ] || continue
  echo "=== $b"
  bash "$b" || status=1
done
exit $status
