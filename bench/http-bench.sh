#!/usr/bin/env bash
# TauCustomHTTP's download speed against a bare WinINet loop in the same Wine
# process and against native curl, all three over the local test server and
# all three writing into a file under /tmp, so that only the client differs.
#
#   bench/http-bench.sh [i686|x86_64] [--where]
#
# The architecture is chosen as scripts/run.sh does (i686 unless this host
# cannot run i386 code; QUILLET_ARCH or the first argument overrides it).
# --where adds figures on where the component's time goes. Builds only the
# http_bench target.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$root/build}"
case "${1:-}" in
  i686|x86_64) export QUILLET_ARCH="$1"; shift ;;
esac
source "$root/scripts/arch.sh"
arch="${QUILLET_ARCHS%% *}"
[ -n "$QUILLET_ARCH_NOTE" ] && echo "http-bench.sh: $QUILLET_ARCH_NOTE"
size=268435456

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
url="http://127.0.0.1:$port/file/$size"

# A proxy from the environment would put a third program into the path of
# one client and not of the others.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY

curl_once() {
  rm -f "$work/curl.bin"
  curl --noproxy '*' -s -o "$work/curl.bin" -w '%{speed_download}' "$url"
  local got
  got="$(stat -c %s "$work/curl.bin")"
  if [ "$got" != "$size" ]; then
    echo "ERROR: curl wrote $got bytes, not $size" >&2
    exit 1
  fi
}
curl_once >/dev/null
speed="$(curl_once)"
rm -f "$work/curl.bin"
echo "curl $(curl --version | head -1 | cut -d' ' -f2), native, into a file under /tmp (one warm-up run, then one measured): $speed bytes/s"

winout="Z:${work//\//\\}\\wine.bin"
"$tree/wine-run" "$tree/bin/http_bench.exe" "$url" "$size" "$speed" "$winout" "$@"
