#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test under Wine on Xvfb.
# Extra arguments go to ctest (for instance -R Logger).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$root/build}"
"$root/scripts/setup.sh"
"$root/scripts/build.sh"
source "$root/scripts/xvfb.sh"
export TZ="${TZ:-CST-8}"
"$root/scripts/wine-prefix" "$BUILD_DIR/wineprefix"
# Keep one wineserver up for the whole run: every test starts a Wine process,
# and a server that exits between them makes each start take seconds.
# A server left from an earlier run may be tied to a display that is gone.
WINEPREFIX="$BUILD_DIR/wineprefix" wineserver -k 2>/dev/null || true
WINEPREFIX="$BUILD_DIR/wineprefix" wineserver -w 2>/dev/null || true
WINEPREFIX="$BUILD_DIR/wineprefix" wineserver -p
# The prefix's services start with the first Wine process and live as long as
# the server; started from a test they would keep its output pipe open and
# ctest would wait for it until its timeout.
"$BUILD_DIR/wine-run" cmd /c exit </dev/null >/dev/null 2>&1 || true
cd "$BUILD_DIR"
status=0
ctest --output-on-failure --timeout 600 "$@" || status=$?
WINEPREFIX="$BUILD_DIR/wineprefix" wineserver -k 2>/dev/null || true
exit $status
