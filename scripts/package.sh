#!/usr/bin/env bash
# Installs what is missing, builds the program and its tools in build/ and makes
# the Debian package build/vornix-can-analyzer_<version>_<architecture>.deb with
# CPack. Install it with: sudo apt install ./build/vornix-can-analyzer_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh test
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
cd build
cpack -G DEB
