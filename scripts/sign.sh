#!/usr/bin/env bash
# Signs Windows programs and libraries in place with osslsigncode (SHA-256):
# scripts/sign.sh FILE... with QUILLET_SIGN_PFX naming a PKCS#12 certificate,
# QUILLET_SIGN_PASSWORD its password and, optionally, QUILLET_SIGN_TIMESTAMP
# an RFC 3161 time-stamp server. Also the installer's uninstaller signer.
set -euo pipefail
: "${QUILLET_SIGN_PFX:?QUILLET_SIGN_PFX must name the signing certificate}"
[ -r "$QUILLET_SIGN_PFX" ] || { echo "sign.sh: cannot read the certificate $QUILLET_SIGN_PFX" >&2; exit 1; }
for f in "$@"; do
  ts=()
  [ -n "${QUILLET_SIGN_TIMESTAMP:-}" ] && ts=(-ts "$QUILLET_SIGN_TIMESTAMP")
  # The password goes through a pipe, not the command line others can read.
  osslsigncode sign -pkcs12 "$QUILLET_SIGN_PFX" -readpass <(printf '%s' "${QUILLET_SIGN_PASSWORD:-}") \
      -h sha256 -n "Quillet" "${ts[@]}" -in "$f" -out "$f.signed" >/dev/null ||
    { rm -f "$f.signed"; echo "sign.sh: signing $f failed" >&2; exit 1; }
  mv -f "$f.signed" "$f"
done
