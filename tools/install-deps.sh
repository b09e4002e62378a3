#!/usr/bin/env bash
# Installs the Debian packages the build, the demo and the tests need, when
# any of them is missing. Runs apt-get non-interactively, as root or through
# sudo.
set -euo pipefail

packages=(
  build-essential cmake make pkg-config binutils
  googletest libgtest-dev libbenchmark-dev libcli11-dev
  libsndfile1-dev liblua5.1-0-dev
  liboscpack-dev libavahi-client-dev liblo-tools libsmf-dev
  dbus avahi-daemon avahi-utils
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  sudo=()
elif command -v sudo >/dev/null 2>&1; then
  sudo=(sudo -n)
else
  echo "install-deps: need root or sudo to install ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
