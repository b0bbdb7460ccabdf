#!/usr/bin/env python3
"""Checks the x86_64 Linux standard-definitions file against the host's gcc.

Usage: check_host_profile.py QVMPREPRO QVMINSPECT PROFILE

A header that includes the common C library and POSIX headers is analysed
with the profile by qvmprepro (through a small script) and by qvminspect
decls: both must end with status 0 and report nothing. Then qvminspect types
a list of expressions over those headers, and gcc compiles one static
assertion per expression that the type printed is the type gcc gives it.
Exit status 0 when every check holds."""
import os
import re
import subprocess
import sys
import tempfile

HEADERS = ["stdio.h", "stdlib.h", "string.h", "stdint.h", "stdbool.h", "stddef.h", "stdarg.h", "limits.h",
           "errno.h", "signal.h", "time.h", "pthread.h", "setjmp.h", "math.h", "sys/types.h", "sys/stat.h",
           "sys/socket.h", "netinet/in.h", "unistd.h", "fcntl.h"]

# Functions, variables, typedefs, struct fields (through pointers, nested and
# unnamed members) and sizeof, whose type depends on the size pragmas.
EXPRESSIONS = [
    "fopen", "stdin", "fprintf", "malloc", "strtol", "memcpy", 'strlen("ab" "cd")', "time", "sqrt",
    "pthread_create", "signal", "longjmp", "getpid", "read", "open", "socket", "__errno_location",
    "(int8_t)0", "(uint16_t)0", "(int64_t)0", "(uintptr_t)0", "(intmax_t)0", "(size_t)0", "(ptrdiff_t)0",
    "(wchar_t)0", "(_Bool)1", "(pid_t)0", "(off_t)0", "(unsigned __int128)0", "(va_list *)0",
    "sizeof(struct stat)", "sizeof(long)",
    "((struct stat *)0)->st_size", "((struct stat *)0)->st_mtim", "((struct timespec *)0)->tv_nsec",
    "((struct sockaddr_in *)0)->sin_addr.s_addr", "((struct sockaddr_in6 *)0)->sin6_addr",
    "((struct tm *)0)->tm_gmtoff", "((pthread_mutex_t *)0)->__data.__kind", "((pthread_attr_t *)0)->__size",
    "((struct sigaction *)0)->sa_mask", "((div_t *)0)->quot", "((fd_set *)0)->__fds_bits",
    "((struct sockaddr *)0)->sa_family", "(mode_t)0", "(double _Complex)0",
    # members of an unnamed union
    "((struct sigcontext *)0)->fpstate", "((struct sigcontext *)0)->__fpstate_word",
]

SCRIPT = """HEADER "host", "host profile", "1.0"
#include "all.h"
#pid_t self;

SCENARIO host_calls
  CALL getpid()
  VAR self, INIT=0
END SCENARIO
"""


def gcc_include_dir():
    return subprocess.run(["gcc", "-print-file-name=include"], capture_output=True, text=True).stdout.strip()


def run(command, cwd):
    return subprocess.run(command, cwd=cwd, capture_output=True, text=True, errors="replace")


def check_clean(name, result):
    if result.returncode != 0 or result.stderr.strip():
        print("FAIL %s: status %d\n%s" % (name, result.returncode, result.stderr[:2000]))
        return False
    print("PASS %s" % name)
    return True


def assertions(typed):
    lines = ["#include \"all.h\""]
    for expression, type_text in typed:
        lines.append("_Static_assert(__builtin_types_compatible_p(typeof(%s), %s), \"\");" % (expression, type_text))
    return "\n".join(lines) + "\n"


def main():
    prepro, inspect, profile = (os.path.abspath(a) for a in sys.argv[1:4])
    options = ["-STD_DEFINE=" + profile, "-INCL=" + gcc_include_dir()]
    env = dict(os.environ, FENWIRDIR=os.path.dirname(os.path.dirname(profile)))
    os.environ.update(env)
    ok = True
    with tempfile.TemporaryDirectory() as work:
        with open(os.path.join(work, "all.h"), "w") as f:
            f.write("".join("#include <%s>\n" % h for h in HEADERS))
        with open(os.path.join(work, "host.pts"), "w") as f:
            f.write(SCRIPT)
        ok &= check_clean("qvmprepro", run([prepro, "host.pts", "all.h", "host", "-NOLOG"] + options, work))
        ok &= check_clean("qvminspect decls", run([inspect, "decls", "all.h"] + options, work))
        typed = []
        for expression in EXPRESSIONS:
            result = run([inspect, "type", "all.h", expression] + options, work)
            if result.returncode != 0 or result.stderr.strip() or not result.stdout.strip():
                print("FAIL type %s: status %d %s" % (expression, result.returncode, result.stderr.strip()))
                ok = False
                continue
            typed.append((expression, result.stdout.split("\t")[0]))
        source = os.path.join(work, "check.c")
        with open(source, "w") as f:
            f.write(assertions(typed))
        gcc = run(["gcc", "-std=gnu17", "-fsyntax-only", source], work)
        failing = {int(n) - 2 for n in re.findall(r"check\.c:(\d+):\d+: error", gcc.stderr)}
        for index, (expression, type_text) in enumerate(typed):
            if index in failing:
                print("FAIL type %s: printed %s, gcc disagrees" % (expression, type_text))
                ok = False
            else:
                print("PASS type %s: %s" % (expression, type_text))
        if gcc.returncode != 0 and not failing:
            print("FAIL gcc: %s" % gcc.stderr[:2000])
            ok = False
    print("%d expressions typed" % len(typed))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
