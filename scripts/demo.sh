#!/usr/bin/env bash
# The whole job on the bundled example: installs what the build needs,
# builds, generates the test program of examples/demo.pts (against
# examples/demo.h, which includes C library headers), compiles it with the
# simulated door controller examples/demo_sut.c and the test runtime, runs
# it, and shows its verdicts and where its trace is.
#
# Exit status: that of the generated program (0 when every verdict passed),
# or of the step that could not be done.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh
BUILD_TARGETS="qvmprepro qvmruntime" bash scripts/build.sh
exec bash scripts/run_example.sh demo
