# Sourced by the scripts in bench/ after they changed into the repository: the
# width a run measures and the built programs it needs.
#   tav_bench_build FILE... sets repo, preset (TAV_BENCH_PRESET: win64, the
#   default, or win32) and b (that preset's build folder), says which width
#   is measured, and stops the run when a file is missing from the build.
tav_bench_build() {
  repo=$(pwd)
  preset=${TAV_BENCH_PRESET:-win64}
  case $preset in
    win32) echo "width: 32-bit (build/win32)" ;;
    *) echo "width: x86_64 (build/$preset)" ;;
  esac
  b=$repo/build/$preset
  local f
  for f in "$@"; do
    [ -f "$b/$f" ] || { echo "build the $preset preset first (scripts/bench.sh does): $f"; exit 1; }
  done
}
