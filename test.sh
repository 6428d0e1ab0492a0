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
cmake --build --preset native-tsan -j "$jobs" --target test_settings test_log test_monitor test_app varnalis-cli
# TSan needs a fixed address layout on kernels with wide mmap randomisation.
setarch "$(uname -m)" -R ctest --preset native-tsan -j "$jobs"

section "windows (mingw-w64, under Wine)"
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"
source tools/xvfb.sh
with_display ctest --preset windows -j "$jobs"
