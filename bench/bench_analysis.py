#!/usr/bin/env python3
"""Time of a whole qvmprepro run (interface analysis, script parse and
semantic analysis) on a generated test script of N scenarios against the
generated interface header of bench_interface.py, side by side with
`gcc -fsyntax-only` on that header, at 1, 2 and 4 times the script size.

Every scenario uses every instruction kind of the test language on the names
of one block of the header, so the script exercises the analysis the way a
large real script does. For each size the table gives the median CPU time
of the repeats and its ratio to gcc's, the script's own part (the run less a run of the
same header with a one-line script) per script line, which must stay flat
when the analysis is linear, and the peak memory of each side. The user
columns give the same for the user part of the CPU time alone: the system
part is mostly the kernel clearing memory the run touches first, whose cost
on a virtual machine varies from run to run with the host. The wall
columns give the median time a user waits and its ratio to gcc's wall
time; it is shorter than the CPU time because the script is parsed on a
second thread while the header is analysed. With
--before, a second build takes its turns among the same runs and gets a
table of its own, so that both face the same load of a shared machine.

Usage: bench_analysis.py QVMPREPRO [--before QVMPREPRO] [--megabytes 2]
                         [--scenarios 2000] [--repeats 7] [--keep DIR]
       bench_analysis.py --write DIR [--megabytes M] [--scenarios N]

--write only writes the header (gen.h) and the script of the base size
(bench.pts) into DIR, for a test that generates and compiles its program.
"""
import argparse
import os
import shutil
import statistics
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench_interface import SCRIPT as MINIMAL_SCRIPT, summary_with_user_time, write_header  # noqa: E402

MESSAGE_TYPES = 16   # message structures with a callback, a procsend and a channel each
PROCEDURES = 16      # script procedures with parameters
GROUP_SIZE = 50      # scenarios per group scenario


def declarations():
    lines = ['HEADER "bench", "semantic analysis", "1"',
             "#static int bench_done;",
             "#int bench_link_id;",
             "COMMTYPE link IS int",
             "CHANNEL link : " + ", ".join(f"ch_{k}" for k in range(MESSAGE_TYPES)),
             "TIMER bench_timer",
             "SHARE bench_done",
             "FORMAT= bench_done # integer"]
    for k in range(MESSAGE_TYPES):
        lines += [f"MESSAGE msg_{k}_t : m_{k}, reply_{k}",
                  f"PROCSEND msg_{k}_t : out ON link : id",
                  "  @bench_link_id = id;",
                  "END PROCSEND",
                  f"CALLBACK msg_{k}_t : in ON link : id",
                  "  @if (id == 0) {",
                  "  NO_MESSAGE",
                  "  @}",
                  f"  VAR in.length, EV=[1 .. MSG_{k}_LEN]",
                  "  MESSAGE_DATE",
                  "END CALLBACK"]
    for p in range(PROCEDURES):
        lines += [f"PROC verify_{p} (state_{p}_t expected, int limit)",
                  f"  IF (last_{p}.state != expected && limit > 0) THEN",
                  f"    CALL log_{p}(\"state %d\", last_{p}.state) @ 0",
                  "  END IF",
                  "END PROC"]
    lines += ["PROC cleanup ( )",
              "  @bench_done = 0;",
              "END PROC"]
    return lines


def scenario(i, blocks):
    """One scenario on header block n; 32 lines."""
    n = i % blocks
    k = i % MESSAGE_TYPES
    p = i % PROCEDURES
    return [
        f"    SCENARIO s{i}",
        f"      #int local_{i} = {i};",
        f"      COMMENT: scenario {i} on block {n}",
        f"      CALL register_{n}(ST{n}_RUN, NIL, NIL) @ 0",
        f"      CALL log_{n}(\"step %d\", local_{i}) @ 0 @ local_{i}",
        f"      CALL verify_{p}(ST{p}_RUN, 3)",
        f"      VAR last_{n}.length, INIT=MSG_{n}_LEN",
        f"      VAR last_{n}, EV={{length => [0 .. 100], kind => 1, info => {{fault => {{code => 1, detail => 2}}}},"
        f" state => ST{n}_RUN, values => {{0 => 1, OTHERS => 0}}}}",
        f"      VAR last_{n}.state, VA=ST{n}_STOP",
        f"      VAR local_{i}, EV==",
        f"      DEF_MESSAGE m_{k}, EV={{length => {i % 100}, state => ST{k}_RUN, name => \"m\"}}",
        f"      DEF_TRIGGER(reply_{k}, {i % 100}, 1, 2)",
        f"      SEND(m_{k}, ch_{k})",
        f"      WAITTIL(MATCHING(reply_{k}, ch_{k}) || last_{n}.kind == 2, WTIME > 100)",
        f"      IF (last_{n}.prio > last_{n}.kind) THEN",
        f"%A      PRINT length, last_{n}.length",
        "      ELSE",
        "        ERROR",
        "      END IF",
        f"      WHILE (TIME(bench_timer) < MSG_{n}_ID)",
        "        PAUSE 10",
        "      END WHILE",
        "      RESET bench_timer",
        f"      CASE (last_{n}.state) IS",
        f"        WHEN ST{n}_STOP =>",
        f"          @local_{i}++;",
        "        WHEN OTHERS =>",
        "          TRACE_ON",
        "      END CASE",
        *rotating_instructions(i, k, n),
        "    END SCENARIO",
    ]


def rotating_instructions(i, k, n):
    """One of four pairs of less frequent instructions, so that a scenario
    keeps its 32 lines while the script holds every kind."""
    choice = i % 4
    if choice == 0:
        return ["      ADD_ID(ch_%d, bench_link_id)" % k, "      CLEAR_ID(ch_%d)" % k]
    if choice == 1:
        return ["      FD_ADD(ch_%d, bench_link_id)" % k, "      FD_DEL(bench_link_id)"]
    if choice == 2:
        return [f"      INTERSEND(local_{i}, names_{n}[0])", f"      INTERRECV(last_{n}.name, 10)"]
    return [f"      RENDEZVOUS r{i}", "      FLUSH_TRACE"]


def write_script(path, scenarios, blocks):
    lines = declarations()
    lines += ["INITIALIZATION", "  SET(\"AB\")", "  ENABLE_CLEANUP cleanup()", "  TRACE_OFF", "END INITIALIZATION",
              "TERMINATION", "  DISABLE_CLEANUP cleanup()", "  UNSET(\"B\")", "END TERMINATION"]
    for group in range(0, scenarios, GROUP_SIZE):
        lines += [f"SCENARIO group_{group // GROUP_SIZE}",
                  f"FAMILY F{group // GROUP_SIZE % 4}",
                  "  SCENARIO leaves",
                  f"    EXCEPTION",
                  f"      FORMAT= last_{group % blocks}.length # unsigned",
                  f"      EXIT",
                  f"    END EXCEPTION"]
        for i in range(group, min(group + GROUP_SIZE, scenarios)):
            lines += scenario(i, blocks)
        lines += ["  END SCENARIO", "END SCENARIO"]
    with open(path, "w") as out:
        out.write("\n".join(lines) + "\n")
    return len(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("qvmprepro", nargs="?")
    parser.add_argument("--megabytes", type=float, default=2.0, help="size of the generated header")
    parser.add_argument("--scenarios", type=int, default=2000, help="scenarios of the base script")
    # Each figure is the median CPU time of the repeats; the commands take
    # turns, so that a slow spell of the machine falls on all of them alike.
    parser.add_argument("--repeats", type=int, default=7)
    parser.add_argument("--keep", help="directory that keeps the generated header and scripts")
    parser.add_argument("--before", metavar="QVMPREPRO",
                        help="a second build, run in turn with the first, whose table comes second")
    parser.add_argument("--write", metavar="DIR", help="only write gen.h and bench.pts of the base size into DIR")
    args = parser.parse_args()
    if args.write:
        os.makedirs(args.write, exist_ok=True)
        blocks = write_header(os.path.join(args.write, "gen.h"), args.megabytes)
        write_script(os.path.join(args.write, "bench.pts"), args.scenarios, blocks)
        return 0
    if not args.qvmprepro:
        parser.error("the qvmprepro binary is required")
    builds = [("qvmprepro", os.path.abspath(args.qvmprepro))]
    if args.before:
        builds.append(("before", os.path.abspath(args.before)))
    env = dict(os.environ)
    env.setdefault("FENWIRDIR", os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "share"))
    work = args.keep or tempfile.mkdtemp()
    os.makedirs(work, exist_ok=True)
    try:
        return run(builds, work, env, args)
    finally:
        if not args.keep:
            shutil.rmtree(work)


FACTORS = (1, 2, 4)


def build_commands(prepro, prefix):
    """The runs of one build: the one-line script, then each size. Each run
    writes outputs of its own name, so that it replaces the outputs of its
    own previous run, as a user's run does, and never pays for removing the
    much larger outputs of another size or build."""
    commands = [[prepro, "minimal.pts", "gen.h", f"{prefix}out0", "-NOLOG"]]
    for factor in FACTORS:
        commands.append([prepro, f"bench{factor}.pts", "gen.h", f"{prefix}out{factor}", "-NOLOG", "-TRACE=CIRCULAR"])
    return commands


def run(builds, work, env, args):
    blocks = write_header(os.path.join(work, "gen.h"), args.megabytes)
    with open(os.path.join(work, "minimal.pts"), "w") as f:
        f.write(MINIMAL_SCRIPT)
    line_counts = [write_script(os.path.join(work, f"bench{factor}.pts"), args.scenarios * factor, blocks)
                   for factor in FACTORS]
    commands = [["gcc", "-fsyntax-only", "-x", "c", "gen.h"]]
    for index, (_, prepro) in enumerate(builds):
        commands += build_commands(prepro, f"b{index}")
    results = summary_with_user_time(args.repeats, commands, work, env, statistics.median)
    gcc, gcc_mem, failures, _, gcc_wall = results[0]
    print(f"header {args.megabytes:.1f} MB, {blocks} blocks: gcc -fsyntax-only {gcc:.3f} s "
          f"(wall {gcc_wall:.3f} s) {gcc_mem / 1024:.1f} MB")
    per_build = len(FACTORS) + 1
    for index, (title, _) in enumerate(builds):
        own = results[1 + index * per_build:1 + (index + 1) * per_build]
        failures += report_build(title, own, gcc, gcc_wall, line_counts, args.scenarios)
    return 1 if failures else 0


def report_build(title, results, gcc, gcc_wall, line_counts, scenarios):
    (base, base_mem, failures, base_user, base_wall) = results[0]
    print(f"\n{title}: with a one-line script {base:.3f} s ({base_user:.3f} s user, {base_wall:.3f} s wall) "
          f"{base_mem / 1024:.1f} MB")
    print(f"{'scenarios':>9} {'lines':>7} {'qvmprepro s':>11} {'ratio':>6} {'script s':>9} {'us/line':>8} "
          f"{'user s':>7} {'user us/line':>12} {'wall s':>7} {'wall ratio':>10} {'qvm MB':>7}")
    per_line, user_per_line = [], []
    for factor, lines, (total, mem, failed, user, wall) in zip(FACTORS, line_counts, results[1:]):
        failures += failed
        per_line.append(max(total - base, 0.0) * 1e6 / lines)
        user_per_line.append(max(user - base_user, 0.0) * 1e6 / lines)
        print(f"{scenarios * factor:>9} {lines:>7} {total:>11.3f} {total / gcc:>6.2f} {total - base:>9.3f} "
              f"{per_line[-1]:>8.2f} {user:>7.3f} {user_per_line[-1]:>12.2f} {wall:>7.3f} {wall / gcc_wall:>10.2f} "
              f"{mem / 1024:>7.1f}")
    print_spread("time per line", per_line)
    print_spread("user time per line", user_per_line)
    return failures


def print_spread(title, per_line):
    spread = max(per_line) / min(per_line) if min(per_line) > 0 else float("inf")
    print(f"{title}: largest / smallest = {spread:.2f} ({'flat' if spread <= 1.15 else 'NOT flat'} within 15%)")


if __name__ == "__main__":
    sys.exit(main())
