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

#   tav_bench_install NAME makes a TAV installation in C:\NAME of the
#   current prefix: the program and its style library, InstallLocation
#   naming it and the watchdog key (32-bit view); sets folder to its path
#   on this side.
tav_bench_install() {
  folder=$WINEPREFIX/drive_c/$1
  rm -rf "$folder"
  mkdir -p "$folder"
  cp "$b/TAVUpdate.exe" "$b/TAVri.dll" "$folder/"
  local key='HKLM\SOFTWARE\Corvel Systems\TAV'
  wine reg add "$key" /v InstallLocation /d "C:\\$1" /f /reg:32 >/dev/null 2>&1
  wine reg add "$key\\WatchDog" /f /reg:32 >/dev/null 2>&1
}
