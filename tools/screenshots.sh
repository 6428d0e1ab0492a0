#!/usr/bin/env bash
# Turns the pages the end-to-end test pictured (build/windows/dialog-*.bmp,
# written by `ctest --preset windows -R e2e`) into the PNG files the README shows.
set -eu
cd "$(dirname "$0")/.."
for page in resources notifications connection log options about; do
  convert "build/windows/dialog-$page.bmp" "docs/page-$page.png"
done
convert build/windows/page-notifications-web-hook.bmp docs/page-notifications-web-hook.png
