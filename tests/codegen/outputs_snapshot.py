#!/usr/bin/env python3
"""Every file qvmprepro writes for every bundled example and every test
script, with its exit status and messages, reduced to one digest per file
and compared with the recorded manifest: a change to the writers that is
meant to keep the output must leave this manifest as it is.

Usage: outputs_snapshot.py QVMPREPRO SOURCE_DIR [--update] [--dump DIR]
       outputs_snapshot.py QVMPREPRO SOURCE_DIR --bench DIR [--dump DIR]

--update rewrites tests/data/codegen/outputs.sha256 from this run.
--dump DIR keeps the masked outputs in DIR/<case>/ to compare with diff.
--bench DIR runs only the benchmark script that bench_analysis.py --write
wrote into DIR and prints its digests (compare two builds' prints).

What changes from run to run (generation date, process identifier, the
identity stamp of a dynamic TSF file, the directory of the run, the program and share paths) is replaced by marks.
"""
import argparse
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile

MANIFEST = os.path.join("tests", "data", "codegen", "outputs.sha256")
VARIANTS = {
    "": [],
    "probe-default": ["-PROBE=DEFAULT"],
    "probe-custom": ["-PROBE=CUSTOM"],
    "notshared": ["-NOTSHARED", "-ALLOCATION"],
    "spg": ["-SPVGEN"],
    "listings": ["-LOG", "-SCRIPTLINES", "-NOCOMMENT", "-FAST", "-TRACE=ERROR",
                 "-THREAD=run_tests", "-ALLOCATION=DYNAMIC"],
}
DATE = re.compile(rb"[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}")
PID = re.compile(rb"@DATE@ [0-9]+")
TSF_ID = re.compile(rb"^ID [0-9]+ [0-9]+$", re.M)
TSF_NOTIFY = re.compile(rb"(trv_notify_tsf \(&\(trv_ctx->trv_ctxrun\), [0-9]+), [0-9]+, [0-9]+\)")


class Case:
    def __init__(self, name, directory, script, header, options):
        self.name = name
        self.directory = directory
        self.script = script
        self.header = header
        self.options = options


def header_for(directory, stem):
    for candidate in (stem + ".h", "iface.h", "api.h"):
        if os.path.exists(os.path.join(directory, candidate)):
            return candidate
    headers = sorted(f for f in os.listdir(directory) if f.endswith(".h"))
    return headers[0] if headers else None


def read_options(directory):
    path = os.path.join(directory, "options")
    if not os.path.exists(path):
        return None
    with open(path) as f:
        return [line.strip() for line in f if line.strip()]


def cases(source):
    found = []
    for root, _dirs, files in os.walk(os.path.join(source, "examples")):
        for f in sorted(files):
            stem, ext = os.path.splitext(f)
            if ext == ".pts" and os.path.exists(os.path.join(root, stem + ".h")):
                rel = os.path.relpath(os.path.join(root, stem), source)
                for variant, options in VARIANTS.items():
                    name = rel + ("@" + variant if variant else "")
                    found.append(Case(name, root, f, stem + ".h", options))
    data = os.path.join(source, "tests", "data")
    for root, _dirs, files in os.walk(data):
        # Probe recordings are no scripts; the text cases' scripts are
        # written in-process with options of their own (their test).
        if os.path.relpath(root, source).startswith(
                tuple(os.path.join("tests", "data", "codegen", d) for d in ("probe", "text"))):
            continue
        for f in sorted(files):
            stem, ext = os.path.splitext(f)
            if ext != ".pts":
                continue
            header = header_for(root, stem)
            if header is None:
                continue
            options = read_options(root)
            rel = os.path.relpath(os.path.join(root, stem), source)
            if options is not None:
                found.append(Case(rel, root, f, header, options))
            else:
                for variant in ("", "probe-custom", "listings", "spg"):
                    name = rel + ("@" + variant if variant else "")
                    found.append(Case(name, root, f, header, VARIANTS[variant]))
    return sorted(found, key=lambda c: c.name)


def mask(data, marks):
    data = DATE.sub(b"@DATE@", data)
    data = PID.sub(b"@DATE@ @PID@", data)
    data = TSF_ID.sub(b"ID @TSFID@", data)
    data = TSF_NOTIFY.sub(rb"\1, @TSFID@)", data)
    for text, mark in marks:
        data = data.replace(text.encode(), mark.encode())
    return data


def files_under(directory):
    """Each file with its modification time: a file the run writes is new or
    has a new time (outputs are renamed into place)."""
    found = set()
    for root, _dirs, files in os.walk(directory):
        for f in files:
            path = os.path.join(root, f)
            found.add((os.path.relpath(path, directory), os.stat(path).st_mtime_ns))
    return found


def run_case(prepro, share, case, work):
    shutil.copytree(case.directory, work)
    os.makedirs(os.path.join(work, "out"), exist_ok=True)
    with open(os.path.join(work, "out", "fctri_c.c"), "w") as f:
        f.write("/* the _Init functions of the telegrams */\n")
    before = files_under(work)
    stem = os.path.splitext(case.script)[0]
    env = dict(os.environ, FENWIRDIR=share, LANG="C", USER="tester", TDC_SHIFT="night")
    env.pop("LC_ALL", None)
    args = [prepro, case.script, case.header, "out/" + stem, "-STD_DEFINE=" + share + "/lib/x86_64-linux-gnu.def"]
    run = subprocess.run(args + case.options, cwd=work, env=env, capture_output=True, timeout=300)
    marks = [(os.path.realpath(work), "@DIR@"), (work, "@DIR@"), (prepro, "@QVMPREPRO@"), (share, "@SHARE@")]
    outputs = {"status": str(run.returncode).encode(), "stdout": mask(run.stdout, marks),
               "stderr": mask(run.stderr, marks)}
    for f in sorted(name for name, _time in files_under(work) - before):
        with open(os.path.join(work, f), "rb") as g:
            outputs[f] = mask(g.read(), marks)
    return outputs


def digests(outputs):
    return {name: hashlib.sha256(data).hexdigest() for name, data in outputs.items()}


def dump(outputs, directory):
    for name, data in outputs.items():
        os.makedirs(os.path.dirname(os.path.join(directory, name)), exist_ok=True)
        with open(os.path.join(directory, name), "wb") as f:
            f.write(data)


def snapshot(prepro, share, selected, dump_dir):
    lines = []
    with tempfile.TemporaryDirectory() as tmp:
        for index, case in enumerate(selected):
            work = os.path.join(tmp, str(index))
            outputs = run_case(prepro, share, case, work)
            if dump_dir:
                dump(outputs, os.path.join(dump_dir, case.name.replace("/", "_")))
            for name, digest in digests(outputs).items():
                lines.append(f"{digest}  {case.name}:{name}")
    return lines


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("prepro")
    parser.add_argument("source")
    parser.add_argument("--update", action="store_true")
    parser.add_argument("--dump")
    parser.add_argument("--bench")
    options = parser.parse_args()
    prepro = os.path.abspath(options.prepro)
    share = os.path.join(os.path.abspath(options.source), "share")
    if options.bench:
        bench = Case("bench", os.path.abspath(options.bench), "bench.pts", "gen.h", [])
        print("\n".join(snapshot(prepro, share, [bench], options.dump)))
        return 0
    lines = snapshot(prepro, share, cases(os.path.abspath(options.source)), options.dump)
    manifest = os.path.join(options.source, MANIFEST)
    if options.update:
        with open(manifest, "w") as f:
            f.write("\n".join(lines) + "\n")
        print(f"{len(lines)} digests written to {manifest}")
        return 0
    with open(manifest) as f:
        recorded = f.read().splitlines()
    if recorded == lines:
        print(f"{len(lines)} outputs as recorded")
        return 0
    old, new = set(recorded), set(lines)
    for line in sorted(old - new, key=lambda l: l.split("  ", 1)[1]):
        print("recorded: " + line)
    for line in sorted(new - old, key=lambda l: l.split("  ", 1)[1]):
        print("now:      " + line)
    print("outputs differ from the manifest; rerun with --dump DIR on both builds and diff, "
          "or with --update when the change is meant")
    return 1


if __name__ == "__main__":
    sys.exit(main())
