#!/usr/bin/env bash
# A small drive in the test prefix, for the disk-full test: a tmpfs of SIZE
# mounted at DIR and drive LETTER of the prefix mapped to it.
#   small_drive.sh mount DIR LETTER SIZE    (anew, over what a killed run left)
#   small_drive.sh unmount DIR LETTER
# Mounting takes root; without it the fixture fails and says why.
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
prefix="${WINEPREFIX:-$here/build/wineprefix}"  # as scripts/wine-run chooses it
fail() { echo "small drive: $*" >&2; exit 1; }
[ $# -ge 3 ] || fail "usage: small_drive.sh mount DIR LETTER SIZE | unmount DIR LETTER"
action="$1" dir="$2"
letter="$(echo "${3%:}" | tr 'A-Z' 'a-z')"
[[ "$letter" =~ ^[d-y]$ ]] || fail "$3 is not a drive letter the prefix leaves free"
link="$prefix/dosdevices/$letter:"

# Unmounts a tmpfs this script mounted; one still held by a process that a
# failed test left is detached all the same, so that nothing stays mounted,
# and the step fails so that it is seen.
release() {
  mountpoint -q "$1" || return 0
  umount "$1" && return 0
  echo "small drive: $1 is busy; detached lazily" >&2
  umount --lazy "$1"
  return 1
}

# Removes the letter's link when this script made it: for DIR, or when
# taking over, for the other width's build folder that a killed run left.
unlink_drive() {
  [ -L "$link" ] || [ -e "$link" ] || return 0
  local target
  target="$(readlink "$link")"
  case "$target" in
    "$dir") ;;
    */tests/e2e/small_drive) [ "${1:-}" = takeover ] || return 0; release "$target" ;;
    *) fail "$link is not a drive this script made: it leads to ${target:-a file}" ;;
  esac
  rm -f "$link"
}

case "$action" in
  mount)
    [ $# -eq 4 ] || fail "usage: small_drive.sh mount DIR LETTER SIZE"
    [ -d "$prefix/dosdevices" ] || fail "no Wine prefix at $prefix (run tav_prepare_prefix first)"
    [ "$(id -u)" -eq 0 ] || fail "mounting a tmpfs takes root; this run is user $(id -un)"
    release "$dir" || fail "could not unmount what an earlier run left at $dir"
    unlink_drive takeover
    mkdir -p "$dir" || fail "cannot make $dir"
    mount -t tmpfs -o "size=$4,mode=0755" tmpfs "$dir" ||
      fail "mount -t tmpfs -o size=$4 at $dir failed"
    ln -s "$dir" "$link" || { umount "$dir"; fail "cannot map $letter: to $dir"; }
    echo "small drive $letter: a tmpfs of $4 at $dir; bytes, free:" \
      "$(df -B1 --output=size,avail "$dir" | tail -n 1)"
    ;;
  unmount)
    status=0
    release "$dir" || status=1
    unlink_drive
    exit $status
    ;;
  *) fail "unknown action $action" ;;
esac
