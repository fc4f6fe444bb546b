#!/usr/bin/env bash
# Builds the release and writes the packages to dist/:
#   quillet-<version>-setup.exe   the installer (NSIS; administrator rights,
#                                 Program Files, Start menu, uninstaller)
#   quillet-<version>-win32.zip   the same files for a portable run
#   rowgate-<version>-sdk.zip     rowgate.dll for x86 and x64, rowgate.h,
#                                 import libraries for mingw and the Microsoft
#                                 toolchain, a C sample and its README
# The version is the one the programs' version blocks carry. With
# QUILLET_SIGN_PFX (and QUILLET_SIGN_PASSWORD, optionally
# QUILLET_SIGN_TIMESTAMP) every program, library and the installer are signed.
#
#   scripts/package.sh [--arch i686|x86_64] [--out DIR]
#
# --arch x86_64 packs the 64-bit build instead (quillet-<version>-setup-x64.exe,
# -win64.zip): not a deliverable, but the same installer for hosts whose Wine
# runs 64-bit programs only.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$root/build}"
arch=i686
out="$root/dist"
while [ $# -gt 0 ]; do
  case "$1" in
    --arch) arch="${2:?}"; shift 2 ;;
    --out) out="${2:?}"; shift 2 ;;
    *) echo "usage: scripts/package.sh [--arch i686|x86_64] [--out DIR]" >&2; exit 2 ;;
  esac
done
case "$arch" in
  i686) other=x86_64 nsis_arch=x86 suffix="" zip_arch=win32 ;;
  x86_64) other=i686 nsis_arch=x64 suffix="-x64" zip_arch=win64 ;;
  *) echo "package.sh: --arch must be i686 or x86_64, not '$arch'" >&2; exit 2 ;;
esac

"$root/scripts/setup.sh"
work="$(mktemp -d "${TMPDIR:-/tmp}/quillet-package.XXXXXX")"
trap 'rm -rf "$work"' EXIT

build() {
  local tree="$1"; shift
  if ! "$root/scripts/build.sh" "$tree" "$@" >"$work/build-$tree.log" 2>&1; then
    tail -30 "$work/build-$tree.log" >&2
    echo "package.sh: building $* for $tree failed" >&2
    exit 1
  fi
}
echo "package.sh: building the $arch release and the $other rowgate.dll"
build "$arch" quillet YRWXls CellWeb5 rowgate
build "$other" rowgate

# Where each tree left its files, and the version, as its build wrote them.
files_of() { sed -n "s/^$2=//p" "$BUILD_DIR/$1/package/files.env"; }
version="$(files_of "$arch" version)"
[ "$(files_of "$other" version)" = "$version" ] ||
  { echo "package.sh: the $arch and $other trees were configured with other versions" >&2; exit 1; }

strip_to() { "$1-w64-mingw32-strip" -o "$3" "$2"; }

app="$work/quillet-$version"
mkdir -p "$app"
strip_to "$arch" "$(files_of "$arch" quillet)" "$app/quillet.exe"
strip_to "$arch" "$(files_of "$arch" yrwxls)" "$app/YRWXls.ocx"
strip_to "$arch" "$(files_of "$arch" cellweb5)" "$app/CellWeb5.ocx"

sdk="$work/rowgate-$version-sdk"
mkdir -p "$sdk/include" "$sdk/sample" "$sdk/bin/x86" "$sdk/bin/x64" "$sdk/lib/x86" "$sdk/lib/x64"
cp "$root/rowgate/rowgate.h" "$sdk/include/"
cp "$root/rowgate/rowgate.def" "$sdk/lib/"
cp "$root/packaging/sdk/sample.c" "$sdk/sample/"
cp "$root/packaging/sdk/README.md" "$sdk/"
for t in i686 x86_64; do
  [ $t = i686 ] && dir=x86 machine=i386 || dir=x64 machine=i386:x86-64
  strip_to $t "$(files_of $t rowgate)" "$sdk/bin/$dir/rowgate.dll"
  # One import library from the export list, by name and ordinal, for both
  # toolchains: mingw's linker and Microsoft's link.exe both read it.
  # Run in the library's folder: dlltool names the members after the path.
  (cd "$sdk/lib/$dir" && "$t-w64-mingw32-dlltool" -m "$machine" -d "$root/rowgate/rowgate.def" -D rowgate.dll -l rowgate.lib)
  cp "$sdk/lib/$dir/rowgate.lib" "$sdk/lib/$dir/librowgate.a"
done

if [ -n "${QUILLET_SIGN_PFX:-}" ]; then
  echo "package.sh: signing with $QUILLET_SIGN_PFX${QUILLET_SIGN_TIMESTAMP:+, time-stamped by $QUILLET_SIGN_TIMESTAMP}"
  "$root/scripts/sign.sh" "$app/quillet.exe" "$app/YRWXls.ocx" "$app/CellWeb5.ocx" \
                          "$sdk/bin/x86/rowgate.dll" "$sdk/bin/x64/rowgate.dll"
  sign_define=(-DSIGN="bash $root/scripts/sign.sh")
else
  echo "package.sh: QUILLET_SIGN_PFX is not set, so nothing is signed"
  sign_define=()
fi

mkdir -p "$out"
setup="$out/quillet-$version-setup$suffix.exe"
if ! makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DARCH="$nsis_arch" -DSTAGE="$app" \
       -DOUTFILE="$setup" "${sign_define[@]}" "$root/packaging/quillet.nsi" >"$work/makensis.log" 2>&1; then
  cat "$work/makensis.log" >&2
  echo "package.sh: makensis failed" >&2
  exit 1
fi
[ -n "${QUILLET_SIGN_PFX:-}" ] && "$root/scripts/sign.sh" "$setup"

# Zips with their entries in a fixed order under one top folder.
zip_dir() {
  python3 - "$1" "$2" <<'PY'
import os, sys, zipfile
target, folder = sys.argv[1], sys.argv[2]
base = os.path.dirname(folder)
with zipfile.ZipFile(target + ".part", "w", zipfile.ZIP_DEFLATED) as z:
    for top, dirs, files in os.walk(folder):
        dirs.sort()
        for name in sorted(files):
            path = os.path.join(top, name)
            z.write(path, os.path.relpath(path, base))
os.replace(target + ".part", target)
PY
}
zip_dir "$out/quillet-$version-$zip_arch.zip" "$app"
zip_dir "$out/rowgate-$version-sdk.zip" "$sdk"

echo "package.sh: version $version written to $out:"
for f in "$setup" "$out/quillet-$version-$zip_arch.zip" "$out/rowgate-$version-sdk.zip"; do
  printf '  %-40s %8d bytes\n' "$(basename "$f")" "$(stat -c %s "$f")"
done
