#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address and undefined-behaviour
# sanitizers) and runs each for a bounded time, FUZZ_SECONDS (default 30),
# on a copy of the seed corpus in fuzz/corpus. Not part of scripts/test.sh.
# A crash leaves its input under build/fuzz/findings/<target>/ and makes
# the script exit non-zero.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
seconds=${FUZZ_SECONDS:-30}

if ! command -v clang++ >/dev/null 2>&1; then
  [ "$(id -u)" -eq 0 ] || { echo "clang is missing and not root" >&2; exit 1; }
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends clang >/dev/null || exit 1
fi

build=build/fuzz
# A cache from before builds had to say what they are is configured anew.
grep -q '^TAV_DEVELOPMENT_BUILD' "$build/CMakeCache.txt" 2>/dev/null || rm -f "$build/CMakeCache.txt"
if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTAV_FUZZ=ON -DTAV_BUILD_TESTS=OFF -DTAV_DEVELOPMENT_BUILD=ON \
    -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >"$build.configure.log" 2>&1 ||
    { cat "$build.configure.log"; exit 1; }
  rm -f "$build.configure.log"
fi
cmake --build "$build" -j2 || exit 1

status=0
for src in fuzz/*_fuzz.cpp; do
  name=$(basename "$src" .cpp)
  seeds=fuzz/corpus/${name%_fuzz}
  work=$build/corpus/$name
  findings=$build/findings/$name
  mkdir -p "$work" "$findings" "$seeds"
  echo "=== $name: $seconds s"
  # New inputs go to the work folder; the seeds in the repository stay as
  # they are.
  if "$build/fuzz/$name" "$work" "$seeds" -max_total_time="$seconds" -rss_limit_mb=2048 \
       -artifact_prefix="$findings/" -print_final_stats=1 >"$build/$name.log" 2>&1; then
    grep -E "^(stat::number_of_executed_units|stat::peak_rss_mb)|^#[0-9]+ +DONE" "$build/$name.log" | tr '\n' ' '
    echo "corpus: $(ls "$work" | wc -l) inputs"
  else
    status=1
    echo "FAILED: $name; see $build/$name.log and $findings"
    grep -m1 -A20 "ERROR:\|runtime error\|deadly signal" "$build/$name.log"
  fi
done
[ $status -eq 0 ] && echo "Fuzzing found nothing in ${seconds} s per target." || echo "Fuzzing found failures."
exit $status
