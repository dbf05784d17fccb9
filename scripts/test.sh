#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through CTest.
# GUI tests start their own X servers; no display is needed.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
cd build
ctest --output-on-failure -j2 --timeout 600
