#!/usr/bin/env python3
"""Checks the test language reference against the program it describes.

Every ```pts block of doc/language.md is run through qvmprepro with the
interface of the last ```h block before it and must end with status 0, or
with the status and message code of its first line ("-- status 5 UNEXPINCL").
The reserved words it lists are the keywords of the script lexer, and the
manual page is what doc/md2man.py makes of the reference.
"""
import os
import re
import subprocess
import sys
import tempfile

prepro, source = sys.argv[1], sys.argv[2]
doc = open(os.path.join(source, "doc", "language.md")).read()
failures = []


def blocks(text):
    for match in re.finditer(r"^```(\w+)\n(.*?)^```$", text, re.M | re.S):
        yield match.group(1), match.group(2)


def run_examples():
    interface = ""
    count = 0
    for kind, body in blocks(doc):
        if kind == "h":
            interface = body
            continue
        if kind != "pts":
            continue
        count += 1
        wanted = re.match(r"-- status (\d+)(?: (\w+))?", body)
        status, code = (int(wanted.group(1)), wanted.group(2)) if wanted else (0, None)
        with tempfile.TemporaryDirectory() as work:
            open(os.path.join(work, "doc.h"), "w").write(interface)
            open(os.path.join(work, "x.pts"), "w").write(body)
            # What the examples include.
            open(os.path.join(work, "more.pts"), "w").write("")
            env = dict(os.environ, FENWIRDIR=os.path.join(source, "share"), LANG="C")
            run = subprocess.run([prepro, "x.pts", "doc.h", "x",
                                  "-STD_DEFINE=" + os.path.join(source, "share/lib/x86_64-linux-gnu.def")],
                                 cwd=work, env=env, capture_output=True, text=True)
            first = body.splitlines()[1]
            if run.returncode != status or (code and "-%s," % code not in run.stderr):
                failures.append("example %d (%s): status %d, wanted %d %s\n%s" %
                                (count, first, run.returncode, status, code or "", run.stderr))
    if count < 10:
        failures.append("only %d examples found" % count)


def lexer_keywords():
    lexer = open(os.path.join(source, "src", "script", "stxpti_lexer.cpp")).read()
    table = lexer[lexer.index("constexpr Keyword kKeywords[]"):]
    table = table[:table.index("};")]
    words = set(re.findall(r'\{"([A-Z_]+)", TK_', table))
    # Words the lexer matches outside its keyword table.
    words |= {"COMMENT", "INIT", "EV", "VA", "FORMAT", "VIRTUAL", "MATCHING", "MATCHED", "NOTMATCHING",
              "NOTMATCHED"}
    return words


def check_reserved_words():
    listed = doc[doc.index("<!-- reserved-words -->"):doc.index("<!-- end reserved-words -->")]
    listed = set(listed.split()[3:])
    keywords = lexer_keywords()
    if listed != keywords:
        failures.append("reserved words: missing %s, extra %s" %
                        (sorted(keywords - listed), sorted(listed - keywords)))


def check_manual_page():
    made = subprocess.run([sys.executable, os.path.join(source, "doc", "md2man.py"),
                           os.path.join(source, "doc", "language.md")], capture_output=True, text=True)
    kept = open(os.path.join(source, "man", "qvmpts.5")).read()
    if made.returncode != 0 or made.stdout != kept:
        failures.append("man/qvmpts.5 is not what doc/md2man.py makes of doc/language.md: "
                        "run python3 doc/md2man.py doc/language.md > man/qvmpts.5")


run_examples()
check_reserved_words()
check_manual_page()
for failure in failures:
    print(failure)
sys.exit(1 if failures else 0)
