#!/usr/bin/env bash
# Fuzzes the parsers of outside input: scripts/fuzz.sh [seconds-per-target]
# [target...]. Builds the fuzz targets natively with clang's libFuzzer under
# AddressSanitizer and UndefinedBehaviorSanitizer into ${BUILD_DIR}/fuzz,
# runs each (all when none is named) for the given time (default 60 s),
# QUILLET_FUZZ_JOBS at once (default 1), and prints per target the
# executions, the coverage and the findings. A finding is saved under
# ${BUILD_DIR}/fuzz/findings/<target>/; once fixed, it goes into the
# target's corpus folder, whose replay test keeps it fixed. Exit status 1
# when anything was found.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}/fuzz"
seconds="${1:-60}"
[ $# -gt 0 ] && shift
jobs="${QUILLET_FUZZ_JOBS:-1}"
case "$seconds" in ''|*[!0-9]*) echo "fuzz.sh: seconds must be a whole number, not '$seconds'" >&2; exit 2 ;; esac

command -v clang++ >/dev/null || { echo "fuzz.sh: clang++ is missing (scripts/setup.sh installs it)" >&2; exit 2; }
cmake -S "$root/cmake/native" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=None \
      -DCMAKE_CXX_FLAGS="-O1 -g" -DQUILLET_LIBFUZZER=ON >/dev/null || exit 1

declare -A corpus
while read -r name seeds; do [ -n "$name" ] && corpus[$name]="$seeds"; done < "$build/fuzz-targets.txt"
targets=("$@")
[ ${#targets[@]} -eq 0 ] && mapfile -t targets < <(printf '%s\n' "${!corpus[@]}" | sort)
for t in "${targets[@]}"; do
  [ -n "${corpus[$t]:-}" ] || { echo "fuzz.sh: no fuzz target '$t' (known: ${!corpus[*]})" >&2; exit 2; }
done
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}" >"$build/build.log" 2>&1 || {
  tail -30 "$build/build.log" >&2; echo "fuzz.sh: the build failed" >&2; exit 1; }

run_one() {
  local t="$1" work="$build/work/$t" findings="$build/findings/$t" log="$build/logs/$t.log"
  mkdir -p "$work" "$findings" "$build/logs"
  rm -f "$findings"/*
  # New inputs go to the work folder; the committed seeds are only read.
  "$build/$t" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="$findings/" "$work" "${corpus[$t]}" >"$log" 2>&1
}

started=$SECONDS
running=0
for t in "${targets[@]}"; do
  run_one "$t" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then wait -n; running=$((running - 1)); fi
done
wait

status=0
printf '%-28s %7s %12s %8s %8s  %s\n' target seconds executions cov ft findings
for t in "${targets[@]}"; do
  log="$build/logs/$t.log"
  execs="$(sed -nE 's/^stat::number_of_executed_units: *([0-9]+).*/\1/p' "$log" | tail -1)"
  line="$(grep -E '^#[0-9]+.* cov: [0-9]+' "$log" | tail -1)"
  cov="$(sed -nE 's/.* cov: ([0-9]+).*/\1/p' <<<"$line")"
  ft="$(sed -nE 's/.* ft: ([0-9]+).*/\1/p' <<<"$line")"
  found=$(find "$build/findings/$t" -type f | wc -l)
  note="$found"
  if [ "$found" -gt 0 ]; then
    status=1
    note="$found: $(find "$build/findings/$t" -type f | head -3 | tr '\n' ' ')"
    grep -m3 -E 'ERROR:|property broken|runtime error' "$log" | sed 's/^/    /'
  fi
  printf '%-28s %7s %12s %8s %8s  %s\n' "$t" "$seconds" "${execs:-?}" "${cov:-?}" "${ft:-?}" "$note"
done
echo "fuzz.sh: ${#targets[@]} targets, $seconds s each, $jobs at once, $((SECONDS - started)) s in all"
exit $status
