#!/bin/sh
# Side-by-side timing of `qvminspect cpp` and `gcc -E` on a generated
# interface header. Usage: bench/cpp_vs_gcc.sh [BUILD_DIR] [options of cpp_vs_gcc.py]
here=$(dirname "$0")
build=${1:-$here/../build}
[ $# -gt 0 ] && shift
exec python3 "$here/cpp_vs_gcc.py" "$build/qvminspect" "$@"
