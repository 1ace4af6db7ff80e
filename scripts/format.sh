#!/usr/bin/env bash
# Lays out the C++ sources by .clang-format. With --check it changes nothing
# and fails, naming the files, when any file is not laid out that way.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
command -v clang-format >/dev/null || { echo "clang-format is missing: run scripts/setup-machine.sh" >&2; exit 1; }
mapfile -t files < <(git ls-files 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' \
  'bench/*.cpp' 'bench/*.h' 'fuzz/*.cpp' 'fuzz/*.h')
if [ "${1:-}" = --check ]; then
  bad=()
  for f in "${files[@]}"; do
    clang-format --style=file "$f" | cmp -s - "$f" || bad+=("$f")
  done
  [ ${#bad[@]} -eq 0 ] && { echo "All ${#files[@]} files are laid out by .clang-format."; exit 0; }
  printf 'Not laid out by .clang-format (bash scripts/format.sh fixes them):\n'
  printf '  %s\n' "${bad[@]}"
  exit 1
fi
clang-format -i --style=file "${files[@]}"
