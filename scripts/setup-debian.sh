#!/usr/bin/env bash
# Installs what the build needs on a Debian machine, only what is missing.
set -euo pipefail
packages=(cmake ninja-build g++ qtbase5-dev qttools5-dev-tools bison flex
          libgtest-dev libgmock-dev libbenchmark-dev python3 gcc clang
          groff-base man-db strace bsdutils dpkg-dev file gdb libxml2-utils)
missing=()
for package in "${packages[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
