#!/usr/bin/env bash
# Usage: tools/target_root.sh ARCHITECTURE DIRECTORY [PACKAGE...]
#
# Makes DIRECTORY a root holding Debian's packages of another architecture,
# with every package they depend on, unpacked as they would be installed,
# for a cross build (its sysroot) and for qemu's user-mode emulation of its
# programs (QEMU_LD_PREFIX: the target's loader, its libraries and any file
# a program opens are found there first). Without packages named, it holds
# what the tests of a cross build need: the target's Python 3.11 with its
# headers, the C++ runtime, GoogleTest and Google Benchmark.
#
# It is for a target that multiarch cannot install beside the host's own
# packages: on an updated host, whose libraries come from the security
# archive, where that architecture has no updates (s390x), the versions of
# the two architectures diverge and apt refuses them. The packages come
# through apt with a state of their own, kept in DIRECTORY/.apt, so the
# host's package database is never touched and no root privileges are
# needed; nothing is configured and no maintainer script runs. A second run
# fetches only what changed and unpacks again.
set -euo pipefail

if (($# < 2)); then
  echo "usage: $0 ARCHITECTURE DIRECTORY [PACKAGE...]" >&2
  exit 2
fi
architecture=$1
root=$(realpath -m "$2")
shift 2
packages=("$@")
if ((${#packages[@]} == 0)); then
  packages=(libpython3.11-dev libstdc++6 libgtest-dev libbenchmark-dev)
fi

# The host's Debian release, from its own archive.
. /etc/os-release
codename=${VERSION_CODENAME:?/etc/os-release names no release}

state=$root/.apt
mkdir -p "$state/lists/partial" "$state/archives/partial"
: > "$state/status"
cat > "$state/sources.list" <<EOF
deb http://deb.debian.org/debian $codename main
deb http://deb.debian.org/debian $codename-updates main
deb http://deb.debian.org/debian-security $codename-security main
EOF
apt_options=(
  -o "APT::Architecture=$architecture" -o "APT::Architectures::=$architecture"
  -o "Dir::State=$state" -o "Dir::State::status=$state/status" -o "Dir::Cache=$state"
  -o "Dir::Etc::SourceList=$state/sources.list" -o "Dir::Etc::SourceParts=/nonexistent"
  -o "Debug::NoLocking=1" -o "APT::Sandbox::User=$(id -un)"
)
apt-get "${apt_options[@]}" -qq update
apt-get "${apt_options[@]}" -qq install --download-only --no-install-recommends -y "${packages[@]}"

# Only the newest version of each package fetched so far is unpacked.
declare -A newest
for deb in "$state"/archives/*.deb; do
  name=$(dpkg-deb -f "$deb" Package)
  if [[ -z ${newest[$name]:-} ]] ||
    dpkg --compare-versions "$(dpkg-deb -f "$deb" Version)" gt "$(dpkg-deb -f "${newest[$name]}" Version)"; then
    newest[$name]=$deb
  fi
done
for deb in "${newest[@]}"; do
  dpkg-deb -x "$deb" "$root"
done
echo "$root: ${#newest[@]} $architecture packages for ${packages[*]}"
