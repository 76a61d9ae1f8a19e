#!/bin/sh
# Installs the Debian packages the build, the tests, the demo and the bench need
# (lprint is the peer the printer application is measured against). Does
# nothing when they are all present; needs root (or sudo) otherwise.
set -e
PACKAGES="cmake ninja-build g++ make pkg-config libgtest-dev libbenchmark-dev zlib1g-dev
  libjpeg-dev libpng-dev libtiff-dev libtiff-tools libcups2-dev libpappl-dev cups-ipp-utils lprint cups cups-filters cups-ppdc
  cups-client ghostscript poppler-utils openprinting-ppds clang libclang-rt-14-dev"
missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "Installing:$missing"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
fi

# An independent ZPL renderer for the end-to-end tests, where Node.js is present.
# Best effort: without it those tests are skipped.
cd "$(dirname "$0")/.."
if command -v npm >/dev/null 2>&1 && [ ! -d .deps/node_modules/zpl-renderer-js ]; then
  npm install --silent --no-audit --no-fund --prefix .deps zpl-renderer-js@3.4.0 >/dev/null 2>&1 ||
    echo "zpl-renderer-js could not be installed; its tests will be skipped"
fi
