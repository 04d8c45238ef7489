#!/usr/bin/env bash
# Installs the Debian packages the native build, tests and tools need, when
# they are missing. Usage: scripts/install-deps.sh [extra package ...]
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config googletest libgtest-dev libbenchmark-dev
          nlohmann-json3-dev "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi
