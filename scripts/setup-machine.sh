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
have bc || need+=(bc)
have curl || need+=(curl)
have openssl || need+=(openssl)
have osslsigncode || need+=(osslsigncode)
# The layout check: Debian 12's clang-format is version 14, the one .clang-format is written for.
have clang-format || need+=(clang-format)

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

# Some kernels are booted with 32-bit emulation switched off: no 32-bit
# Linux program starts ("Exec format error"), the 32-bit Wine loader among
# them, and with it no 32-bit Windows program. There qemu's user-mode
# emulator runs the loader, registered with the kernel's binfmt_misc.
# Debian 12's own qemu (7.2) needs over a minute to start each Wine process
# (page-by-page bookkeeping of Wine's address-space reservation); the
# backported qemu 10 starts one in about a second.
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "This kernel runs no 32-bit programs; as root, setup would register qemu for them" >&2
    exit 1
  fi
  qemu_major() { /usr/bin/qemu-i386 --version 2>/dev/null | sed -n 's/^qemu-i386 version \([0-9]*\).*/\1/p'; }
  if [ "$(qemu_major)" = "" ] || [ "$(qemu_major)" -lt 10 ]; then
    export DEBIAN_FRONTEND=noninteractive
    codename="$(. /etc/os-release && echo "${VERSION_CODENAME:-}")"
    qemu_pkg=qemu-user
    if [ "$codename" = bookworm ]; then
      list=/etc/apt/sources.list.d/bookworm-backports.list
      if ! grep -rqs 'bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm-backports main" >"$list"
      fi
      apt-get update -q
      qemu_pkg=qemu-user/bookworm-backports
    fi
    # Debian 12's static package holds the same file names.
    apt-get purge -y -q qemu-user-static >/dev/null 2>&1 || true
    apt-get install -y -q --no-install-recommends "$qemu_pkg"
  fi
  [ -e /proc/sys/fs/binfmt_misc/register ] || mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] && echo -1 >/proc/sys/fs/binfmt_misc/qemu-i386
  cat /usr/share/qemu/binfmt.d/qemu-i386.conf >/proc/sys/fs/binfmt_misc/register
  /usr/lib/wine/wine --version >/dev/null || { echo "32-bit Wine does not start even under qemu" >&2; exit 1; }
  echo "32-bit programs run under qemu $(qemu_major) (this kernel has no 32-bit emulation)"
fi
