#!/usr/bin/env python3
"""Random-script compile check of qvmprepro.

Generates random valid test scripts over random interface headers, runs each
through qvmprepro and, when qvmprepro accepts it (status 0 or 3), compiles the
program with gcc and clang at -std=gnu99 -Wall -Wextra, links it with the
runtime and a simulated system under test that defines every variable and
function of the header, and runs it under a time limit. An accepted script
whose program does not compile, warns, crashes or hangs is a failure, kept as
a case directory that replays on its own.

    randscript.py [--count N] [--seed S] [--jobs J] [--keep DIR]
    randscript.py --case S:I --write DIR      write one case out
    randscript.py --replay DIR [DIR...]       rerun kept cases

Python 3 standard library only.
"""
import argparse
import concurrent.futures
import json
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time
from collections import Counter
from pathlib import Path

sys.dont_write_bytecode = True    # nothing written into the source tree
sys.path.insert(0, str(Path(__file__).resolve().parent))
from scriptgen import ScriptGen  # noqa: E402

SOURCE_DIR = Path(__file__).resolve().parents[2]
CASE_SCRIPT = "case.pts"
PREPRO_TIMEOUT = 60
COMPILE_TIMEOUT = 120
RUN_TIMEOUT = 10

# Outcome classes, worst first.
REJECTED = "rejected"                  # status 5 or 7: the generator's mistake or a false rejection
PREPRO_FAILED = "prepro-failed"        # internal error, crash or hang of qvmprepro
COMPILE_ERROR = "compile-error"
CRASH = "crash"
HANG = "hang"
WARNINGS = "warnings"
OK = "ok"


class Case:
    def __init__(self, name, files, prepro=None, program=None, thread=None):
        self.name = name
        self.fault = ""               # what a kept case shows, when known
        self.files = files            # file name -> text
        self.prepro = prepro or []    # qvmprepro options
        self.program = program or []  # arguments of the generated program
        self.thread = thread          # None, or the -THREAD value ("" without one)

    @staticmethod
    def generate(seed, index, avoid=()):
        name = f"{seed}:{index}"
        gen = ScriptGen(random.Random(name), {"avoid": avoid})
        gen.build()
        files = {CASE_SCRIPT: gen.script_text(name), "iface.h": gen.iface.header_text(),
                 "sut.c": gen.iface.sut_text()}
        files.update(gen.files)
        options = gen.choose_options()
        return Case(name, files, options.prepro, options.program, options.thread)

    def write(self, directory):
        directory.mkdir(parents=True, exist_ok=True)
        for fname, text in self.files.items():
            (directory / fname).write_text(text)
        (directory / "options").write_text("".join(o + "\n" for o in self.prepro))
        (directory / "program_args").write_text("".join(a + "\n" for a in self.program))
        (directory / "case").write_text(self.name + "\n")

    @staticmethod
    def read(directory):
        files = {}
        for path in sorted(directory.iterdir()):
            if path.suffix in (".pts", ".h", ".c") and path.is_file():
                files[path.name] = path.read_text()
        options = [line for line in (directory / "options").read_text().splitlines() if line.strip()] \
            if (directory / "options").exists() else []
        program = [line for line in (directory / "program_args").read_text().splitlines() if line.strip()] \
            if (directory / "program_args").exists() else []
        thread = None
        for option in options:
            if option.upper().startswith("-THREAD"):
                thread = option.split("=", 1)[1] if "=" in option else ""
        case = Case(directory.name, files, options, program, thread)
        if (directory / "fault").exists():
            case.fault = " ".join((directory / "fault").read_text().split())
        return case


class Tools:
    def __init__(self, args):
        build = Path(args.build).resolve()
        self.prepro = str(Path(args.prepro).resolve()) if args.prepro else str(build / "qvmprepro")
        self.runtime_lib = str(Path(args.runtime_lib).resolve()) if args.runtime_lib else \
            str(build / "runtime" / "libqvmruntime.a")
        self.runtime_include = str(SOURCE_DIR / "runtime")
        self.sanitizer_flags = ["-fsanitize=address,undefined", "-fno-omit-frame-pointer"] if args.sanitized else []
        self.share = str(SOURCE_DIR / "share")
        self.std_define = str(SOURCE_DIR / "share" / "lib" / "x86_64-linux-gnu.def")
        self.gcc = shutil.which("gcc")
        self.clang = shutil.which("clang")
        self.gcc_include = subprocess.run([self.gcc, "-print-file-name=include"], capture_output=True,
                                          text=True).stdout.strip()
        for path in (self.prepro, self.runtime_lib):
            if not Path(path).exists():
                sys.exit(f"randscript: {path} not found (build first, or give --build)")


def run(command, cwd, timeout, env=None):
    full = dict(os.environ)
    full.update(env or {})
    try:
        done = subprocess.run(command, cwd=cwd, capture_output=True, text=True, errors="replace", timeout=timeout,
                              env=full)
        return done.returncode, done.stdout + done.stderr, False
    except subprocess.TimeoutExpired as expired:
        out = (expired.stdout or b"") + (expired.stderr or b"")
        return None, out.decode(errors="replace") if isinstance(out, bytes) else out, True


def thread_driver(entry):
    return f"""/* Runs the generated thread entry {entry} in a thread of its own. */
#include "TP.h"
#include <pthread.h>
#include <stdint.h>

TRV_T_THREAD_RETURN {entry}(TRV_CONST TRV_PT_ARG arg);

static void *start(void *arg)
{{
    return {entry}((TRV_PT_ARG)arg);
}}

int main(void)
{{
    TRV_T_ARG arg;
    pthread_t thread;
    void *result = 0;
    arg.trv_filters = 0;
    arg.trv_instance = 0;
    arg.trv_occid = 0;
    arg.trv_riofilename = "case.rio";
    if (pthread_create(&thread, 0, start, &arg) != 0) {{
        return 2;
    }}
    pthread_join(thread, &result);
    return (int)(intptr_t)result;
}}
"""


def compiler_messages(text, ours=()):
    """The error and warning lines of a compiler's output, without positions:
    (those about the generated program, those about our own sources)."""
    program, own = [], []
    for line in text.splitlines():
        m = re.search(r"\b(error|warning): (.*)$", line)
        if m:
            mine = any(line.startswith(f + ":") for f in ours)
            (own if mine else program).append(f"{m.group(1)}: {m.group(2)}")
    return program, own


def normalise(message):
    """A message without the numbers of generated names: the same fault in other cases."""
    message = message.replace("\u2018", "'").replace("\u2019", "'")
    message = re.sub(r"; did you mean '[^']*'\?", "", message)
    message = re.sub(r" \{aka '[^']*'\}", "", message)
    message = re.sub(r"_\d+", "_N", message)
    message = re.sub(r"(?<=[_'\s])[a-z]+_(msg_t|t|u|e|fn)_N", r"<\1>", message)
    return re.sub(r"\b\d+\b", "N", message)


def prepro_messages(listing):
    return [line.strip() for line in listing.splitlines() if re.search(r"-[EFS]-[A-Z]{9}", line)]


def check(case, tools, workdir, run_program=True):
    """Runs one case in workdir; gives its outcome as a dictionary."""
    case.write(workdir)
    out = workdir / "out"
    out.mkdir(exist_ok=True)
    outcome = {"case": case.name, "options": case.prepro, "class": OK, "messages": [], "details": "",
               "fault": case.fault}
    env = {"FENWIRDIR": tools.share, "USER": "tester", "LANG": "C", "LC_ALL": "C"}
    command = [tools.prepro, CASE_SCRIPT, "iface.h", "out/case", "-NOLOG", f"-STD_DEFINE={tools.std_define}",
               f"-INCL={tools.gcc_include}"] + case.prepro
    status, text, timed_out = run(command, workdir, PREPRO_TIMEOUT, env)
    listing = (workdir / "case.lis").read_text(errors="replace") if (workdir / "case.lis").exists() else ""
    outcome["status"] = status
    outcome["codes"] = sorted(set(re.findall(r"-[WE]-([A-Z]{9})", listing)))
    if timed_out or status is None or status < 0 or status not in (0, 3, 5, 7):
        outcome.update({"class": PREPRO_FAILED, "messages": prepro_messages(listing) or [f"status {status}"],
                        "details": text + listing})
        return outcome
    if status >= 5:
        outcome.update({"class": REJECTED, "messages": prepro_messages(listing), "details": listing})
        return outcome
    program = out / "case.c"
    # Probe code includes the probe header written beside it, and has no
    # entry to run.
    probe = any(option.startswith("-PROBE=") for option in case.prepro)
    flags = ["-std=gnu99", "-Wall", "-Wextra", f"-I{tools.runtime_include}", f"-I{workdir}"] + \
        ([f"-I{out}"] if probe else [])
    worst, details, messages = OK, [], []

    def compiled(label, rc, text, sources=()):
        # Messages about the generated program count; those about the
        # simulated system under test or the thread driver are this checker's.
        nonlocal worst
        found, own = compiler_messages(text, sources)
        messages.extend(f"{label} {m}" for m in found)
        if text.strip():
            details.append(f"== {label}\n{text}")
        if rc != 0 and not own:
            worst = COMPILE_ERROR
        elif found and worst == OK:
            worst = WARNINGS
        return own

    # The program as it is shipped, with both compilers.
    for cc in (tools.gcc, tools.clang):
        rc, text, _ = run([cc] + flags + ["-fsyntax-only", str(program)], workdir, COMPILE_TIMEOUT)
        compiled(Path(cc).name, rc, text)
    outcome.update({"class": worst, "messages": messages, "details": "\n".join(details)})
    if worst == COMPILE_ERROR or not run_program or probe:
        return outcome
    # Built for the run in its debug form, where a failing verdict does not
    # end the scenario: the whole script runs. With the simulated system
    # under test (and the thread driver of a thread entry), by gcc.
    sources = [str(workdir / "sut.c")]
    if case.thread is not None:
        found = re.search(r"TRV_T_THREAD_RETURN\s+(\w+)\s+TRV_DP", program.read_text(errors="replace"))
        if not found:
            outcome.update({"class": COMPILE_ERROR, "messages": messages + ["no thread entry"]})
            return outcome
        (workdir / "thread_main.c").write_text(thread_driver(found.group(1)))
        sources.append(str(workdir / "thread_main.c"))
    rc, text, _ = run([tools.gcc] + flags + tools.sanitizer_flags + ["-DTRV_OSTREL_DEBUG", str(program)] +
                      sources + [tools.runtime_lib, "-lpthread", "-o", str(out / "prog")], workdir, COMPILE_TIMEOUT)
    own = compiled("gcc-debug", rc, text, sources)
    outcome.update({"class": worst, "messages": messages, "details": "\n".join(details)})
    if own or (rc != 0 and worst != COMPILE_ERROR):
        outcome.update({"class": "generator-sut", "messages": own or ["link failed"]})
        return outcome
    if worst == COMPILE_ERROR:
        return outcome
    # MALLOC_PERTURB_ fills fresh heap blocks with garbage: a program that
    # reads memory it never set fails every time, not now and then.
    env = {"QVM_RUN_QUIET": "1", "QVM_RDV_COUNT": "1", "QVM_RDV_TIMEOUT": "50", "QVM_TESTER_TIMEOUT": "20",
           "QVM_WAITTIL_LIMIT": "2000", "QVM_TESTER_DIR": str(out), "MALLOC_PERTURB_": "165"}
    started = time.monotonic()
    rc, text, timed_out = run(["./prog", "-RIO=case"] + case.program, out, RUN_TIMEOUT, env)
    outcome["run"] = {"status": rc, "seconds": round(time.monotonic() - started, 2)}
    if timed_out:
        outcome.update({"class": HANG, "messages": outcome["messages"] + [f"no end within {RUN_TIMEOUT} s"]})
    elif rc is not None and rc < 0:
        outcome.update({"class": CRASH, "messages": outcome["messages"] + [f"signal {-rc}"],
                        "details": outcome["details"] + "\n== run\n" + text})
    return outcome


# ---- reduction of a kept case ---------------------------------------------

BLOCK_WORDS = ("SCENARIO", "PROC", "CALLBACK", "PROCSEND", "IF", "WHILE", "CASE", "INITIALIZATION", "TERMINATION",
               "EXCEPTION", "INSTANCE")


def script_blocks(lines):
    """(first, last) line ranges of the script's blocks, largest first."""
    blocks, stack = [], []
    for i, line in enumerate(lines):
        words = line.lstrip("%+~ABCDEFGHIJKLMNOPQRSTUVWXYZ").split()
        if not words:
            continue
        if words[0] == "END" and len(words) > 1 and stack:
            first, word = stack.pop()
            blocks.append((first, i))
        elif words[0] in BLOCK_WORDS and (words[0] not in ("INITIALIZATION", "TERMINATION", "EXCEPTION") or
                                          len(words) == 1) and not (words[0] == "INSTANCE" and ":" not in line):
            stack.append((i, words[0]))
        elif words[0] == "WHEN" and len(words) == 3 and words[2] == "=>":
            pass
    return sorted(blocks, key=lambda b: b[0] - b[1])


def reduce_lines(lines, test, blocks=None):
    """Removes blocks, then runs of lines, as long as the test still holds."""
    for first, last in blocks or []:
        if last < len(lines):
            candidate = lines[:first] + [None] * (last - first + 1) + lines[last + 1:]
            if test([line for line in candidate if line is not None]):
                lines = candidate
    lines = [line for line in lines if line is not None]
    chunk = max(1, len(lines) // 2)
    while True:
        i, changed = 0, False
        while i < len(lines):
            candidate = lines[:i] + lines[i + chunk:]
            if candidate and test(candidate):
                lines, changed = candidate, True
            else:
                i += chunk
        if not changed:
            if chunk == 1:
                return lines
            chunk = max(1, chunk // 2)


def sut_for_header(sut, header):
    """The definitions of sut.c whose names the header still declares."""
    paragraphs = sut.split("\n\n")
    kept = []
    for paragraph in paragraphs:
        names = re.findall(r"\b((?:g|fn|rs)_\w+|\w+_Init)\b", paragraph)
        if names and not re.search(r"\b" + re.escape(names[0]) + r"\b", header):
            continue
        kept.append(paragraph)
    return "\n\n".join(kept)


def minimise(case, tools, target, scratch, log):
    """Reduces a case while its outcome keeps the target message (a regular expression over the normalised
    messages) or class (crash, hang), without new error messages."""
    counter = [0]
    needs_run = target in (CRASH, HANG)

    def outcome_of(candidate):
        counter[0] += 1
        workdir = scratch / f"try{counter[0]}"
        result = check(candidate, tools, workdir, run_program=needs_run)
        shutil.rmtree(workdir, ignore_errors=True)
        return result

    def errors(outcome):
        return {normalise(m) for m in outcome["messages"] if " error: " in m}

    first = outcome_of(case)
    allowed = errors(first)
    codes = set(first["codes"])

    def holds(outcome):
        if outcome["class"] in (REJECTED, PREPRO_FAILED):
            return False
        if needs_run:
            return outcome["class"] == target
        found = [normalise(m) for m in outcome["messages"]]
        return any(re.search(target, m) for m in found) and errors(outcome) <= allowed and \
            set(outcome["codes"]) <= codes

    if not holds(first):
        sys.exit(f"randscript: the case does not show {target!r}")
    current = Case(case.name, dict(case.files), list(case.prepro), list(case.program), case.thread)

    def with_file(fname, lines):
        files = dict(current.files)
        files[fname] = "\n".join(lines) + "\n"
        if fname == "iface.h" and "sut.c" in files:
            files["sut.c"] = sut_for_header(case.files["sut.c"], files["iface.h"])
        return Case(current.name, files, current.prepro, current.program, current.thread)

    for fname in [CASE_SCRIPT] + sorted(f for f in case.files if f.endswith(".pts") and f != CASE_SCRIPT) + \
            ["iface.h", CASE_SCRIPT]:
        if fname not in current.files:
            continue
        lines = current.files[fname].rstrip("\n").split("\n")
        blocks = script_blocks(lines) if fname.endswith(".pts") else None
        lines = reduce_lines(lines, lambda cand: holds(outcome_of(with_file(fname, cand))), blocks)
        current = with_file(fname, lines)
        log(f"{fname}: {len(lines)} lines ({counter[0]} runs)")
    options = list(current.prepro)
    for option in list(options):
        trial = Case(current.name, current.files, [o for o in options if o != option], current.program,
                     current.thread if not option.upper().startswith("-THREAD") else None)
        if holds(outcome_of(trial)):
            options.remove(option)
            current = trial
    log(f"options: {' '.join(current.prepro) or '(none)'}")
    return current


def is_failure(outcome, warnings_fail):
    cls = outcome["class"]
    if cls in (OK, REJECTED):
        return False
    if cls == WARNINGS:
        return warnings_fail
    return True


def keep(case, outcome, directory):
    target = directory / case.name.replace(":", "-")
    if target.exists():
        shutil.rmtree(target)
    case.write(target)
    (target / "compile.txt").write_text(outcome.get("details", ""))
    (target / "outcome.json").write_text(json.dumps(outcome, indent=1) + "\n")
    return target


def run_cases(cases, tools, args):
    results = []
    keep_dir = Path(args.keep).resolve() if args.keep else None
    scratch = Path(tempfile.mkdtemp(prefix="randscript-"))

    def one(case):
        workdir = scratch / case.name.replace(":", "-")
        try:
            outcome = check(case, tools, workdir)
        except Exception as error:  # a fault of this checker: shown, not hidden
            outcome = {"case": case.name, "class": "checker-error", "messages": [repr(error)], "details": ""}
        if keep_dir and (is_failure(outcome, args.warnings == "fail") or
                         (outcome["class"] == REJECTED and args.keep_rejected) or
                         outcome["class"] == WARNINGS):
            outcome["kept"] = str(keep(case, outcome, keep_dir))
        if not args.keep_work:
            shutil.rmtree(workdir, ignore_errors=True)
        return outcome

    with concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs) as pool:
        for outcome in pool.map(one, cases):
            results.append(outcome)
            if args.verbose:
                print(f"{outcome['case']}: {outcome['class']}", flush=True)
    if not args.keep_work:
        shutil.rmtree(scratch, ignore_errors=True)
    else:
        print(f"work directories: {scratch}")
    return results


def report(results, warnings_fail):
    total = len(results)
    by_class = Counter(r["class"] for r in results)
    print(f"randscript: {total} scripts: " + ", ".join(f"{n} {c}" for c, n in by_class.most_common()))
    rejected = by_class[REJECTED]
    if total:
        print(f"rejection rate: {100.0 * rejected / total:.1f}%")
    for cls in (PREPRO_FAILED, COMPILE_ERROR, CRASH, HANG, WARNINGS, "generator-sut", "checker-error", REJECTED):
        group = [r for r in results if r["class"] == cls]
        if not group:
            continue
        print(f"\n== {cls} ({len(group)})")
        signatures = Counter()
        example = {}
        for r in group:
            for message in dict.fromkeys(normalise(m) for m in r["messages"]):
                signatures[message] += 1
                example.setdefault(message, r["case"])
        for message, count in signatures.most_common(40):
            print(f"  {count:4d}  {message[:200]}   (e.g. {example[message]})")
    failures = [r for r in results if is_failure(r, warnings_fail)]
    for r in failures:
        if r.get("fault"):
            print(f"\n{r['case']} ({r['class']}): {r['fault']}")
    return failures


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--count", type=int, default=200, help="number of scripts (default 200)")
    parser.add_argument("--seed", default="1", help="seed of the run (default 1)")
    parser.add_argument("--first", type=int, default=0, help="index of the first script")
    parser.add_argument("--jobs", type=int, default=2, help="scripts checked at once (default 2)")
    parser.add_argument("--warnings", choices=["fail", "report"], default="fail",
                        help="whether compiler warnings are failures (default) or only reported")
    parser.add_argument("--keep", help="directory where failing cases are written")
    parser.add_argument("--keep-rejected", action="store_true", help="keep rejected scripts too")
    parser.add_argument("--keep-work", action="store_true", help="leave the work directories")
    parser.add_argument("--max-reject", type=float, default=100.0,
                        help="fail when more than this percentage of the scripts is rejected")
    parser.add_argument("--replay", nargs="+", metavar="DIR",
                        help="rerun kept cases: case directories, or directories that hold them")
    parser.add_argument("--case", help="one case, SEED:INDEX")
    parser.add_argument("--avoid", type=lambda text: [w for w in text.split(",") if w], default=[],
                        help="shapes of known faults to leave out, comma-separated: message-refs (message "
                             "variables outside MATCHING, SEND and DEF_MESSAGE), cleanup, struct-returns, "
                             "notshared, nonil-strings (NONIL for character pointers), allocation (-ALLOCATION)")
    parser.add_argument("--write", help="with --case: write the case into this directory and stop")
    parser.add_argument("--build", default=str(SOURCE_DIR / "build"), help="build directory (default build/)")
    parser.add_argument("--prepro", help="qvmprepro to check (default <build>/qvmprepro)")
    parser.add_argument("--runtime-lib", help="runtime library (default <build>/runtime/libqvmruntime.a)")
    parser.add_argument("--sanitized", action="store_true",
                        help="the runtime library was built with the sanitizers: build each run with them too")
    parser.add_argument("--minimise", metavar="DIR", help="reduce the kept case in DIR (see --target, --out)")
    parser.add_argument("--target", help="with --minimise: a regular expression over the normalised compiler "
                                         "messages to keep, or crash or hang (default: the first error)")
    parser.add_argument("--out", help="with --minimise: where the reduced case goes (default DIR-min)")
    parser.add_argument("--json", help="write every outcome to this file")
    parser.add_argument("--verbose", action="store_true")
    args = parser.parse_args()

    if args.minimise:
        tools = Tools(args)
        source = Path(args.minimise)
        case = Case.read(source)
        target = args.target
        if target is None:
            outcome = check(case, tools, Path(tempfile.mkdtemp(prefix="randscript-")), run_program=True)
            found = [normalise(m) for m in outcome["messages"] if " error: " in m] or \
                [normalise(m) for m in outcome["messages"]]
            target = outcome["class"] if outcome["class"] in (CRASH, HANG) else re.escape(found[0])
        scratch = Path(tempfile.mkdtemp(prefix="randscript-min-"))
        reduced = minimise(case, tools, target, scratch, lambda text: print(text, flush=True))
        shutil.rmtree(scratch, ignore_errors=True)
        out = Path(args.out) if args.out else source.with_name(source.name + "-min")
        if out.exists():
            shutil.rmtree(out)
        reduced.write(out)
        result = check(reduced, tools, Path(tempfile.mkdtemp(prefix="randscript-")))
        (out / "compile.txt").write_text(result.get("details", ""))
        print(f"reduced case: {out} ({result['class']}; target {target})")
        return 0

    if args.case:
        seed, index = args.case.rsplit(":", 1)
        cases = [Case.generate(seed, int(index), args.avoid)]
        if args.write:
            cases[0].write(Path(args.write))
            print(f"written: {args.write}")
            return 0
    elif args.replay:
        cases = []
        for given in args.replay:
            path = Path(given)
            dirs = [path] if (path / "options").exists() else sorted(p for p in path.iterdir() if p.is_dir())
            cases += [Case.read(d) for d in dirs]
    else:
        cases = [Case.generate(args.seed, i, args.avoid) for i in range(args.first, args.first + args.count)]
    tools = Tools(args)
    results = run_cases(cases, tools, args)
    if args.json:
        Path(args.json).write_text(json.dumps(results, indent=1) + "\n")
    failures = report(results, args.warnings == "fail")
    rate = 100.0 * sum(r["class"] == REJECTED for r in results) / max(1, len(results))
    status = 0
    if failures:
        print(f"\n{len(failures)} failing: " + " ".join(r["case"] for r in failures[:30]))
        status = 1
    if rate > args.max_reject:
        print(f"\nrejection rate {rate:.1f}% above {args.max_reject}%")
        status = 1
    if args.replay and any(r["class"] == REJECTED for r in results):
        status = 1
    return status


if __name__ == "__main__":
    sys.exit(main())
