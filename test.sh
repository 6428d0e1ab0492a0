#!/usr/bin/env bash
# Builds everything and runs every test: the native build with ASan+UBSan, the
# concurrency tests under TSan, and the Windows build under Wine. Ends with the
# time each stage took.
set -euo pipefail
cd "$(dirname "$0")"

# stage NAME: the stage that starts now; the report at the end, pass or fail.
stage_names=() stage_times=() stage_started=$SECONDS
stage() {
  [ ${#stage_names[@]} -gt 0 ] && stage_times+=($((SECONDS - stage_started)))
  stage_names+=("$1") stage_started=$SECONDS
  printf '\n==== %s ====\n' "$1"
}
report() {
  local code=$?
  stage_times+=($((SECONDS - stage_started)))
  printf '\n==== time per stage ====\n'
  for i in "${!stage_names[@]}"; do printf '%-34s %4d s\n' "${stage_names[$i]}" "${stage_times[$i]}"; done
  printf '%-34s %4d s\n' "all" "$SECONDS"
  [ "$code" -eq 0 ] || printf 'FAILED in: %s\n' "${stage_names[-1]}"
  wineserver -k 2>/dev/null || true
}
trap report EXIT

stage "install"
source tools/ensure-packages.sh
ensure_packages
jobs=$(nproc)

stage "native build (ASan + UBSan)"
cmake --preset native >/dev/null
cmake --build --preset native -j "$jobs"
stage "native tests"
ctest --preset native -j "$jobs"

stage "native build (TSan)"
cmake --preset native-tsan >/dev/null
cmake --build --preset native-tsan -j "$jobs" --target test_settings test_log test_wmi test_monitor test_app test_metrics varnalis-cli
stage "TSan tests: concurrency"
# TSan needs a fixed address layout on kernels with wide mmap randomisation.
setarch "$(uname -m)" -R ctest --preset native-tsan -j "$jobs"

stage "windows build (mingw-w64)"
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"
stage "windows tests (Wine)"
# One Wine server for the whole run, started with no test's output tied to it:
# ctest waits for a test's output to close, and a server started by a test
# holds it open for as long as any Windows program lingers. The prefix is made
# on the test display before tests start in parallel; the server is stopped at
# the end, with anything a test left running.
export WINEPREFIX=$PWD/build/windows/wineprefix
windows_tests() {
  mkdir -p "$WINEPREFIX"
  wineserver -p >/dev/null 2>&1 </dev/null
  cmake/wine-run wineboot >/dev/null 2>&1
  ctest --preset windows -j "$jobs"
}
source tools/xvfb.sh
with_display windows_tests

stage "release artefacts"
./release.sh >/dev/null
(cd dist && sha256sum --check --quiet SHA256SUMS)
