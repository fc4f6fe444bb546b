#!/usr/bin/env bash
# TauCustomHTTP's download speed against a bare WinINet loop in the same Wine
# process and against native curl, all three over the local test server and
# all three writing into a file under /tmp, so that only the client differs.
#
#   bench/http-bench.sh [i686|x86_64] [--where] [--rounds N]
#
# The architecture is chosen as scripts/run.sh does (i686 unless this host
# cannot run i386 code; QUILLET_ARCH or the first argument overrides it).
# --where adds figures on where the component's time goes. Builds only the
# http_bench target.
#
# Every client runs once per round, for HTTP_BENCH_ROUNDS rounds (default 7,
# at least 5; --rounds overrides), at each buffer size, and each figure is
# the median and spread of the per-round figures. Each transfer moves
# HTTP_BENCH_BYTES_4096 (default 16 MiB) at the 4096-byte buffer and
# HTTP_BENCH_BYTES_65536 (default 128 MiB) at the 65536-byte one: at 4096
# bytes the component hands over sixteen times as many chunks, each far
# dearer under Wine than a read, and with 256 MiB at both sizes seven rounds
# took far longer than three minutes on two loaded cores.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$root/build}"
case "${1:-}" in
  i686|x86_64) export QUILLET_ARCH="$1"; shift ;;
esac
rounds="${HTTP_BENCH_ROUNDS:-7}"
passed=()
while [ $# -gt 0 ]; do
  case "$1" in
    --rounds) rounds="${2:?--rounds needs a number}"; shift 2 ;;
    --rounds=*) rounds="${1#--rounds=}"; shift ;;
    *) passed+=("$1"); shift ;;
  esac
done
bytes_small="${HTTP_BENCH_BYTES_4096:-16777216}"
bytes_large="${HTTP_BENCH_BYTES_65536:-134217728}"
source "$root/scripts/arch.sh"
arch="${QUILLET_ARCHS%% *}"
[ -n "$QUILLET_ARCH_NOTE" ] && echo "http-bench.sh: $QUILLET_ARCH_NOTE"

tree="$BUILD_DIR/$arch"
if [ ! -f "$tree/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$tree" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch-posix.cmake" \
        -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-Release}" >/dev/null
fi
cmake --build "$tree" --target http_bench >/dev/null

# The component makes a window; Wine needs a display for it.
source "$root/scripts/xvfb.sh"
quillet_ensure_display

work="$(mktemp -d /tmp/quillet-http-bench.XXXXXX)"
server="$root/net/testing/http_server.py"
cleanup() {
  python3 "$server" stop --dir "$work/server" >/dev/null 2>&1 || true
  rm -rf "$work"
  # Wine's own processes hold the display; they go before it does.
  WINEPREFIX="$tree/wineprefix" wineserver -k 2>/dev/null || true
  [ -n "${QUILLET_XVFB_PID:-}" ] && kill "$QUILLET_XVFB_PID" 2>/dev/null || true
}
trap cleanup EXIT
python3 "$server" start --dir "$work/server" >/dev/null
port="$(sed -n 's/^http=//p' "$work/server/server.env")"
prefix="http://127.0.0.1:$port/file/"

# A proxy from the environment would put a third program into the path of
# one client and not of the others.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY

# One curl download of $1 bytes into a file; prints curl's bytes per second,
# or a line that does not start with a number when the body came short.
curl_once() {
  rm -f "$work/curl.bin"
  local speed got
  speed="$(curl --noproxy '*' -s -o "$work/curl.bin" -w '%{speed_download}' "$prefix$1")" || true
  got="$(stat -c %s "$work/curl.bin" 2>/dev/null || echo 0)"
  rm -f "$work/curl.bin"
  if [ "$got" != "$1" ]; then
    echo "curl wrote $got bytes, not $1"
  else
    echo "$speed"
  fi
}
curl_once "$bytes_large" >/dev/null
# Other work on the machine moves every figure, the component's more than
# the others' since it switches threads per chunk; the load says how much
# there was.
echo "load average (1, 5, 15 min) before: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "curl $(curl --version | head -1 | cut -d' ' -f2), native, into a file under /tmp, one warm-up run, then one run per round taken when the benchmark asks"

# The benchmark asks for each curl run on its standard output ("curl? BYTES")
# and reads the figure from its standard input; everything else it prints
# is passed on.
mkfifo "$work/ask" "$work/answer"
winout="Z:${work//\//\\}\\wine.bin"
"$tree/wine-run" "$tree/bin/http_bench.exe" "$prefix" "$winout" "$rounds" "$bytes_small" "$bytes_large" \
  --curl "${passed[@]}" <"$work/answer" >"$work/ask" 2>&1 &
bench=$!
# In this order, or each side waits on the FIFO the other has yet to open.
exec {answer}>"$work/answer" {ask}<"$work/ask"
# Wine's own processes may hold the pipe open past the benchmark's end, so
# an end of file need not come: a read that times out checks whether the
# benchmark is still there. Such a read keeps what part of a line it got.
pending=""
while :; do
  if IFS= read -r -t 5 line <&"$ask"; then
    # Wine's C runtime ends its text-mode lines with CR LF.
    line="${pending}${line%$'\r'}"
    pending=""
    case "$line" in
      "curl? "*) curl_once "${line#curl? }" >&"$answer" ;;
      *) printf '%s\n' "$line" ;;
    esac
  elif [ $? -gt 128 ]; then
    pending+="$line"
    kill -0 "$bench" 2>/dev/null && continue
    while IFS= read -r -t 1 line <&"$ask"; do printf '%s\n' "$pending$line"; pending=""; done
    break
  else
    break
  fi
done
[ -n "$pending$line" ] && printf '%s\n' "$pending$line"
status=0
wait "$bench" || status=$?
echo "load average (1, 5, 15 min) after: $(cut -d' ' -f1-3 /proc/loadavg)"
exec {answer}>&- {ask}<&-
exit "$status"
