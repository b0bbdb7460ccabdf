#!/usr/bin/env python3
"""Whole qvmprepro runs of two builds side by side on the script of
bench_analysis.py, and the part of each run that writes the output files.

The writers' part is the run less a run of the same script with one error
added at its end: that run analyses the whole script, then writes nothing.
The two builds take turns, run after run, so that a slow spell of a shared
machine falls on both alike; each figure is the median CPU time (user and
system) of the repeats, and the ratio is the median of the ratios run by run.

Usage: bench_writers.py BEFORE AFTER [--repeats 7] [--dir DIR] [--options ...]

DIR holds gen.h and bench.pts (bench_analysis.py --write DIR); without it
they are written into a temporary directory. --options are passed to every
run (the outputs of -PROBE=DEFAULT or -SPVGEN, for instance).
"""
import argparse
import os
import shutil
import statistics
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench_analysis import write_script  # noqa: E402
from bench_interface import timed, write_header  # noqa: E402

# An undeclared variable: an error only the semantic analysis finds.
ERROR_LINE = "VAR bench_undeclared_variable, EV=1\n"


def write_inputs(directory):
    if not os.path.exists(os.path.join(directory, "bench.pts")):
        blocks = write_header(os.path.join(directory, "gen.h"), 2.0)
        write_script(os.path.join(directory, "bench.pts"), 2000, blocks)
    with open(os.path.join(directory, "bench.pts")) as f:
        lines = f.readlines()
    # Inside the last scenario, before the ends of the scenarios around it.
    last = max(i for i, line in enumerate(lines) if line.strip() == "FLUSH_TRACE")
    lines.insert(last + 1, " " * (len(lines[last]) - len(lines[last].lstrip())) + ERROR_LINE)
    with open(os.path.join(directory, "bench_error.pts"), "w") as f:
        f.writelines(lines)


def measure(builds, directory, options, repeats):
    """For each build: the CPU times of its whole runs and of its runs that
    stop before the writers."""
    env = dict(os.environ)
    env.setdefault("FENWIRDIR", os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "share"))
    times = {build: {"whole": [], "analysis": []} for build in builds}
    expected = {"whole": (0, 3), "analysis": (5,)}
    for _ in range(repeats):
        for index, build in enumerate(builds):
            for kind, script in (("whole", "bench.pts"), ("analysis", "bench_error.pts")):
                command = [build, script, "gen.h", f"out{index}_{kind}", "-NOLOG"] + options
                elapsed, _peak, code, err = timed(command, directory, env)
                if code not in expected[kind]:
                    print(f"{build} {script}: status {code}\n{err}", file=sys.stderr)
                    return None
                times[build][kind].append(elapsed)
    return times


def report(builds, times):
    print(f"{'build':>8} {'whole run s':>12} {'writers s':>10}")
    writers = {}
    for name, build in zip(("before", "after"), builds):
        whole = statistics.median(times[build]["whole"])
        writers[build] = whole - statistics.median(times[build]["analysis"])
        print(f"{name:>8} {whole:>12.3f} {writers[build]:>10.3f}")
    before, after = builds
    ratios = [b / a for a, b in zip(times[before]["whole"], times[after]["whole"])]
    print(f"whole run after / before, median of the pairs: {statistics.median(ratios):.3f} "
          f"(least {min(ratios):.3f}, most {max(ratios):.3f})")
    print(f"writers after - before: {writers[after] - writers[before]:+.3f} s")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("before")
    parser.add_argument("after")
    parser.add_argument("--repeats", type=int, default=7)
    parser.add_argument("--dir", help="directory of gen.h and bench.pts")
    parser.add_argument("--options", nargs="*", default=[])
    args = parser.parse_args()
    builds = [os.path.abspath(args.before), os.path.abspath(args.after)]
    directory = os.path.abspath(args.dir) if args.dir else tempfile.mkdtemp()
    try:
        write_inputs(directory)
        times = measure(builds, directory, args.options, args.repeats)
        if times is None:
            return 1
        report(builds, times)
        return 0
    finally:
        if not args.dir:
            shutil.rmtree(directory)


if __name__ == "__main__":
    sys.exit(main())
