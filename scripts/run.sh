#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it from the repository
# root (where it finds image/quellmarkPowered_meta.png). Arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target vornix-can-analyzer
exec ./build/vornix-can-analyzer "$@"
