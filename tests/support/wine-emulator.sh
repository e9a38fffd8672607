#!/bin/sh
# Runs a Windows test program under Wine for CTest, in the unit-test prefix.
: "${WINEPREFIX:?WINEPREFIX must name the unit-test prefix (see run-unit-tests.sh)}"
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY http_proxy https_proxy ftp_proxy
exec wine "$@"
