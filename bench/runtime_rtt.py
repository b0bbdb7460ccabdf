#!/usr/bin/env python3
"""Whether a generated test program keeps up with its system under test.

Builds, from bench/runtime_rtt/, an echo server (the system under test), a
hand-written client (the yardstick) and the test program of rtt.pts
generated twice: at the default trace level (every line written) and with
-TRACE=ERROR (only failures written: tracing off, in effect). Each program
makes the same exchange over TCP with the server: send a 32-byte ping, wait
for its echo, RTT_ROUNDS times. The runs alternate, --repeats times each;
the table gives the median round trips per second of each and its ratio to
the client's.

Then the program's "lateness" scenario waits --waits times for an answer
that never comes, each wait ended by WTIME >= 10: the table gives how late
the wait ends after 10 ms (median, 99th percentile, worst).

Usage: runtime_rtt.py BUILD_DIR [--repeats 7] [--rounds 20000] [--waits 1000]
                      [--keep DIR]
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)


def run(args, **kwargs):
    result = subprocess.run(args, capture_output=True, text=True, **kwargs)
    if result.returncode != 0:
        sys.exit(f"{' '.join(args)} failed ({result.returncode}):\n{result.stdout}{result.stderr}")
    return result


def build(build_dir, work):
    shutil.copytree(os.path.join(HERE, "runtime_rtt"), work, dirs_exist_ok=True)
    cc = ["gcc", "-O2", "-std=gnu99", "-Wall", "-Wextra", "-Werror", "-I", work]
    run(cc + ["-o", "echo_server", "echo_server.c"], cwd=work)
    run(cc + ["-o", "client", "client.c", "rtt_link.c"], cwd=work)
    share = os.path.join(SOURCE, "share")
    env = dict(os.environ, FENWIRDIR=share)
    gcc_include = run(["gcc", "-print-file-name=include"]).stdout.strip()
    programs = {}
    for name, options in (("traced", []), ("quiet", ["-TRACE=ERROR"])):
        os.makedirs(os.path.join(work, name), exist_ok=True)
        run([os.path.join(build_dir, "qvmprepro"), "rtt.pts", "rtt.h", f"{name}/rtt",
             f"-STD_DEFINE={share}/lib/x86_64-linux-gnu.def", f"-INCL={gcc_include}"] + options, cwd=work, env=env)
        run(cc + ["-I", os.path.join(SOURCE, "runtime"), "-o", f"{name}/rtt", f"{name}/rtt.c", "rtt_link.c",
                  os.path.join(build_dir, "runtime", "libqvmruntime.a"), "-lpthread"], cwd=work)
        programs[name] = os.path.join(work, name, "rtt")
    programs["client"] = os.path.join(work, "client")
    return programs


def report(program, env, work, arguments):
    path = os.path.join(work, "report.txt")
    run([program] + arguments, env=dict(env, RTT_REPORT=path, QVM_RUN_QUIET="1"), cwd=os.path.dirname(program))
    with open(path) as f:
        return dict((key, float(value)) for key, value in (line.split() for line in f if line.strip()))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--repeats", type=int, default=7)
    parser.add_argument("--rounds", type=int, default=20000)
    parser.add_argument("--waits", type=int, default=1000)
    parser.add_argument("--keep")
    options = parser.parse_args()
    work = options.keep or tempfile.mkdtemp(prefix="rtt-")
    programs = build(os.path.abspath(options.build), work)
    server = subprocess.Popen([os.path.join(work, "echo_server")], stdout=subprocess.PIPE, text=True)
    try:
        port = server.stdout.readline().strip()
        env = dict(os.environ, RTT_PORT=port, RTT_ROUNDS=str(options.rounds), RTT_WAITS=str(options.waits))
        rates = {name: [] for name in ("client", "traced", "quiet")}
        for _ in range(options.repeats):
            for name in rates:
                arguments = [] if name == "client" else ["-RIO=r", "-SCN=round_trips"]
                rates[name].append(report(programs[name], env, work, arguments)["rounds_per_s"])
        late = report(programs["traced"], env, work, ["-RIO=late", "-SCN=lateness"])
    finally:
        server.terminate()
        server.wait()
    client = statistics.median(rates["client"])
    print(f"round trips over TCP, {options.rounds} per run, median of {options.repeats} runs")
    print(f"{'program':<34}{'round trips/s':>15}{'ratio':>8}")
    for name, label in (("client", "hand-written client"), ("traced", "test program, default trace"),
                        ("quiet", "test program, -TRACE=ERROR")):
        median = statistics.median(rates[name])
        print(f"{label:<34}{median:>15.0f}{median / client:>8.2f}")
    print(f"\nWAITTIL ended by WTIME >= 10, {options.waits} waits: late by "
          f"{late['late_median_us']:.0f} us median, {late['late_p99_us']:.0f} us 99th percentile, "
          f"{late['late_max_us']:.0f} us worst")
    if not options.keep:
        shutil.rmtree(work)
    return 0


if __name__ == "__main__":
    sys.exit(main())
