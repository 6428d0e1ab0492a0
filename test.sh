#!/usr/bin/env bash
# Builds everything and runs every test: the native build with ASan+UBSan, the
# concurrency tests under TSan, and the Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")"
source tools/ensure-packages.sh
ensure_packages

jobs=$(nproc)
section() { printf '\n==== %s ====\n' "$1"; }

section "native (ASan + UBSan)"
cmake --preset native >/dev/null
cmake --build --preset native -j "$jobs"
ctest --preset native -j "$jobs"

section "native (TSan): concurrency tests"
cmake --preset native-tsan >/dev/null
cmake --build --preset native-tsan -j "$jobs" --target test_settings test_log test_monitor test_app test_metrics varnalis-cli
# TSan needs a fixed address layout on kernels with wide mmap randomisation.
setarch "$(uname -m)" -R ctest --preset native-tsan -j "$jobs"

section "windows (mingw-w64, under Wine)"
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"
# One Wine server for the whole run, started with no test's output tied to it:
# ctest waits for a test's output to close, and a server started by a test
# holds it open for as long as any Windows program lingers. The prefix is made
# on the test display before tests start in parallel; the server is stopped at
# the end, with anything a test left running.
export WINEPREFIX=$PWD/build/windows/wineprefix
trap 'wineserver -k 2>/dev/null || true' EXIT
windows_tests() {
  mkdir -p "$WINEPREFIX"
  wineserver -p >/dev/null 2>&1 </dev/null
  cmake/wine-run wineboot >/dev/null 2>&1
  ctest --preset windows -j "$jobs"
}
source tools/xvfb.sh
with_display windows_tests

section "release artefacts"
./release.sh >/dev/null
(cd dist && sha256sum --check --quiet SHA256SUMS)
