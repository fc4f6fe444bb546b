# Sourced: defines quillet_ensure_display, which makes sure DISPLAY names an X
# server that answers. When none does, it starts a private Xvfb on the first
# free display number, stopped when the calling script exits. Without a live
# display every window a test creates fails with "invalid window handle",
# which reads like a fault in the code; checking first reports it as what it is.
quillet_display_answers() {
  [ -n "${DISPLAY:-}" ] && xdpyinfo -display "$DISPLAY" >/dev/null 2>&1
}

quillet_ensure_display() {
  quillet_display_answers && return 0
  if [ -n "${QUILLET_XVFB_PID:-}" ]; then
    echo "display $DISPLAY stopped answering; starting a new Xvfb" >&2
    kill "$QUILLET_XVFB_PID" 2>/dev/null || true
  fi
  local n
  for n in $(seq 90 140); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
      Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
      QUILLET_XVFB_PID=$!
      export DISPLAY=":$n"
      for _ in $(seq 100); do quillet_display_answers && break; sleep 0.1; done
      trap 'kill $QUILLET_XVFB_PID 2>/dev/null || true' EXIT
      quillet_display_answers && return 0
      echo "Xvfb on :$n does not answer" >&2
      return 1
    fi
  done
  echo "no free X display number between :90 and :140" >&2
  return 1
}
