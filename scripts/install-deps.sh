#!/bin/sh
# Installs the Debian packages the builds need, only when one is missing.
set -e
pkgs="cmake ninja-build gcc g++ gcc-multilib g++-multilib qemu-user googletest libgtest-dev \
libbenchmark-dev libopencv-dev libpng-dev libturbojpeg0-dev pkg-config binutils clang libclang-rt-14-dev"
missing=""
for p in $pkgs; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "installing:$missing"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $missing >/dev/null
