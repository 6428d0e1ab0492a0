#!/usr/bin/env bash
# Builds what is needed and runs Varnalis.
#   ./run.sh                  the tray program under Wine when there is a display, else the console monitor
#   ./run.sh --gui            the tray program under Wine (needs a display)
#   ./run.sh --console ARGS   the console program with ARGS (once, settings, log, ...)
#   ./run.sh ARGS             the same as --console ARGS
set -euo pipefail
cd "$(dirname "$0")"
source tools/ensure-packages.sh
ensure_packages

has_display() { [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; }

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
  exec cmake/wine-run build/windows/varnalis.exe "$@"
fi

cmake --preset native-release >/dev/null
cmake --build --preset native-release --target varnalis-cli >/dev/null
exec build/native-release/varnalis-cli "$@"
