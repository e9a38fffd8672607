#!/bin/sh
# Runs the chainer on the bundled example: setup.exe beside setup.ini in a throwaway Wine prefix.
set -e
build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
work=$(mktemp -d)
trap 'WINEPREFIX="$work/prefix" wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
"$root/tests/support/wineprefix.sh" clone "$root/$build/wineprefix-template" "$work/prefix"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY http_proxy https_proxy ftp_proxy
app="$WINEPREFIX/drive_c/demo"
mkdir -p "$app"
cp "$root/$build/bin/chainer.exe" "$app/setup.exe"
cp "$here/setup.ini" "$app/setup.ini"
# The shipped Windows Installer package of "Sample Tools" (product 2.5.1), which the run installs.
mkdir -p "$app/packages"
cp "$root/$build/bin/search-product.msi" "$app/packages/sample-tools.msi"
# The machine already has the sample runtime 2.1.4, so only the other prerequisites are missing.
wine reg add 'HKLM\Software\Sample\Runtime' /v Version /d 2.1.4 /f /reg:32 >/dev/null 2>&1
echo "== machine: HKLM\\Software\\Sample\\Runtime Version = 2.1.4 (32-bit view) =="
echo "== configuration (examples/setup.ini, shown as UTF-8) =="
iconv -f UTF-16 -t UTF-8 "$app/setup.ini" | tr -d '\r'
echo
echo "== running C:\\demo\\setup.exe =="
status=0
wine 'C:\demo\setup.exe' || status=$?
echo "exit code: $status"
echo "== installed afterwards: Sample Tools =="
wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\{6C1D3F1A-2B7E-4C59-9A1E-3D5F0B8C4A21}' /v DisplayVersion 2>/dev/null | tr -d '\r' | grep DisplayVersion || echo "not installed"
if [ -f "$app/setup.log" ]; then
  echo "== log (C:\\demo\\setup.log) =="
  iconv -f UTF-16 -t UTF-8 "$app/setup.log" | tr -d '\r'
fi
