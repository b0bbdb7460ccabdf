#!/usr/bin/env bash
# Generates, compiles and runs one bundled example against its simulated
# system under test:
#     bash scripts/run_example.sh <example> [program arguments...]
# <example> is demo or the name of a directory under examples/. The work
# files go to out/<example>/: the copied scripts and headers, the list file,
# the generated program and its TDC file, the executable and its trace.
# An example whose directory holds a file named instances (one instance name
# per line) runs, when no program arguments are given, as one process per
# instance side by side, each with the trace <example>_<instance>.rio; they
# meet through the sockets of out/<example>/out (QVM_TESTER_DIR).
# Builds first when build/ (or $BUILD_DIR) has no qvmprepro yet. The exit
# status is qvmprepro's when it reports errors, 2 when the program does not
# compile, else the program's own (0 when every verdict passed; with several
# instances, the first non-zero status of them).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -lt 1 ]; then
  echo "usage: bash scripts/run_example.sh <example> [program arguments...]" >&2
  echo "examples: demo $(cd examples && ls -d */ | tr -d / | tr '\n' ' ')" >&2
  exit 2
fi
name=$1
shift
build_dir=${BUILD_DIR:-build}
if [ -f "examples/$name/$name.pts" ]; then
  source_dir=examples/$name
elif [ -f "examples/$name.pts" ]; then
  source_dir=examples
else
  echo "run_example: no example $name (examples/$name/$name.pts)" >&2
  exit 2
fi
if [ ! -x "$build_dir/qvmprepro" ] || [ ! -f "$build_dir/runtime/libqvmruntime.a" ]; then
  BUILD_DIR=$build_dir BUILD_TARGETS="qvmprepro qvmruntime" bash scripts/build.sh
fi
root=$PWD
prepro=$root/$build_dir/qvmprepro
runtime=$root/$build_dir/runtime/libqvmruntime.a
work=out/$name
mkdir -p "$work/out"
cp "$source_dir"/*.pts "$source_dir"/*.h "$work"/
# A TRIGGER script reads its telegrams through _Init functions that the
# simulated system under test defines: the template file qvmprepro would
# write for them first counts as filled in.
if grep -q '^TRIGGER' "$source_dir/$name.pts"; then
  touch "$work/out/fctri_c.c"
fi

echo "== generating $work/out/$name.c"
status=0
# No FENWIRDIR and no -STD_DEFINE: the build tree's share directory and its
# host profile (the compiler's macros, include directories and type sizes)
# serve interfaces that include C library headers.
(cd "$work" && env -u FENWIRDIR USER="${USER:-tester}" "$prepro" "$name.pts" "$name.h" "out/$name" -NOLOG) || status=$?
echo "qvmprepro exit status: $status (list file: $work/$name.lis)"
if [ "$status" -ge 5 ]; then
  grep -v -- '-I-' "$work/$name.lis" >&2 || true
  exit "$status"
fi

echo "== compiling with gcc and $source_dir/${name}_sut.c"
if ! gcc -std=gnu99 -Iruntime -I"$source_dir" -I"$work/out" "$work/out/$name.c" "$source_dir/${name}_sut.c" \
       -o "$work/out/$name" "$runtime" -lpthread; then
  exit 2
fi

instances=()
if [ $# -eq 0 ] && [ -f "$source_dir/instances" ]; then
  mapfile -t instances < <(grep -v '^#' "$source_dir/instances" | grep -v '^[[:space:]]*$')
fi
if [ ${#instances[@]} -eq 0 ]; then
  echo "== running $work/out/$name${*:+ $*}"
  run_status=0
  (cd "$work/out" && "./$name" -RIO="$name" "$@") || run_status=$?
  echo "verdicts and details: $work/out/$name.rio (program exit status $run_status)"
  exit "$run_status"
fi

echo "== running $work/out/$name as ${instances[*]}, side by side"
pids=()
for instance in "${instances[@]}"; do
  cp "$work/out/$name.tdc" "$work/out/${name}_$instance.tdc"
  (cd "$work/out" && QVM_TESTER_DIR=. exec "./$name" -INSTANCE="$instance" -RIO="${name}_$instance") &
  pids+=($!)
done
run_status=0
for i in "${!instances[@]}"; do
  status=0
  wait "${pids[$i]}" || status=$?
  echo "verdicts and details of ${instances[$i]}: $work/out/${name}_${instances[$i]}.rio (program exit status $status)"
  if [ "$run_status" -eq 0 ]; then
    run_status=$status
  fi
done
exit "$run_status"
