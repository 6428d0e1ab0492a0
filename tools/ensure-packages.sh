# Installs the Debian packages the builds and tests need, when any is missing.
# Sourced by test.sh and run.sh.
VARNALIS_PACKAGES=(cmake ninja-build g++ clang libclang-rt-14-dev mingw-w64 wine wine64 xvfb xauth
  doctest-dev libssl-dev libcurl4-openssl-dev curl python3-aiosmtpd openssl imagemagick x11-utils util-linux prometheus nsis)

ensure_packages() {
  local missing=()
  for p in "${VARNALIS_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages. Run as root:" >&2
    echo "  apt-get update && apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
  echo "Installing: ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
}
