#!/usr/bin/env bash
# Installs what is missing, builds and starts quillet.exe under Wine. With a
# display it opens there; without one it runs on a private Xvfb, waits for the
# main window and leaves a screenshot in build/quillet-screenshot.png. Runs
# the 32-bit deliverable, or the 64-bit build where this host cannot run
# i386 code (QUILLET_ARCH=i686|x86_64 chooses).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$root/build}"
"$root/scripts/setup.sh"
source "$root/scripts/arch.sh"
arch="${QUILLET_ARCHS%% *}"
[ "${QUILLET_ARCH:-}" = both ] && arch=i686
[ -n "$QUILLET_ARCH_NOTE" ] && echo "run.sh: $QUILLET_ARCH_NOTE"
"$root/scripts/build.sh" "$arch"
tree="$BUILD_DIR/$arch"
source "$root/scripts/xvfb.sh"
headless=0
quillet_display_answers || headless=1
quillet_ensure_display
if [ $headless = 0 ]; then exec "$tree/wine-run" "$tree/bin/quillet.exe"; fi
"$tree/wine-run" "$tree/bin/quillet.exe" &
pid=$!
sleep "${QUILLET_SHOT_DELAY:-8}"
import -window root "$BUILD_DIR/quillet-screenshot.png"
echo "screenshot ($arch build): $BUILD_DIR/quillet-screenshot.png"
WINEPREFIX="$tree/wineprefix" wineserver -k 2>/dev/null || true
wait $pid 2>/dev/null || true
