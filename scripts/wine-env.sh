# Sourced by the scripts that run Windows programs: one Wine prefix under
# build/, a virtual display when there is none, a persistent wineserver.
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEPREFIX="${WINEPREFIX:-$here/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
# Native first for the DLLs of the DLL planting test, so that Wine, like
# Windows, would take a copy beside a program over the system one.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;wininet,msimg32,uxtheme,comctl32,dwmapi,windowscodecs,wintrust,propsys,wbemcomn=n,b}"
TAV_STARTED_XVFB=""
TAV_STARTED_WINESERVER=""

tav_start_display() {
  if [ -z "${DISPLAY:-}" ] || [ "${TAV_FORCE_XVFB:-}" = 1 ]; then
    local n
    # Other sessions on the machine may hold a few displays already.
    for n in $(seq 99 -1 40); do
      if [ ! -e "/tmp/.X${n}-lock" ]; then
        Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
        TAV_STARTED_XVFB=$!
        export DISPLAY=":$n"
        local i
        for i in $(seq 1 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
        break
      fi
    done
    [ -n "${DISPLAY:-}" ] || echo "no free display number for Xvfb: windows cannot show" >&2
  fi
}

tav_prepare_prefix() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  # A prefix made while 32-bit Wine could not run has no 32-bit system
  # folder, and 32-bit programs never start in it: make it anew.
  if [ -f "$WINEPREFIX/system.reg" ] && [ ! -d "$WINEPREFIX/drive_c/windows/syswow64" ]; then
    echo "The Wine prefix $WINEPREFIX has no 32-bit system: making it anew"
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the Wine prefix $WINEPREFIX (about 10 s, once)"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
  fi
  # Debian's Wine does not load the fonts of its own data folder (fonts-wine:
  # Tahoma, MS Sans Serif, Marlett...) and would draw dialogs in a wider
  # substitute and caption buttons as letters; from the prefix's own Fonts
  # folder it does, as Windows would.
  local font
  for font in /usr/share/wine/fonts/*.ttf; do
    [ -e "$font" ] || continue
    [ -e "$WINEPREFIX/drive_c/windows/Fonts/${font##*/}" ] ||
      cp "$font" "$WINEPREFIX/drive_c/windows/Fonts/"
  done
  wineserver -p >/dev/null 2>&1 &
  TAV_STARTED_WINESERVER=1
  # Bare Xvfb has no window manager: unmanaged windows close at once.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
  # A crashing test program ends with a backtrace in its output instead of
  # waiting for somebody to close Wine's crash dialog.
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 || true
}

tav_stop_wine() {
  if [ -n "$TAV_STARTED_WINESERVER" ]; then wineserver -k >/dev/null 2>&1 || true; fi
  if [ -n "$TAV_STARTED_XVFB" ]; then kill "$TAV_STARTED_XVFB" 2>/dev/null || true; fi
}
