# Sourced: makes sure DISPLAY names a running X server. Without one, starts a
# private Xvfb on the first free display number and stops it when the calling
# script exits.
_d="${DISPLAY:-}"; _d="${_d#*:}"; _d="${_d%%.*}"
if [ -z "${DISPLAY:-}" ] || [ ! -e "/tmp/.X11-unix/X$_d" ]; then
  for n in $(seq 90 140); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
      Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
      QUILLET_XVFB_PID=$!
      export DISPLAY=":$n"
      for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
      trap 'kill $QUILLET_XVFB_PID 2>/dev/null || true' EXIT
      break
    fi
  done
fi
