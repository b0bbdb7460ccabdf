#!/usr/bin/env python3
"""Times `qvminspect cpp` against `gcc -E` on one generated interface header
(typedefs, structures with unions and bit-fields, enumerations, object-like
and function-like macros, nested includes), side by side in one run.

Usage: cpp_vs_gcc.py QVMINSPECT [--parts N] [--runs N] [--keep DIR] [--before QVMINSPECT]
The two commands take turns, --runs times each (7 unless told). Prints the
size of the header; for each side the median and best wall time, the median
CPU time and the peak memory; and the ratio qvminspect/gcc of the median
times (1.0 or less: no slower than gcc -E). With --before, an earlier build
takes its turns too, after a check that both builds write the same output."""
import argparse, filecmp, os, shutil, statistics, subprocess, sys, tempfile, time

COMMON = """#ifndef COMMON_H
#define COMMON_H
#define FIELD(type, name) type name;
#define ARRAY(type, name, n) type name[(n)];
#define BITS(name, width) unsigned int name : width;
#define MAX(a, b) ((a) > (b) ? (a) : (b))
#define MIN(a, b) ((a) < (b) ? (a) : (b))
#define CAT(a, b) a##b
#define XCAT(a, b) CAT(a, b)
#define STR(x) #x
#define ALIGN(x) (((x) + 7) & ~7)
#define DECLARE_FN(ret, name, ...) extern ret name(__VA_ARGS__);
#endif
"""


def part(index, sub):
    lines = ["#ifndef PART_%d_H" % index, "#define PART_%d_H" % index, '#include "common.h"',
             '#include "%s"' % sub]
    for k in range(40):
        n = index * 40 + k
        lines += [
            "#define CONST_%d (%d * 4 + 1)" % (n, n),
            "#define SIZE_%d ALIGN(MAX(CONST_%d, %d))" % (n, n, k + 3),
            "typedef unsigned int u%d_t;" % n,
            "typedef struct s%d {" % n,
            "    FIELD(int, id)",
            "    FIELD(u%d_t, flags)" % n,
            "    BITS(kind, 3)",
            "    BITS(mode, 5)",
            "    unsigned int spare : 24;",
            "    union {",
            "        ARRAY(char, name, SIZE_%d)" % n,
            "        FIELD(long, value)",
            "        struct { BITS(lo, 16) BITS(hi, 16) } half;",
            "    } u;",
            "    ARRAY(short, table, MIN(CONST_%d, 64))" % n,
            "} XCAT(rec_, %d);" % n,
            "enum e%d { E%d_FIRST = CONST_%d, E%d_SECOND, E%d_THIRD = SIZE_%d, E%d_LAST };" % (n, n, n, n, n, n, n),
            "DECLARE_FN(int, handle_%d, XCAT(rec_, %d) *record, const char *text)" % (n, n),
            "#if CONST_%d > 100 && defined(PART_%d_H)" % (n, index),
            "static const char *const label_%d = STR(rec_%d);" % (n, n),
            "#else",
            "static const int label_%d = CONST_%d;" % (n, n),
            "#endif",
            "/* record %d: a comment that spans",
            "   two lines */",
        ]
    lines.append("#endif")
    return "\n".join(lines) + "\n"


def sub(index):
    return "\n".join(["#ifndef SUB_%d_H" % index, "#define SUB_%d_H" % index,
                      "typedef int sub%d_t;" % index, "#define SUB_%d_VALUE %d" % (index, index), "#endif"]) + "\n"


def generate(folder, parts):
    with open(os.path.join(folder, "common.h"), "w") as f:
        f.write(COMMON)
    with open(os.path.join(folder, "big.h"), "w") as f:
        for i in range(parts):
            f.write('#include "part_%d.h"\n' % i)
    for i in range(parts):
        with open(os.path.join(folder, "part_%d.h" % i), "w") as f:
            f.write(part(i, "sub_%d.h" % i))
        with open(os.path.join(folder, "sub_%d.h" % i), "w") as f:
            f.write(sub(i))
    total_bytes = total_lines = 0
    for name in os.listdir(folder):
        with open(os.path.join(folder, name), "rb") as f:
            data = f.read()
        total_bytes += len(data)
        total_lines += data.count(b"\n")
    return total_bytes, total_lines


def run_once(command, folder):
    """Wall time, CPU time (user and system, children included) and peak memory of one run."""
    start = time.perf_counter()
    with open(os.devnull, "wb") as sink:
        process = subprocess.Popen(command, cwd=folder, stdout=sink, stderr=subprocess.PIPE)
        _, status, usage = os.wait4(process.pid, 0)
        err = process.stderr.read().decode(errors="replace")
        process.stderr.close()
    elapsed = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) not in (0, 3):
        sys.exit("%s failed: %s" % (command[0], err[:500]))
    return elapsed, usage.ru_utime + usage.ru_stime, usage.ru_maxrss


def measure(commands, folder, runs):
    """Runs the commands in turn, run after run, so that a change in the
    machine's load falls on all of them alike."""
    results = {name: [] for name in commands}
    for _ in range(runs):
        for name, command in commands.items():
            results[name].append(run_once(command, folder))
    return results


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("inspect")
    ap.add_argument("--parts", type=int, default=70)
    ap.add_argument("--runs", type=int, default=7)
    ap.add_argument("--keep")
    ap.add_argument("--before", help="another qvminspect (an earlier build), timed in the same turns;"
                                     " its output must be the same")
    args = ap.parse_args()
    folder = args.keep or tempfile.mkdtemp(prefix="cppbench")
    os.makedirs(folder, exist_ok=True)
    try:
        size, lines = generate(folder, args.parts)
        print("header: %.2f MB, %d lines in %d files; %d runs each, in turn" %
              (size / 1e6, lines, 2 * args.parts + 2, args.runs))
        commands = {"qvminspect cpp": [os.path.abspath(args.inspect), "cpp", "big.h", "-INCL=" + folder]}
        if args.before:
            commands["before"] = [os.path.abspath(args.before), "cpp", "big.h", "-INCL=" + folder]
            # Through files, so that this process stays small: a child's peak
            # memory counts that of its parent when it starts.
            outputs = []
            for index, command in enumerate(commands.values()):
                outputs.append(os.path.join(folder, "output_%d.i" % index))
                with open(outputs[-1], "wb") as sink:
                    subprocess.run(command, cwd=folder, stdout=sink, stderr=subprocess.DEVNULL)
            if not filecmp.cmp(outputs[0], outputs[1], shallow=False):
                sys.exit("the two qvminspect builds write different outputs")
        commands["gcc -E"] = ["gcc", "-E", "-I", folder, "big.h", "-o", os.devnull]
        results = measure(commands, folder, args.runs)
        print("%-16s %10s %10s %10s %10s" % ("", "median s", "best s", "median cpu", "peak MB"))
        medians = {}
        for name, rows in results.items():
            wall = [row[0] for row in rows]
            cpu = [row[1] for row in rows]
            medians[name] = (statistics.median(wall), statistics.median(cpu))
            print("%-16s %10.3f %10.3f %10.3f %10.1f" % (name, medians[name][0], min(wall), medians[name][1],
                                                          max(row[2] for row in rows) / 1024))
        ours, gcc = medians["qvminspect cpp"], medians["gcc -E"]
        print("ratio qvminspect/gcc of the medians: %.2f (cpu %.2f)" % (ours[0] / gcc[0], ours[1] / gcc[1]))
        if args.before:
            before = medians["before"]
            print("ratio before/gcc of the medians:     %.2f (cpu %.2f)" % (before[0] / gcc[0], before[1] / gcc[1]))
    finally:
        if not args.keep:
            shutil.rmtree(folder)


if __name__ == "__main__":
    main()
