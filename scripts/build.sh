#!/usr/bin/env bash
# Configures and builds one architecture's tree: scripts/build.sh [i686|x86_64|native]
# [target...] (default i686, the deliverables; all targets unless some are
# named) into ${BUILD_DIR:-build}/<arch>. The native
# tree holds only the platform-free logic and its tests, under sanitizers.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
arch="${1:-i686}"
shift || true
build="${BUILD_DIR:-$root/build}/$arch"
case "$arch" in
  i686|x86_64)
    cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch-posix.cmake" \
          -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-Release}" >/dev/null ;;
  native)
    cmake -S "$root/cmake/native" -B "$build" -DCMAKE_BUILD_TYPE=Debug >/dev/null ;;
  *) echo "build.sh: unknown architecture '$arch' (i686, x86_64 or native)" >&2; exit 2 ;;
esac
targets=()
[ $# -gt 0 ] && targets=(--target "$@")
cmake --build "$build" -j"$(nproc)" "${targets[@]}"
