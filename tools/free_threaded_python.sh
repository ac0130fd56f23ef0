#!/usr/bin/env bash
# Usage: tools/free_threaded_python.sh ROOT PREFIX
#
# Builds CPython 3.13 without the global interpreter lock (configure
# --disable-gil) from Debian's python3.13 source package, in the root ROOT
# of Debian's unstable release (tools/debian_root.sh), and installs it there
# under PREFIX (PREFIX/bin/python3.13t). The compilers and libraries it needs
# are installed in the root, never on the host. Optimised as configure
# leaves it, without profile-guided optimisation (about 9 minutes of
# processor time). An interpreter already installed there is kept.
set -euo pipefail

if (($# != 2)); then
  echo "usage: $0 ROOT PREFIX" >&2
  exit 2
fi
root=$(realpath "$1")
prefix=$2
here=$(dirname "$(realpath "$0")")
if [[ -x $root$prefix/bin/python3.13t ]]; then
  exit 0
fi

# The sources of unstable and of the releases before it: the archive may
# list a version whose files it no longer serves, and an older one is taken.
cat > "$root/etc/apt/sources.list.d/sources.list" <<SOURCES
deb-src http://deb.debian.org/debian sid main
deb-src http://deb.debian.org/debian forky main
deb-src http://deb.debian.org/debian trixie main
SOURCES
chroot "$root" apt-get -qq -o Acquire::Check-Valid-Until=false update
chroot "$root" env DEBIAN_FRONTEND=noninteractive apt-get -qq install -y --no-install-recommends \
  gcc make dpkg-dev pkgconf zlib1g-dev libffi-dev libssl-dev libbz2-dev liblzma-dev libexpat1-dev
jobs=$(nproc)
# tools/in_root.sh mounts /proc, which the build's tests of the platform read.
"$here/in_root.sh" "$root" "$here/.." /bin/bash -c "
  set -euo pipefail
  rm -rf /usr/src/python3.13t && mkdir -p /usr/src/python3.13t && cd /usr/src/python3.13t
  for version in \$(apt-cache showsrc python3.13 | sed -n 's/^Version: //p' | sort -rV); do
    apt-get -qq source python3.13=\$version 2> /dev/null && break
    rm -rf ./*
  done
  cd python3.13-*/
  ./configure --disable-gil --prefix='$prefix' --with-ensurepip=no --with-system-expat > configure.log
  make -j$jobs > make.log 2>&1 || { tail -50 make.log; exit 1; }
  make install > install.log 2>&1 || { tail -50 install.log; exit 1; }
  cd / && rm -rf /usr/src/python3.13t
"
"$root$prefix/bin/python3.13t" --version 2>/dev/null || chroot "$root" "$prefix/bin/python3.13t" --version
