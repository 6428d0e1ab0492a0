#!/usr/bin/env bash
# Builds what is needed and runs Varnalis.
#   ./run.sh                  the tray program under Wine when there is a display, else the console monitor
#   ./run.sh --gui            the tray program under Wine (needs a display); on a display
#                             without a system tray, inside a Wine desktop with a taskbar
#   ./run.sh --console ARGS   the console program with ARGS (once, settings, log, ...)
#   ./run.sh ARGS             the same as --console ARGS
set -euo pipefail
cd "$(dirname "$0")"
source tools/ensure-packages.sh
ensure_packages

has_display() { [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; }

# A system tray on the display is a client owning the screen's
# _NET_SYSTEM_TRAY_Sn selection; no X tool shows that, so ask libX11.
has_system_tray() {
  python3 - <<'EOF'
import ctypes, ctypes.util, sys
x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultScreen.argtypes = [ctypes.c_void_p]
x11.XInternAtom.restype = ctypes.c_ulong
x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x11.XGetSelectionOwner.restype = ctypes.c_ulong
x11.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
display = x11.XOpenDisplay(None)
if not display:
    sys.exit(1)
tray = x11.XInternAtom(display, b"_NET_SYSTEM_TRAY_S%d" % x11.XDefaultScreen(display), 0)
sys.exit(0 if x11.XGetSelectionOwner(display, tray) else 1)
EOF
}

mode=console
case "${1:-}" in
  --console) shift ;;
  --gui) mode=gui; shift ;;
  "") has_display && mode=gui ;;
esac

if [ "$mode" = gui ]; then
  if ! has_display; then
    echo "No display: the tray program needs one. ./run.sh --console runs the console monitor." >&2
    exit 2
  fi
  cmake --preset windows >/dev/null
  cmake --build --preset windows --target varnalis >/dev/null
  # The user's own Wine prefix: their settings and a running copy never meet a test run's.
  export VARNALIS_WINEPREFIX=${VARNALIS_WINEPREFIX:-${XDG_DATA_HOME:-$HOME/.local/share}/varnalis/wineprefix}
  if [ ! -f "$VARNALIS_WINEPREFIX/.ready" ]; then
    echo "Preparing the Wine prefix $VARNALIS_WINEPREFIX (first run only, about a minute)..."
    cmake/wine-run wineboot >/dev/null 2>&1
  fi
  if has_system_tray; then
    exec cmake/wine-run build/windows/varnalis.exe "$@"
  fi
  # No tray to hold the icon: a Wine desktop the size of the screen, whose taskbar does.
  size=$(xdpyinfo | awk '/dimensions:/ && !size { size = $2 } END { print size }')
  cmake/wine-run reg add 'HKCU\Software\Wine\Explorer\Desktops\Varnalis' /v EnableShell /t REG_DWORD /d 1 /f \
    >/dev/null 2>&1
  echo "No system tray on this display: Varnalis runs in a Wine desktop of ${size:-1024x768} with a taskbar."
  exec cmake/wine-run explorer "/desktop=Varnalis,${size:-1024x768}" build/windows/varnalis.exe "$@"
fi

cmake --preset native-release >/dev/null
cmake --build --preset native-release --target varnalis-cli >/dev/null
exec build/native-release/varnalis-cli "$@"
