#!/usr/bin/env bash
# Installs what building and testing Quillet needs on Debian 12 (as root).
# Does nothing when everything is already there.
set -euo pipefail
pkgs=(wine wine32:i386 wine64 g++-mingw-w64-i686 g++-mingw-w64-x86-64 g++ cmake make
      googletest xvfb xauth x11-utils
      imagemagick fonts-wqy-microhei locales python3 python3-pefile openssl curl)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then dpkg --add-architecture i386; fi
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi
need_gen=0
for loc in "zh_CN.UTF-8 UTF-8" "en_US.UTF-8 UTF-8"; do
  if ! grep -qx "$loc" /etc/locale.gen 2>/dev/null; then echo "$loc" >> /etc/locale.gen; need_gen=1; fi
done
if [ $need_gen = 1 ] || ! locale -a 2>/dev/null | grep -qi '^zh_CN.utf8$' || ! locale -a | grep -qi '^en_US.utf8$'; then
  locale-gen >/dev/null
fi
