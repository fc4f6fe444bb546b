#!/usr/bin/env bash
# Installs what is missing, builds and starts quillet.exe under Wine. With a
# display it opens there; without one it runs on a private Xvfb, waits for the
# main window and leaves a screenshot in build/quillet-screenshot.png.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$root/build}"
"$root/scripts/setup.sh"
"$root/scripts/build.sh"
headless=0
if [ -z "${DISPLAY:-}" ]; then headless=1; fi
source "$root/scripts/xvfb.sh"
if [ $headless = 0 ]; then exec "$BUILD_DIR/wine-run" "$BUILD_DIR/bin/quillet.exe"; fi
"$BUILD_DIR/wine-run" "$BUILD_DIR/bin/quillet.exe" &
pid=$!
sleep "${QUILLET_SHOT_DELAY:-8}"
import -window root "$BUILD_DIR/quillet-screenshot.png"
echo "screenshot: $BUILD_DIR/quillet-screenshot.png"
WINEPREFIX="$BUILD_DIR/wineprefix" wineserver -k 2>/dev/null || true
wait $pid 2>/dev/null || true
