#!/bin/sh
# Runs the unit tests through CTest in a fresh clone of the golden prefix, with one wineserver kept
# alive for the whole run.
set -e
build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
prefix=$(cd "$build" && pwd)/wineprefix-unit
rm -rf "$prefix"
"$here/wineprefix.sh" clone "$build/wineprefix-template" "$prefix"
export WINEPREFIX="$prefix" WINEDEBUG=-all
wineserver -p
# Start the prefix's services now, away from CTest's pipes: a service that inherited them would keep
# CTest waiting for the end of a test's output long after the test ended.
wine cmd /c exit </dev/null >/dev/null 2>&1 || true
status=0
ctest --test-dir "$build" --output-on-failure || status=$?
wineserver -k || true
exit $status
