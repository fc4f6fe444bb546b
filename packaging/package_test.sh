#!/usr/bin/env bash
# Runs scripts/package.sh for this tree's architecture into DIST and checks
# that it wrote its three packages, named by the version the build carries,
# with the files each must hold. Arguments: build root, architecture, DIST.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build_root="$1" arch="$2" dist="$3"
rm -rf "$dist"
BUILD_DIR="$build_root" bash "$root/scripts/package.sh" --arch "$arch" --out "$dist" </dev/null ||
  { echo "FAILED: package.sh ended with status $?"; exit 1; }
version="$(sed -n 's/^version=//p' "$build_root/$arch/package/files.env")"
[ "$arch" = i686 ] && setup="quillet-$version-setup.exe" app="quillet-$version-win32.zip" ||
  setup="quillet-$version-setup-x64.exe" app="quillet-$version-win64.zip"
sdk="rowgate-$version-sdk.zip"
status=0
for f in "$setup" "$app" "$sdk"; do
  [ -s "$dist/$f" ] || { echo "FAILED: $dist/$f is missing"; status=1; }
done
[ $status = 0 ] || exit 1
# The portable zip and the SDK hold exactly these files.
/usr/bin/python3 - "$dist/$app" "$dist/$sdk" "$version" "$dist/$setup" "$arch" <<'PY' || exit 1
import sys, zipfile, pefile
app, sdk, version, setup, arch = sys.argv[1:]
want_app = {f"quillet-{version}/{n}" for n in ("quillet.exe", "YRWXls.ocx", "CellWeb5.ocx")}
top = f"rowgate-{version}-sdk/"
want_sdk = {top + n for n in ("README.md", "include/rowgate.h", "lib/rowgate.def", "sample/sample.c",
                              "bin/x86/rowgate.dll", "bin/x64/rowgate.dll",
                              "lib/x86/librowgate.a", "lib/x86/rowgate.lib",
                              "lib/x64/librowgate.a", "lib/x64/rowgate.lib")}
ok = True
for path, want in ((app, want_app), (sdk, want_sdk)):
    have = set(zipfile.ZipFile(path).namelist())
    if have != want:
        print(f"FAILED: {path}: missing {sorted(want - have)}, unexpected {sorted(have - want)}")
        ok = False
# Each program carries the version it is named by; the DLLs are of the
# architecture their folder says.
z = zipfile.ZipFile(app)
exe = pefile.PE(data=z.read(f"quillet-{version}/quillet.exe"))
fixed = exe.VS_FIXEDFILEINFO[0]
got = f"{fixed.FileVersionMS >> 16}.{fixed.FileVersionMS & 0xffff}.{fixed.FileVersionLS >> 16}.{fixed.FileVersionLS & 0xffff}"
if got != version:
    print(f"FAILED: quillet.exe carries version {got}, the packages are named {version}"); ok = False
machine = {"i686": 0x14c, "x86_64": 0x8664}[arch]
if exe.FILE_HEADER.Machine != machine:
    print(f"FAILED: quillet.exe is for machine {exe.FILE_HEADER.Machine:#x}"); ok = False
s = zipfile.ZipFile(sdk)
for folder, m in (("x86", 0x14c), ("x64", 0x8664)):
    dll = pefile.PE(data=s.read(f"{top}bin/{folder}/rowgate.dll"))
    names = sorted((e.ordinal, e.name.decode()) for e in dll.DIRECTORY_ENTRY_EXPORT.symbols)
    if dll.FILE_HEADER.Machine != m or len(names) != 30:
        print(f"FAILED: bin/{folder}/rowgate.dll: machine {dll.FILE_HEADER.Machine:#x}, {len(names)} exports"); ok = False
inst = pefile.PE(setup)
strings = {k.decode(): v.decode() for fi in inst.FileInfo[0] if fi.Key == b"StringFileInfo"
           for t in fi.StringTable for k, v in t.entries.items()}
if strings.get("ProductVersion") != version:
    print(f"FAILED: the installer says version {strings.get('ProductVersion')}"); ok = False
sys.exit(0 if ok else 1)
PY
echo "package.sh wrote $setup, $app and $sdk"
