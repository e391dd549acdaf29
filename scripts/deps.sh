#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, when any is missing.
set -euo pipefail

packages=(g++ cmake ninja-build ccache pkg-config qt6-base-dev libgl-dev libx11-dev libgtest-dev libgmock-dev
          libbenchmark-dev xvfb xauth x11-utils xdotool socat libmodbus-dev mbpoll clang libclang-rt-14-dev python3
          poppler-utils help2man dpkg-dev fakeroot lintian appstream desktop-file-utils)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
