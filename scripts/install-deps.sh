#!/usr/bin/env bash
# Installs the Debian 12 packages needed to build and run the program, and with
# "test" also those to test, benchmark and package it, skipping those already
# present. apt-get runs as root (through sudo when needed).
#   scripts/install-deps.sh [test]
set -euo pipefail

# Build and run (help2man makes the manual pages at build time; zlib compresses
# and inflates the containers of BLF recordings).
packages=(cmake g++ make pkg-config qtbase5-dev qtbase5-dev-tools libqt5serialport5-dev zlib1g-dev
          fonts-inter fonts-jetbrains-mono help2man)
if [ "${1:-}" = test ]; then
  # The recording-format tests (can-utils, python3-can); the trip report's
  # XML check (xmllint); the Debian package (dpkg-dev for dpkg-shlibdeps,
  # file); the checks of the installed files and the package; the window
  # benchmark's X server.
  packages+=(can-utils python3-can libxml2-utils dpkg-dev file desktop-file-utils appstream lintian xvfb)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
