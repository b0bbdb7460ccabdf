#!/usr/bin/env bash
# Installs, builds and runs qvmprepro on the bundled example script.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh
bash scripts/build.sh
mkdir -p out
export FENWIRDIR="$PWD/share"
status=0
# The interface includes C library headers: the host profile gives the
# macros, include directories and type sizes of gcc and glibc on x86_64.
build/qvmprepro examples/demo.pts examples/demo.h out/demo \
    -STD_DEFINE="$FENWIRDIR/lib/x86_64-linux-gnu.def" -INCL="$(gcc -print-file-name=include)" || status=$?
echo "qvmprepro exit status: $status (list file: examples/demo.lis)"
