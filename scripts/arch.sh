# Sourced: sets QUILLET_ARCHS to the Windows architectures this host can test
# and QUILLET_ARCH_NOTE to why, when it had to leave one out. QUILLET_ARCH
# (i686, x86_64 or both) overrides the choice.

# Whether the kernel runs i386 code at all. Some hosts run 64-bit user code
# only; there execve of any i386 program fails with "Exec format error", so
# the 32-bit Wine loader cannot start. A 93-byte static i386 program that
# only exits tells without needing a 32-bit compiler or Wine.
quillet_can_run_i386() {
  local probe status=0
  probe="$(mktemp "${TMPDIR:-/tmp}/quillet-i386-probe.XXXXXX")"
  printf '%b' '\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80' >"$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null || status=$?
  rm -f "$probe"
  return $status
}

QUILLET_ARCH_NOTE=""
case "${QUILLET_ARCH:-}" in
  i686) QUILLET_ARCHS="i686" ;;
  x86_64) QUILLET_ARCHS="x86_64" ;;
  both) QUILLET_ARCHS="i686 x86_64" ;;
  "")
    if quillet_can_run_i386 && [ -x /usr/lib/wine/wine ]; then
      QUILLET_ARCHS="i686 x86_64"
    elif quillet_can_run_i386; then
      QUILLET_ARCHS="x86_64"
      QUILLET_ARCH_NOTE="this host runs i386 code, but 32-bit Wine (wine32:i386, /usr/lib/wine/wine) is not installed, so the 32-bit suite cannot run; using the x86_64 build under 64-bit Wine"
    else
      QUILLET_ARCHS="x86_64"
      QUILLET_ARCH_NOTE="this host cannot run i386 code (a tiny static i386 program fails: the kernel runs 64-bit user code only), so 32-bit Wine cannot start; using the x86_64 build under 64-bit Wine"
    fi ;;
  *) echo "QUILLET_ARCH must be i686, x86_64 or both, not '$QUILLET_ARCH'" >&2; exit 2 ;;
esac
