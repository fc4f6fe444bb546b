#!/usr/bin/env bash
# Runs scripts/run.sh as a new user would, without a display and in a Wine
# prefix that does not exist yet, and checks that it comes back by itself
# within its limit, having closed the program, and that its screenshot shows
# the main window rather than one colour (a desktop still booting is black,
# an empty one is a single blue). Arguments: the build root and the tree's
# architecture (i686 or x86_64).
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build_root="$1" arch="$2"
work="$(mktemp -d "${TMPDIR:-/tmp}/quillet-run-test.XXXXXX")"
trap 'WINEPREFIX="$work/prefix" wineserver -k 2>/dev/null; rm -rf "$work"' EXIT
limit=420
started=$SECONDS
rc=0
env -u DISPLAY BUILD_DIR="$build_root" QUILLET_ARCH="$arch" QUILLET_WINEPREFIX="$work/prefix" \
    QUILLET_SCREENSHOT="$work/shot.png" timeout -k 10 $limit bash "$root/scripts/run.sh" \
    >"$work/out.log" 2>&1 </dev/null || rc=$?
took=$((SECONDS - started))
fail() { echo "FAILED: $*"; echo "--- run.sh said:"; grep -v '^\[ *[0-9]*%\]' "$work/out.log" | tail -40; exit 1; }
[ $rc = 124 ] || [ $rc = 137 ] && fail "run.sh did not return within $limit s"
[ $rc = 0 ] || fail "run.sh ended with status $rc after $took s"
[ -s "$work/shot.png" ] || fail "run.sh left no screenshot"
colours="$(convert "$work/shot.png" -format %k info:)"
[ "$colours" -ge 16 ] || fail "the screenshot has $colours colours: no window was drawn on it"
grep -q 'is showing' "$work/out.log" || fail "run.sh did not wait for the main window"
grep -q 'closed and its program ended' "$work/out.log" || fail "run.sh did not close the program"
echo "run.sh returned in $took s; its screenshot has $colours colours"
