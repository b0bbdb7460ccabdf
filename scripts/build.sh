#!/usr/bin/env bash
# Configures and builds into build/ (or $BUILD_DIR); extra arguments go to cmake.
# BUILD_TARGETS limits the build to those targets (the demo needs only the
# programs and the runtime; the tests are built by scripts/test.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build}
cmake -S . -B "$build_dir" -G Ninja "$@" >/dev/null
# shellcheck disable=SC2086  # the targets are separate words
cmake --build "$build_dir" -j "$(nproc)" ${BUILD_TARGETS:+--target $BUILD_TARGETS}
