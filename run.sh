#!/usr/bin/env bash
# Builds what is needed and runs Varnalis.
#   ./run.sh                  watch this computer from the console (Ctrl+C ends)
#   ./run.sh --console ARGS   the console program with ARGS (once, settings, log, ...)
#   ./run.sh --gui            the tray program under Wine (needs a display)
#   ./run.sh ARGS             the same as --console ARGS
set -euo pipefail
cd "$(dirname "$0")"
source tools/ensure-packages.sh
ensure_packages

mode=console
case "${1:-}" in
  --console) shift ;;
  --gui) mode=gui; shift ;;
esac

if [ "$mode" = gui ]; then
  if [ -z "${DISPLAY:-}" ]; then
    echo "No display: the tray program needs one. Run ./run.sh for the console monitor." >&2
    exit 2
  fi
  echo "The tray program is not part of this build yet; ./run.sh runs the console monitor." >&2
  exit 2
fi

cmake --preset native-release >/dev/null
cmake --build --preset native-release --target varnalis-cli >/dev/null
exec build/native-release/varnalis-cli "$@"
