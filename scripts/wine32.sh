# Sourced by setup.sh: installs 32-bit Wine (wine32:i386) beside 64-bit Wine
# without ever leaving fewer working Wine loaders than there were.
#
# A mirror whose i386 security index is out of step with its release file
# makes apt see only the main suite's i386 packages, while several amd64
# libraries on the host came from the security suite. A Multi-Arch: same
# library must have the same version on both architectures, so where the
# installed amd64 version is newer than every i386 version apt can see, the
# i386 twin cannot be installed and wine32 does not resolve; apt's way out
# removes the amd64 library and wine64 with it. The fallback asks apt which
# libraries of wine32's dependencies are in that state and names their amd64
# twins at the version the i386 side has, against the main suite, together
# with wine64 and libwine:amd64, in one call.

# The packages of wine32:i386's dependency closure whose installed amd64
# version no i386 version can match, as "name:amd64=version" words.
quillet_wine32_blockers() {
  local closure installed name version best
  closure="$(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
               --no-replaces --no-enhances wine32:i386 2>/dev/null | grep -v '^[ <]' | sed 's/:i386$//' | sort -u)"
  installed="$(dpkg-query -W -f='${Package} ${Architecture} ${Version} ${Multi-Arch} ${db:Status-Status}\n' 2>/dev/null |
               awk '$2 == "amd64" && $4 == "same" && $5 == "installed" { print $1, $3 }' | sort -u)"
  join <(echo "$closure") <(echo "$installed") | while read -r name version; do
    best="$(apt-cache madison "$name:i386" 2>/dev/null | awk -F'|' '{ gsub(/ /, "", $2); print $2 }' | sort -V | tail -1)"
    [ -n "$best" ] || continue
    # Older installed versions are no obstacle: apt raises the amd64 twin to
    # the i386 version on its own.
    if dpkg --compare-versions "$version" gt "$best"; then echo "$name:amd64=$best"; fi
  done
}

# The suite the host's release is: its main archive, without updates or security.
quillet_main_suite() {
  . /etc/os-release 2>/dev/null
  echo "${VERSION_CODENAME:-bookworm}"
}

# Runs "apt-get install ARGS" only when apt's own simulation of it resolves
# and removes nothing; otherwise says why and returns 1.
quillet_apt_install_no_removal() {
  local sim removed
  if ! sim="$(apt-get -s install "$@" 2>&1)"; then
    echo "setup: apt does not resolve 'apt-get install $*'" >&2
    return 1
  fi
  removed="$(awk '/^Remv / { print $2 }' <<<"$sim" | tr '\n' ' ')"
  if [ -n "$removed" ]; then
    echo "setup: 'apt-get install $*' would remove ${removed}- not done" >&2
    return 1
  fi
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$@" >/dev/null
}

# Whether the loader for WINEARCH $1 (win32 or win64) starts a program of its
# architecture, in a throwaway prefix.
quillet_loader_runs() {
  local arch="$1" loader prefix status=0
  [ "$arch" = win64 ] && loader=/usr/lib/wine/wine64 || loader=/usr/lib/wine/wine
  [ -x "$loader" ] || return 1
  prefix="$(mktemp -d "${TMPDIR:-/tmp}/quillet-loader.XXXXXX")"
  WINEPREFIX="$prefix" WINEARCH="$arch" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
    timeout 180 "$loader" cmd.exe /c exit 7 </dev/null >/dev/null 2>&1 || status=$?
  WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
  rm -rf "$prefix"
  [ "$status" = 7 ]
}

# Installs wine32:i386: plainly first, then by the fallback above. Prints
# one line saying what was done; returns 1 when 32-bit Wine is still missing.
quillet_install_wine32() {
  local had64=0 blockers suite
  [ -x /usr/lib/wine/wine64 ] && had64=1
  if quillet_apt_install_no_removal wine32:i386 2>/dev/null; then
    :
  else
    suite="$(quillet_main_suite)"
    mapfile -t blockers < <(quillet_wine32_blockers)
    echo "setup: wine32:i386 does not install as it is; trying the $suite suite with ${blockers[*]:-no library pinned}" >&2
    if ! quillet_apt_install_no_removal -t "$suite" "${blockers[@]}" libwine:amd64 wine64 wine32:i386; then
      echo "setup: 32-bit Wine could not be installed (the i386 package indexes may be out of step with the mirror); the 32-bit suite cannot run on this host until it installs" >&2
      return 1
    fi
  fi
  local ok32=no ok64=no
  quillet_loader_runs win32 && ok32=yes
  quillet_loader_runs win64 && ok64=yes
  if [ $had64 = 1 ] && [ $ok64 = no ]; then
    echo "setup: after installing wine32 the 64-bit loader no longer runs a program; reinstalling wine64" >&2
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --reinstall libwine:amd64 wine64 >/dev/null
    quillet_loader_runs win64 && ok64=yes
  fi
  echo "setup: installed wine32:i386${blockers:+ against the $suite suite, pinning ${blockers[*]}}; 32-bit loader runs a program: $ok32, 64-bit: $ok64"
  [ $ok32 = yes ]
}
