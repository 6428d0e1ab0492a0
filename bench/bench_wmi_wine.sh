#!/usr/bin/env bash
# The WMI query benchmark under Wine, its passes' CPU counted with the Wine
# server's (each query is mostly round trips to it), in the build's prefix.
#   bench/bench_wmi_wine.sh [build/windows/bench/bench_wmi_query.exe]
set -euo pipefail
cd "$(dirname "$0")/.."
exe=${1:-build/windows/bench/bench_wmi_query.exe}
export WINEPREFIX=${VARNALIS_WINEPREFIX:-$PWD/build/windows/wineprefix} WINEDEBUG=-all
source tools/xvfb.sh
run() {
  wineserver -p >/dev/null 2>&1 </dev/null  # kept for the run: its CPU is counted
  cmake/wine-run wineboot >/dev/null 2>&1
  # The prefix's server runs in a folder named after the prefix's device and inode.
  local folder pid found=""
  folder=server-$(printf '%x-%x' "$(stat -c %d "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")")
  for pid in $(pgrep wineserver); do
    [ "$(basename "$(readlink "/proc/$pid/cwd")")" = "$folder" ] && found=$pid
  done
  cmake/wine-run "$exe" $found 2> >(grep -v 'Read access denied' >&2)
  wineserver -k
}
with_display run
