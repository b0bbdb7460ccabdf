#!/usr/bin/env python3
"""Time of the interface analysis of qvmprepro (preprocessing and declaring
an interface header) side by side with `gcc -fsyntax-only` on the same
generated header, at 1, 2 and 4 times the base size, with the peak memory of
each run.

A second table runs headers of one extreme shape each (one huge enum, one
huge struct, a long typedef chain, many skipped function bodies, chained
macros, many unnamed tags) at 1, 2 and 4 times a base count: the time per
thousand items must stay flat when the analysis is linear.

Usage: bench_interface.py QVMPREPRO [BASE_MEGABYTES] [REPEATS] [BASE_COUNT]
"""
import json
import os
import statistics
import subprocess
import sys
import tempfile

# The smallest script the preprocessor accepts: a scenario needs a statement,
# and a declaration line between the header and the first scenario.
SCRIPT = ('HEADER "bench", "interface analysis", "1"\n#int bench_done;\n'
          'SCENARIO main\n  VAR bench_done, INIT=1\nEND SCENARIO\n')


def header_block(n):
    """One block of typical interface declarations, numbered n."""
    return (
        f"#define MSG_{n}_ID ({n} + 0x100)\n"
        f"#define MSG_{n}_LEN (sizeof(int) * 4)\n"
        f"typedef unsigned short u16_{n};\n"
        f"typedef enum {{ ST{n}_IDLE, ST{n}_RUN = 4, ST{n}_STOP, ST{n}_FAULT = ST{n}_RUN * 2 }} state_{n}_t;\n"
        f"typedef struct {{\n"
        f"    u16_{n} length;\n"
        f"    unsigned char kind : 4;\n"
        f"    unsigned char prio : 3;\n"
        f"    union {{ long raw; struct {{ short code; short detail; }} fault; }} info;\n"
        f"    state_{n}_t state;\n"
        f"    char name[16 + 1];\n"
        f"    char trace[ST{n}_FAULT];\n"
        f"    int values[MSG_{n}_ID];\n"
        f"}} msg_{n}_t;\n"
        f"extern msg_{n}_t last_{n};\n"
        f"extern const char *const names_{n}[8];\n"
        f"typedef void (*handler_{n}_t)(const msg_{n}_t *msg, u16_{n} length);\n"
        f"int register_{n}(int kind, handler_{n}_t handler, void *context);\n"
        f"int log_{n}(const char *format, ...);\n"
        f"#if MSG_{n}_ID > 0x100\n"
        f"static inline int check_{n}(int a, int b) {{ return a > b ? a : b; }}\n"
        f"#endif\n"
    )


def write_header(path, megabytes):
    target = int(megabytes * 1024 * 1024)
    size = 0
    n = 0
    with open(path, "w") as out:
        out.write("#ifndef BENCH_H\n#define BENCH_H\n")
        while size < target:
            block = header_block(n)
            out.write(block)
            size += len(block)
            n += 1
        out.write("#endif\n")
    return n


def shape_text(shape, count):
    """A header made of COUNT items of one shape."""
    if shape == "enum":
        body = ",\n".join(f"E{i}" + (f" = {i} * 2" if i % 100 == 0 else "") for i in range(count))
        return f"enum big {{\n{body}\n}};\n" + "".join(f"char buf{i}[E{i} + 1];\n" for i in range(0, count, 10))
    if shape == "struct":
        return "struct big {\n" + "".join(f"    int f{i};\n" for i in range(count)) + "};\n"
    if shape == "typedef chain":
        return "typedef int t0;\n" + "".join(f"typedef t{i} t{i + 1};\n" for i in range(count))
    if shape == "function bodies":
        return "".join(f"static int f{i}(int a, int b) {{ if (a) {{ return b; }} return a + b; }}\n"
                       for i in range(count))
    if shape == "chained macros":
        return ("#define M0 0\n" + "".join(f"#define M{i} (M{i - 1} + 1)\n" for i in range(1, count))
                + "".join(f"int y{i}[M{i % 50}];\n" for i in range(count)))
    if shape == "unnamed tags":
        return "".join(f"typedef struct {{ int a; union {{ int b; char c; }} u; }} S{i};\n" for i in range(count))
    raise ValueError(shape)


SHAPES = ("enum", "struct", "typedef chain", "function bodies", "chained macros", "unnamed tags")


# Runs each measured command. A child's peak memory counts the memory of the
# process it was started from (Linux keeps the larger of the two across
# exec), so the commands are started from this small process, not from the
# benchmark, which holds the generated texts.
LAUNCHER = r"""
import json, os, subprocess, sys, time
for line in sys.stdin:
    job = json.loads(line)
    start = time.monotonic()
    process = subprocess.Popen(job["command"], cwd=job["cwd"], env=job["env"],
                               stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    err = process.stderr.read().decode(errors="replace")
    _, status, usage = os.wait4(process.pid, 0)
    wall = time.monotonic() - start
    print(json.dumps([usage.ru_utime, usage.ru_stime, usage.ru_maxrss,
                      os.waitstatus_to_exitcode(status), err, wall]), flush=True)
"""
_launcher = None


def timed(command, cwd, env):
    """CPU time (user and system; the wall time of a shared machine says
    little), peak resident memory (kilobytes), status and error text of one run."""
    user, system, peak, code, err, _wall = timed_parts(command, cwd, env)
    return user + system, peak, code, err


def timed_parts(command, cwd, env):
    """As timed, with the CPU time in its user and system parts, and the
    wall time last."""
    global _launcher
    if _launcher is None:
        _launcher = subprocess.Popen([sys.executable, "-c", LAUNCHER], stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, text=True)
    _launcher.stdin.write(json.dumps({"command": command, "cwd": cwd, "env": env}) + "\n")
    _launcher.stdin.flush()
    return tuple(json.loads(_launcher.stdout.readline()))


def best_of_each(repeats, commands, cwd, env):
    """For each command: the least CPU time and the largest peak memory of
    REPEATS runs, and how many of them failed (each failure is shown). The
    commands take turns, so that a slow spell of a shared machine falls on
    all of them alike."""
    return summary_of_each(repeats, commands, cwd, env, min)


def median_of_each(repeats, commands, cwd, env):
    """As best_of_each, with the median CPU time of the REPEATS runs."""
    return summary_of_each(repeats, commands, cwd, env, statistics.median)


def summary_of_each(repeats, commands, cwd, env, summary):
    return [result[:3] for result in summary_with_user_time(repeats, commands, cwd, env, summary)]


def summary_with_user_time(repeats, commands, cwd, env, summary):
    """As summary_of_each, each result followed by the summary of the user
    part of the CPU times (the part the program's own code spends, apart from
    the kernel's, mostly clearing the memory the run touches first), then by
    the summary of the wall times (what a user waits, shorter than the CPU
    time where a second thread works beside the first)."""
    times = [[] for _ in commands]
    user_times = [[] for _ in commands]
    wall_times = [[] for _ in commands]
    memories = [0 for _ in commands]
    failed = [0 for _ in commands]
    for _ in range(repeats):
        for i, command in enumerate(commands):
            user, system, mem, code, err, wall = timed_parts(command, cwd, env)
            if code != 0:
                print(f"{os.path.basename(command[0])} ended with status {code}\n{err}", file=sys.stderr)
                failed[i] += 1
            times[i].append(user + system)
            user_times[i].append(user)
            wall_times[i].append(wall)
            memories[i] = max(memories[i], mem)
    return [(summary(times[i]), memories[i], failed[i], summary(user_times[i]), summary(wall_times[i]))
            for i in range(len(commands))]


def main():
    prepro = os.path.abspath(sys.argv[1])
    base = float(sys.argv[2]) if len(sys.argv) > 2 else 2.0
    repeats = int(sys.argv[3]) if len(sys.argv) > 3 else 3
    base_count = int(sys.argv[4]) if len(sys.argv) > 4 else 20000
    share = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "share")
    env = dict(os.environ)
    env.setdefault("FENWIRDIR", os.path.abspath(share))
    print(f"{'size':>8} {'blocks':>7} {'qvmprepro cpu s':>16} {'gcc cpu s':>10} {'ratio':>6} {'qvm MB':>8} {'gcc MB':>8}")
    failures = 0
    with tempfile.TemporaryDirectory() as work:
        with open(os.path.join(work, "bench.pts"), "w") as f:
            f.write(SCRIPT)
        factors = (1, 2, 4)
        blocks, commands = [], []
        for factor in factors:
            header = f"gen{factor}.h"
            blocks.append(write_header(os.path.join(work, header), base * factor))
            commands.append([prepro, "bench.pts", header, "out", "-NOLOG"])
            commands.append(["gcc", "-fsyntax-only", "-x", "c", header])
        results = best_of_each(repeats, commands, work, env)
        for i, factor in enumerate(factors):
            (q, mem_q, failed_q), (g, mem_g, failed_g) = results[2 * i], results[2 * i + 1]
            failures += failed_q + failed_g
            print(f"{base * factor:>6.1f}MB {blocks[i]:>7} {q:>16.3f} {g:>10.3f} {q / g:>6.2f} "
                  f"{mem_q / 1024:>8.1f} {mem_g / 1024:>8.1f}")
        failures += run_shapes(prepro, work, env, base_count, repeats)
    return 1 if failures else 0


def run_shapes(prepro, work, env, base_count, repeats):
    print(f"\n{'shape':>16} {'items':>7} {'qvmprepro cpu s':>16} {'ms per 1000':>12} {'qvm MB':>8}")
    failures = 0
    factors = (1, 2, 4)
    for shape in SHAPES:
        commands = []
        for factor in factors:
            header = f"shape{factor}.h"
            with open(os.path.join(work, header), "w") as f:
                f.write(shape_text(shape, base_count * factor))
            commands.append([prepro, "bench.pts", header, "out", "-NOLOG"])
        for factor, (best, mem, failed) in zip(factors, best_of_each(repeats, commands, work, env)):
            count = base_count * factor
            failures += failed
            print(f"{shape:>16} {count:>7} {best:>16.3f} {best * 1e6 / count:>12.2f} {mem / 1024:>8.1f}")
    return failures


if __name__ == "__main__":
    sys.exit(main())
