#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the platform-free
# logic natively under AddressSanitizer and UndefinedBehaviorSanitizer, then
# the whole suite under Wine on Xvfb for each Windows architecture this host
# can run (i686, the deliverables, and x86_64; QUILLET_ARCH=i686|x86_64|both
# chooses). Between them every fuzz target runs for QUILLET_FUZZ_SECONDS
# (default 10; QUILLET_FUZZ=0 leaves the step out). Extra arguments go to
# every ctest run (for instance -R Logger).
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$root/build}"
"$root/scripts/setup.sh" || exit 1
source "$root/scripts/xvfb.sh"
source "$root/scripts/arch.sh"
export TZ="${TZ:-CST-8}"
[ -n "$QUILLET_ARCH_NOTE" ] && echo "test.sh: $QUILLET_ARCH_NOTE"

summary=()
all_passed=0
all_failed=0
status=0

# Reads ctest's closing line from its log into the summary.
record() {
  local name="$1" log="$2" rc="$3" started="$4" line passed=0 total=0 failed
  line="$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)"
  if [ -n "$line" ]; then
    failed="$(sed -E 's/.* ([0-9]+) tests? failed.*/\1/' <<<"$line")"
    total="$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")"
    passed=$((total - failed))
  else
    failed=$([ "$rc" = 0 ] && echo 0 || echo 1)
  fi
  all_passed=$((all_passed + passed))
  all_failed=$((all_failed + failed))
  local verdict=passed
  [ "$rc" = 0 ] || { verdict=FAILED; status=1; }
  summary+=("$(printf '%-7s %s: %d of %d tests passed in %d s' "$name" "$verdict" "$passed" "$total" $((SECONDS - started)))")
}

run_native() {
  local started=$SECONDS log="$BUILD_DIR/native-ctest.log"
  mkdir -p "$BUILD_DIR"
  echo "== native: platform-free logic under ASan and UBSan"
  if ! "$root/scripts/build.sh" native; then
    summary+=("native  FAILED: the build failed"); status=1; all_failed=$((all_failed + 1)); return
  fi
  local rc=0
  (cd "$BUILD_DIR/native" && ctest --output-on-failure --timeout 300 "$@") 2>&1 | tee "$log" || rc=$?
  record native "$log" $rc $started
}

run_windows() {
  local arch="$1"; shift
  local started=$SECONDS tree="$BUILD_DIR/$arch" log="$BUILD_DIR/$arch-ctest.log"
  local winearch=win32
  [ "$arch" = x86_64 ] && winearch=win64
  echo "== $arch: whole suite under Wine ($winearch)"
  if ! "$root/scripts/build.sh" "$arch"; then
    summary+=("$(printf '%-7s FAILED: the build failed' "$arch")"); status=1; all_failed=$((all_failed + 1)); return
  fi
  if ! quillet_ensure_display; then
    summary+=("$(printf '%-7s FAILED: no X display answers' "$arch")"); status=1; all_failed=$((all_failed + 1)); return
  fi
  (
    export WINEPREFIX="$tree/wineprefix" WINEARCH=$winearch
    "$root/scripts/wine-prefix" "$WINEPREFIX"
    # Keep one wineserver up for the whole run: every test starts a Wine
    # process, and a server that exits between them makes each start take
    # seconds. A server left from an earlier run may be tied to a display
    # that is gone.
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    wineserver -p
    # The prefix's services start with the first Wine process and live as
    # long as the server; started from a test they would keep its output
    # pipe open and ctest would wait for it until its timeout.
    "$tree/wine-run" cmd /c exit </dev/null >/dev/null 2>&1 || true
    rc=0
    cd "$tree" && ctest --output-on-failure --timeout 600 "$@" || rc=$?
    wineserver -k 2>/dev/null || true
    exit $rc
  ) 2>&1 | tee "$log"
  record "$arch" "$log" "${PIPESTATUS[0]}" $started
}

# A short run of every fuzz target after their corpora have been replayed
# in the native suite, so a new crash or broken property fails the run.
run_fuzz() {
  local started=$SECONDS log="$BUILD_DIR/fuzz.log" rc=0 count
  echo "== fuzz: every target for ${QUILLET_FUZZ_SECONDS:-10} s"
  QUILLET_FUZZ_JOBS="${QUILLET_FUZZ_JOBS:-$(nproc)}" "$root/scripts/fuzz.sh" "${QUILLET_FUZZ_SECONDS:-10}" 2>&1 |
    tee "$log" || rc=$?
  count="$(sed -nE 's/^fuzz.sh: ([0-9]+) targets.*/\1/p' "$log")"
  local verdict=passed
  if [ "$rc" != 0 ]; then verdict=FAILED; status=1; all_failed=$((all_failed + 1)); fi
  summary+=("$(printf '%-7s %s: %s targets without a finding in %d s' fuzz "$verdict" "${count:-0}" $((SECONDS - started)))")
}

run_native "$@"
[ "${QUILLET_FUZZ:-1}" = 1 ] && run_fuzz
for arch in $QUILLET_ARCHS; do run_windows "$arch" "$@"; done

echo
echo "== test.sh summary"
[ -n "$QUILLET_ARCH_NOTE" ] && echo "(only x86_64: $QUILLET_ARCH_NOTE)"
for line in "${summary[@]}"; do echo "$line"; done
echo "total: $all_passed passed, $all_failed failed"
exit $status
