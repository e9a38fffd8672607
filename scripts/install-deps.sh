#!/bin/sh
# Installs the Debian packages the build and the tests need; quick when all are there.
set -e
missing=""
need() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "ok installed" || missing="$missing $1"; }
for p in g++-mingw-w64-i686 cmake ninja-build wine wine64 wine32:i386 xvfb wixl python3-pytest googletest; do
  need "$p"
done
[ -z "$missing" ] && exit 0
echo "installing:$missing"
SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
if ! dpkg --print-foreign-architectures | grep -qx i386; then $SUDO dpkg --add-architecture i386; fi
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
