#!/usr/bin/env bash
# Installs what is missing, builds and starts quillet.exe under Wine. With a
# display it opens there. Without one it runs on a private Xvfb: it waits for
# the main window, leaves a screenshot in build/quillet-screenshot.png, closes
# the program as a user would and returns. Runs the 32-bit deliverable, or the
# 64-bit build where this host cannot run i386 code (QUILLET_ARCH=i686|x86_64
# chooses). QUILLET_WINEPREFIX runs it in another prefix, QUILLET_SCREENSHOT
# names another picture file, and QUILLET_SHOW_LIMIT (seconds, default 180)
# bounds the wait for the window.
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

shot="${QUILLET_SCREENSHOT:-$BUILD_DIR/quillet-screenshot.png}"
limit="${QUILLET_SHOW_LIMIT:-180}"
export WINEPREFIX="${QUILLET_WINEPREFIX:-$tree/wineprefix}"
[ "$arch" = x86_64 ] && export WINEARCH=win64 || export WINEARCH=win32
rm -f "$shot"
# A first start in a new prefix makes the prefix while the program waits;
# making it first keeps that time out of the program's start.
echo "run.sh: preparing the Wine prefix $WINEPREFIX"
"$root/scripts/wine-prefix" "$WINEPREFIX"
"$tree/wine-run" "$tree/bin/quillet.exe" </dev/null &
pid=$!
stop_all() { wineserver -k 2>/dev/null || true; wait $pid 2>/dev/null || true; }
if ! "$tree/wine-run" "$tree/bin/uiwait.exe" show Quillet "$limit"; then
  echo "run.sh: quillet.exe's main window did not show within $limit s; nothing to take a picture of" >&2
  stop_all
  exit 1
fi
sleep 2  # the window paints its list and status bar after it shows
import -window root "$shot"
colours="$(convert "$shot" -format %k info: 2>/dev/null || echo 0)"
echo "run.sh: screenshot ($arch build, $colours colours): $shot"
closed=0
"$tree/wine-run" "$tree/bin/uiwait.exe" close Quillet 30 || closed=1
if [ $closed = 0 ]; then
  for _ in $(seq 100); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
fi
if kill -0 $pid 2>/dev/null; then
  echo "run.sh: quillet.exe did not end after its window was closed; ending its Wine server" >&2
  stop_all
  exit 1
fi
wait $pid || { rc=$?; echo "run.sh: quillet.exe ended with status $rc" >&2; exit $rc; }
wineserver -k 2>/dev/null || true
[ "$colours" -gt 1 ] || { echo "run.sh: the screenshot is a single colour: the window was not drawn" >&2; exit 1; }
