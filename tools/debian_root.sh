#!/usr/bin/env bash
# Usage: tools/debian_root.sh DIRECTORY PACKAGE...
#
# Makes DIRECTORY a minimal root of Debian's unstable release holding
# PACKAGE... with everything they depend on, installed and configured by
# debootstrap and apt inside the root: its own package database, its own C
# library, nothing of the host's. The tests run in it through
# tools/in_root.sh. A second run installs whatever is missing and leaves the
# rest as it is. Needs root privileges (debootstrap and chroot) and
# debootstrap on the host.
set -euo pipefail

if (($# < 2)); then
  echo "usage: $0 DIRECTORY PACKAGE..." >&2
  exit 2
fi
root=$(realpath -m "$1")
shift
packages=("$@")
mirror=http://deb.debian.org/debian

if [[ ! -x $root/usr/bin/apt-get ]]; then
  rm -rf "$root"
  include=$(IFS=,; echo "${packages[*]}")
  # In a mount namespace of its own, so that what debootstrap mounts in the
  # root (/proc, /sys, perhaps /dev) cannot outlive it, even if it is stopped.
  unshare --mount --propagation private -- debootstrap --variant=minbase --include="$include" sid "$root" "$mirror"
  exit 0
fi
missing=()
for package in "${packages[@]}"; do
  chroot "$root" dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done
if ((${#missing[@]})); then
  # An unstable index fetched a while ago may have outlived its validity.
  chroot "$root" apt-get -qq -o Acquire::Check-Valid-Until=false update
  chroot "$root" env DEBIAN_FRONTEND=noninteractive apt-get -qq install -y --no-install-recommends "${missing[@]}"
fi
