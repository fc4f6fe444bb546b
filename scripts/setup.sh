#!/usr/bin/env bash
# Installs what building and testing Quillet needs on Debian 12 (as root).
# Does nothing when everything is already there.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
pkgs=(wine wine64 g++-mingw-w64-i686 g++-mingw-w64-x86-64 g++ cmake make
      googletest xvfb xauth x11-utils
      imagemagick fonts-wqy-microhei locales python3 python3-pefile openssl curl
      nsis osslsigncode clang libfuzzer-14-dev)
# 32-bit Wine only where the kernel runs i386 code at all.
source "$root/scripts/arch.sh"
source "$root/scripts/wine32.sh"
i386_pkgs=()
quillet_can_run_i386 && i386_pkgs=(wine32:i386)

missing_of() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}

# A mirror in the middle of a sync serves some indexes that do not match
# their release file; apt then fails the update although most indexes are
# fine. Tried a few times; what the install needs decides in the end.
apt_update() {
  local try
  for try in 1 2 3; do
    apt-get update -qq && return 0
    echo "setup: apt-get update failed (attempt $try of 3)" >&2
    [ $try -lt 3 ] && sleep 20
  done
  echo "setup: going on with the package indexes apt has" >&2
}

mapfile -t missing < <(missing_of "${pkgs[@]}")
mapfile -t missing_i386 < <(missing_of "${i386_pkgs[@]}")
if [ ${#missing[@]} -gt 0 ] || [ ${#missing_i386[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]} ${missing_i386[*]}"
  if [ ${#i386_pkgs[@]} -gt 0 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt_update
  if [ ${#missing[@]} -gt 0 ]; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null || {
      echo "setup: installing ${missing[*]} failed" >&2; exit 1; }
  fi
  # Without 32-bit Wine only the x86_64 suite can run here; arch.sh says so.
  [ ${#missing_i386[@]} -gt 0 ] && quillet_install_wine32
fi

need_gen=0
for loc in "zh_CN.UTF-8 UTF-8" "en_US.UTF-8 UTF-8"; do
  if ! grep -qx "$loc" /etc/locale.gen 2>/dev/null; then echo "$loc" >> /etc/locale.gen; need_gen=1; fi
done
if [ $need_gen = 1 ] || ! locale -a 2>/dev/null | grep -qi '^zh_CN.utf8$' || ! locale -a | grep -qi '^en_US.utf8$'; then
  locale-gen >/dev/null || { echo "setup: locale-gen failed" >&2; exit 1; }
fi
exit 0
