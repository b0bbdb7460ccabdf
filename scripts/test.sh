#!/usr/bin/env bash
# Installs, builds and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh
bash scripts/build.sh
cd "${BUILD_DIR:-build}"
ctest --output-on-failure -j "$(nproc)"
