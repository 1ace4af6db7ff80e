#!/usr/bin/env bash
# Installs what the build and the tests need on a fresh Debian 12 machine.
# Quick when everything is there already.
set -euo pipefail

need=()
have() { command -v "$1" >/dev/null 2>&1; }
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
have cmake || need+=(cmake)
have ninja || need+=(ninja-build)
have g++ || need+=(g++)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev libgmock-dev)
[ -d /usr/src/googletest ] || need+=(googletest)
have x86_64-w64-mingw32-g++-posix || need+=(g++-mingw-w64-x86-64-posix)
have i686-w64-mingw32-g++-posix || need+=(g++-mingw-w64-i686-posix)
have x86_64-w64-mingw32-windres || need+=(binutils-mingw-w64)
# Debian's mingw-w64-tools names the type-library compiler by target only.
have x86_64-w64-mingw32-widl || need+=(mingw-w64-tools)
[ -d /usr/include/wine/wine/windows ] || need+=(libwine-dev)
have wine || need+=(wine)
installed wine64 || need+=(wine64)
# The product is the 32-bit program: without wine32 Wine cannot run it.
installed wine32:i386 || need+=(wine32:i386)
# Wine's recommends, left out by --no-install-recommends: without them Wine
# has no Tahoma, MS Sans Serif, Marlett or Arial metrics and draws wider.
installed fonts-wine || need+=(fonts-wine)
installed fonts-liberation || need+=(fonts-liberation)
have Xvfb || need+=(xvfb)
have xauth || need+=(xauth)
# A "convert" on PATH may be a stand-in: look for ImageMagick itself.
have convert-im6.q16 || need+=(imagemagick)
have python3 || need+=(python3)
have curl || need+=(curl)
have openssl || need+=(openssl)
have osslsigncode || need+=(osslsigncode)

if [ ${#need[@]} -gt 0 ]; then
  echo "Installing: ${need[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages and not root: install ${need[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${need[@]}"
fi
