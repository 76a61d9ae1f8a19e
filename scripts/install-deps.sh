#!/bin/sh
# Installs the Debian packages the build, the tests and the demo need. Does
# nothing when they are all present; needs root (or sudo) otherwise.
set -e
PACKAGES="cmake ninja-build g++ make pkg-config libgtest-dev libbenchmark-dev zlib1g-dev
  libjpeg-dev libpng-dev libtiff-dev libtiff-tools libcups2-dev cups cups-filters cups-ppdc
  cups-client ghostscript poppler-utils openprinting-ppds clang libclang-rt-14-dev"
missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
