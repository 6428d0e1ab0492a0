# with_display CMD...: runs CMD with an X display, starting a private Xvfb
# when there is none. Sourced by test.sh and run.sh.
with_display() {
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    "$@"
    return
  fi
  local n=99
  while [ -e "/tmp/.X${n}-lock" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
  local xvfb=$!
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  local rc=0
  DISPLAY=":$n" "$@" || rc=$?
  kill "$xvfb" 2>/dev/null || true
  return $rc
}
