#!/usr/bin/env bash
# Installs what the build and the tests need on a fresh Debian machine.
# Quick when everything is there already.
set -euo pipefail

need=()
have() { command -v "$1" >/dev/null 2>&1; }
have cmake || need+=(cmake)
have ninja || need+=(ninja-build)
have g++ || need+=(g++)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev libgmock-dev)
[ -d /usr/src/googletest ] || need+=(googletest)
have x86_64-w64-mingw32-g++-posix || need+=(g++-mingw-w64-x86-64-posix)
have i686-w64-mingw32-g++-posix || need+=(g++-mingw-w64-i686-posix)
have x86_64-w64-mingw32-windres || need+=(binutils-mingw-w64)
have widl || need+=(mingw-w64-tools)
[ -d /usr/include/wine/wine/windows ] || need+=(libwine-dev)
have wine || need+=(wine)
have wine64 || need+=(wine64)
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
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${need[@]}"
fi
