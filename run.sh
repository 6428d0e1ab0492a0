#!/usr/bin/env bash
# Builds what is needed and runs Varnalis. For now that is the console
# program: with no arguments it lists the settings; any arguments are passed
# to it (./run.sh get "Connection\period", ./run.sh log, ./run.sh help).
set -euo pipefail
cd "$(dirname "$0")"
source tools/ensure-packages.sh
ensure_packages
cmake --preset native-release >/dev/null
cmake --build --preset native-release --target varnalis-cli >/dev/null
[ $# -gt 0 ] || set -- settings
exec build/native-release/varnalis-cli "$@"
