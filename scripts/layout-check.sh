#!/usr/bin/env bash
# Runs the window tests (main window and message dialog) in two altered Wine
# prefixes: one where the dialog fonts (MS Sans Serif, Tahoma, Arial, MS
# Shell Dlg) are drawn with the much wider DejaVu Sans, one at 144 dpi. The
# tests themselves fail on any text outside its control or any control over
# another; the screenshots they take are kept as PNG under
# build/artifacts/layout/<variant>/ so that a person can look at them.
# Expects the preset (default win64) built and scripts/wine-env.sh's display
# running; the altered prefixes are copies of build/wineprefix, made once.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
preset="${1:-win64}"
base="$PWD/build/wineprefix"
artifacts="$PWD/build/artifacts"
status=0

# Sets up the variant's prefix (copy of the base, settings applied afresh).
prepare_variant() {
  local variant="$1" prefix="$PWD/build/wineprefix-$1"
  if [ ! -f "$prefix/system.reg" ]; then
    echo "Copying the Wine prefix for the $variant check (once)"
    cp -a "$base" "$prefix" || return 1
  fi
  export WINEPREFIX="$prefix"
  wineserver -p >/dev/null 2>&1 &
  local fonts='HKCU\Software\Wine\Fonts\Replacements' desktop='HKCU\Control Panel\Desktop'
  case $variant in
    wide-font)
      # Wine replaces a font only when no font of that name is installed.
      rm -f "$prefix"/drive_c/windows/Fonts/{tahoma,tahomabd,ms_sans_serif}.ttf
      for face in "MS Sans Serif" "Tahoma" "Arial" "MS Shell Dlg" "MS Shell Dlg 2"; do
        wine reg add "$fonts" /v "$face" /d "DejaVu Sans" /f >/dev/null 2>&1
      done
      ;;
    dpi144)
      wine reg add "$desktop" /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1
      wine reg add 'HKCC\Software\Fonts' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1
      ;;
  esac
  # The rest (unmanaged windows, no crash dialog) comes with the copy.
}

for variant in wide-font dpi144; do
  echo "--- Window layout with $variant"
  (
    prepare_variant "$variant" || exit 1
    out="$artifacts/layout/$variant"
    rm -rf "$out"
    mkdir -p "$out"
    # The tests write their pictures to build/artifacts: the ordinary run's
    # pictures wait aside, so that only this variant's go to its folder.
    aside="$(mktemp -d)"
    mkdir -p "$artifacts"
    find "$artifacts" -maxdepth 1 -type f \( -name '*.bmp' -o -name '*.png' \) -exec mv {} "$aside/" \;
    log="build/layout-$variant-tests.log"
    ctest --preset "$preset" -R '^(MainWindowWinTest|DialogWinTest)\.' >"$log" 2>&1
    rc=$?
    [ $rc -eq 0 ] || grep -B2 -A30 -E '\*\*\*Failed|Failed  |Failure' "$log" | head -n 120
    sed -n '/tests passed/p' "$log"
    for picture in "$artifacts"/*.bmp "$artifacts"/*.png; do
      [ -e "$picture" ] || continue
      name="${picture##*/}"
      case $name in
        *.bmp) convert-im6.q16 "$picture" "$out/${name%.bmp}.png" 2>/dev/null && rm -f "$picture" ;;
        *) mv "$picture" "$out/" ;;
      esac
    done
    mv "$aside"/* "$artifacts/" 2>/dev/null
    rmdir "$aside"
    ls "$out" | sed "s|^|Screenshot: build/artifacts/layout/$variant/|"
    wineserver -k >/dev/null 2>&1 || true
    exit $rc
  ) || status=1
done
exit $status
