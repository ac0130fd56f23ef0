#!/usr/bin/env bash
# Usage: tools/in_root.sh ROOT DIRECTORY COMMAND [ARGUMENT...]
#
# Runs COMMAND in the root ROOT (made by tools/debian_root.sh) through
# chroot, in the current directory, with /proc, the host's /dev (with
# /dev/pts, which the terminal tests open), /sys, and DIRECTORY at the same
# path as outside. The mounts are made in a mount namespace of the command's
# own, so they vanish with it: nothing stays mounted in ROOT, whose removal
# could otherwise reach through them into the host. COMMAND gets the
# environment it is given (run it through `env -i` for a clean one).
# Needs root privileges.
set -euo pipefail

if (($# < 3)); then
  echo "usage: $0 ROOT DIRECTORY COMMAND [ARGUMENT...]" >&2
  exit 2
fi
root=$(realpath "$1")
directory=$(realpath "$2")
shift 2
exec unshare --mount --propagation private -- /bin/bash -c '
  set -euo pipefail
  root=$1 directory=$2 here=$3
  shift 3
  mount -t proc proc "$root/proc"
  mount --rbind /dev "$root/dev"
  mount --rbind /sys "$root/sys"
  mkdir -p "$root$directory"
  mount --bind "$directory" "$root$directory"
  exec chroot "$root" /bin/sh -c "cd \"\$0\" && exec \"\$@\"" "$here" "$@"
' in_root "$root" "$directory" "$PWD" "$@"
