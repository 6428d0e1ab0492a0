#!/usr/bin/env bash
# Builds the release in release mode and collects under dist/:
#   varnalis-VERSION-setup.exe                the Windows installer
#   varnalis-VERSION-windows-x64.zip          varnalis.exe and varnalis-cli.exe, for people who do not install
#   varnalis-VERSION-linux-x86_64.tar.gz      varnalis-cli and a systemd user unit for the console monitor
#   SHA256SUMS                                their checksums (check with: cd dist && sha256sum -c SHA256SUMS)
# VERSION is the project's version in CMakeLists.txt.
set -euo pipefail
cd "$(dirname "$0")"
source tools/ensure-packages.sh
ensure_packages

cmake --preset windows >/dev/null
cmake --build --preset windows --target varnalis varnalis-cli setup
cmake --preset native-release >/dev/null
cmake --build --preset native-release --target varnalis-cli
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/windows/CMakeCache.txt)
[ -n "$version" ] || { echo "no project version in build/windows/CMakeCache.txt" >&2; exit 1; }

rm -rf dist
mkdir -p dist
cp "build/windows/varnalis-$version-setup.exe" dist/

# Archives hold files in a fixed order, owner and time, so the same build gives the same archive.
stamp=$(git log -1 --format=%ct 2>/dev/null || date +%s)
/usr/bin/python3 - "$version" "$stamp" <<'PY'
import os, sys, time, zipfile
version, stamp = sys.argv[1], int(sys.argv[2])
when = time.gmtime(max(stamp, 315532800))[:6]  # zip times start in 1980
with zipfile.ZipFile(f"dist/varnalis-{version}-windows-x64.zip", "w", zipfile.ZIP_DEFLATED) as archive:
    for name in ("varnalis.exe", "varnalis-cli.exe"):
        info = zipfile.ZipInfo(f"varnalis-{version}/{name}", when)
        info.external_attr = 0o755 << 16
        info.compress_type = zipfile.ZIP_DEFLATED
        with open(os.path.join("build/windows", name), "rb") as f:
            archive.writestr(info, f.read())
PY
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
top="varnalis-$version-linux-x86_64"
install -D -m 755 build/native-release/varnalis-cli "$stage/$top/varnalis-cli"
strip "$stage/$top/varnalis-cli"
install -m 644 installer/varnalis-monitor.service "$stage/$top/"
tar --sort=name --mtime="@$stamp" --owner=0 --group=0 --numeric-owner -I 'gzip -n' -C "$stage" -cf "dist/$top.tar.gz" "$top"

(cd dist && sha256sum -- * > SHA256SUMS)
echo "dist/:"
(cd dist && ls -l)
