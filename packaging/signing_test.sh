#!/usr/bin/env bash
# Makes a throwaway self-signed code-signing certificate, runs package.sh
# with it and checks with osslsigncode that every program and library in the
# packages, the installer and the uninstaller the installer carries are
# signed by it (the uninstaller an installation leaves under Wine too), and
# that a file changed after signing is rejected; without a
# certificate nothing is signed. Arguments: build root, architecture.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build_root="$1" arch="$2"
work="$(mktemp -d "${TMPDIR:-/tmp}/quillet-sign-test.XXXXXX")"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*"; exit 1; }

openssl req -x509 -newkey rsa:2048 -sha256 -days 2 -nodes -subj "/CN=Quillet test signer" \
  -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" \
  -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null || fail "openssl could not make a certificate"
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -passout pass:s3cret \
  -out "$work/signer.pfx" 2>/dev/null || fail "openssl could not make the PKCS#12 file"

QUILLET_SIGN_PFX="$work/signer.pfx" QUILLET_SIGN_PASSWORD=s3cret BUILD_DIR="$build_root" \
  bash "$root/scripts/package.sh" --arch "$arch" --out "$work/dist" >"$work/package.log" 2>&1 </dev/null ||
  { cat "$work/package.log"; fail "package.sh with a certificate failed"; }
grep -q "signing with" "$work/package.log" || fail "package.sh did not say it signs"

verify() { osslsigncode verify -CAfile "$work/cert.pem" -in "$1" >"$work/verify.log" 2>&1; }
mkdir -p "$work/files"
for z in "$work/dist"/*.zip; do python3 -m zipfile -e "$z" "$work/files"; done
mapfile -t files < <(find "$work/files" -iname '*.exe' -o -iname '*.dll' -o -iname '*.ocx' | sort)
files+=("$work/dist"/quillet-*-setup*.exe)
[ ${#files[@]} -ge 6 ] || fail "only ${#files[@]} programs and libraries in the packages"
for f in "${files[@]}"; do
  verify "$f" || { cat "$work/verify.log"; fail "$(basename "$f") does not verify"; }
  grep -q "Quillet test signer" "$work/verify.log" || fail "$(basename "$f") is not signed by the test signer"
done
echo "every one of ${#files[@]} files verifies"

# The uninstaller is written by the installer as it runs; it was signed when
# makensis made it, so the one an installation leaves must verify too.
tree="$build_root/$arch"
target='C:\quillet-sign-test'
"$tree/wine-run" "$(ls "$work/dist"/quillet-*-setup*.exe)" /S "/D=$target" </dev/null >/dev/null 2>&1 ||
  fail "the signed installer did not install"
uninstaller="$tree/wineprefix/drive_c/quillet-sign-test/uninstall.exe"
verify "$uninstaller" || { cat "$work/verify.log"; fail "the installed uninstall.exe does not verify"; }
"$tree/wine-run" "$target\\uninstall.exe" /S </dev/null >/dev/null 2>&1
for _ in $(seq 300); do [ -e "$uninstaller" ] || break; sleep 0.2; done
[ -e "$uninstaller" ] && fail "the signed uninstaller did not remove itself"
echo "the uninstaller an installation leaves verifies too"

# A signed file changed afterwards: one byte inside the code.
tampered="$work/tampered.exe"
cp "$work/files"/quillet-*/quillet.exe "$tampered"
printf '\x90' | dd of="$tampered" bs=1 seek=2048 conv=notrunc status=none
if verify "$tampered"; then fail "a quillet.exe changed after signing still verifies"; fi
grep -qi "mismatch\|failed" "$work/verify.log" || { cat "$work/verify.log"; fail "osslsigncode rejected the changed file for another reason"; }

# Without a certificate the same run signs nothing and says so.
env -u QUILLET_SIGN_PFX BUILD_DIR="$build_root" bash "$root/scripts/package.sh" --arch "$arch" \
  --out "$work/plain" >"$work/plain.log" 2>&1 </dev/null || { cat "$work/plain.log"; fail "package.sh without a certificate failed"; }
grep -q "nothing is signed" "$work/plain.log" || fail "package.sh without a certificate did not say that nothing is signed"
if osslsigncode verify -in "$work/plain"/quillet-*-setup*.exe >/dev/null 2>&1; then fail "the installer is signed without a certificate"; fi
echo "signed packages verify, a changed file is rejected, and without a certificate nothing is signed"
