#!/usr/bin/env bash
# The setup's size and how long a silent install and uninstall take under
# Wine (the build's prefix, its Wine server kept warm between runs).
#   bench/bench_setup.sh [build/windows/varnalis-VERSION-setup.exe]
set -euo pipefail
cd "$(dirname "$0")/.."
setup=${1:-$(ls build/windows/varnalis-*-setup.exe | head -1)}
export WINEPREFIX=${VARNALIS_WINEPREFIX:-$PWD/build/windows/wineprefix} WINEDEBUG=-all
cmake/wine-run wineboot >/dev/null 2>&1
wineserver -p 30 >/dev/null 2>&1 || true
folder='C:\varnalis-bench'
printf 'setup: %s, %d bytes\n' "$(basename "$setup")" "$(stat -c %s "$setup")"
for run in 1 2 3; do
  start=$(date +%s.%N)
  cmake/wine-run "$setup" /S /AUTORUN=no "/D=$folder"
  installed=$(date +%s.%N)
  cmake/wine-run "$folder\\uninstall.exe" /S "_?=$folder"
  removed=$(date +%s.%N)
  awk -v r="$run" -v a="$start" -v b="$installed" -v c="$removed" \
    'BEGIN { printf "run %d: silent install %.2f s, silent uninstall %.2f s\n", r, b - a, c - b }'
done
