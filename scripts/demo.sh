#!/usr/bin/env bash
# Installs, builds and runs qvmprepro on the bundled example script.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh
bash scripts/build.sh
mkdir -p out
export FENWIRDIR="$PWD/share"
status=0
build/qvmprepro examples/demo.pts examples/demo.h out/demo || status=$?
echo "qvmprepro exit status: $status (list file: examples/demo.lis)"
