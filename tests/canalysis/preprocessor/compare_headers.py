#!/usr/bin/env python3
"""Preprocesses real system headers with `qvminspect cpp` and with `gcc -E -P
-undef` given the same predefined macros, and compares the two outputs token
by token (#line lines set aside).

Usage: compare_headers.py QVMINSPECT PPCOMPARE_DIR [header ...]
Exit status 0 when every header matches and qvminspect reported nothing fatal
or internal."""
import os, subprocess, sys, tempfile

HEADERS = ["stdio.h", "stdlib.h", "string.h", "stdint.h", "limits.h", "errno.h", "signal.h",
           "time.h", "sys/types.h", "sys/socket.h", "netinet/in.h"]

# Names both sides see: the preprocessor's own predefined macros and the
# target macro that the multiarch headers need to choose their variant.
DEFINES = ["TRV_WIN32=1", "USE_QVM=1", "TRV_CPLUSPLUS_LANGUAGE=0", "__x86_64__=1"]

# gcc keeps its standard names even with -undef; this preprocessor has none of
# them (and gives __STDC__ the value 0), so they are removed on gcc's side.
GCC_STANDARD_NAMES = ["__STDC_VERSION__", "__STDC_HOSTED__", "__STDC_UTF_16__", "__STDC_UTF_32__",
                      "__STDC_IEC_559__", "__STDC_IEC_559_COMPLEX__", "__STDC_ISO_10646__",
                      "__STDC_IEC_60559_COMPLEX__", "__STDC_IEC_60559_BFP__"]


# Uses of the headers' macros, expanded on both sides (names a header does not
# define pass through unchanged).
USES = ("EOF BUFSIZ stdin EXIT_FAILURE RAND_MAX MB_CUR_MAX INT64_MAX INT8_MIN UINT64_C(7) INTMAX_C(1) "
        "SIZE_MAX INT_MAX LONG_MIN CHAR_BIT EINVAL ERANGE errno SIGSEGV SIG_IGN CLOCKS_PER_SEC "
        "AF_INET SOCK_STREAM INADDR_ANY IN6_IS_ADDR_LOOPBACK(a) FD_SET(1, s) getc(f) assert(x)")


def gcc_include_dirs():
    probe = subprocess.run(["gcc", "-E", "-Wp,-v", "-x", "c", "-"], input="", capture_output=True, text=True)
    dirs, inside = [], False
    for line in probe.stderr.splitlines():
        if line.startswith("#include <...> search starts here"):
            inside = True
        elif line.startswith("End of search list"):
            inside = False
        elif inside:
            dirs.append(line.strip())
    return dirs


def main():
    inspect, compare_dir = sys.argv[1], sys.argv[2]
    headers = sys.argv[3:] or HEADERS
    sys.path.insert(0, compare_dir)
    import ppcompare

    dirs = gcc_include_dirs()
    failures = 0
    with tempfile.TemporaryDirectory() as work:
        for header in headers:
            source = os.path.join(work, "t.c")
            with open(source, "w") as f:
                f.write("#include <%s>\n%s\n" % (header, USES))
            ours = subprocess.run([inspect, "cpp", source, "-STD_DEFINE=", "-INCL=" + ",".join(dirs),
                                   "-DEFINE=__x86_64__=1"], capture_output=True, text=True, errors="replace")
            gcc = subprocess.run(["gcc", "-E", "-P", "-undef", "-nostdinc"] + ["-I" + d for d in dirs] +
                                 ["-D" + d for d in DEFINES] + ["-U" + n for n in GCC_STANDARD_NAMES] +
                                 [source], capture_output=True, text=True, errors="replace")
            fatal = [l for l in ours.stderr.splitlines() if l.startswith(("Fenwir-F", "Fenwir-S"))]
            a, b = ppcompare.tokens(ours.stdout), ppcompare.tokens(gcc.stdout)
            if fatal or ours.returncode >= 7 or gcc.returncode != 0:
                print("FAIL %s: status %d %s %s" % (header, ours.returncode, fatal, gcc.stderr[:200]))
                failures += 1
            elif a != b:
                i = next((k for k, (x, y) in enumerate(zip(a, b)) if x != y), min(len(a), len(b)))
                print("FAIL %s: token %d: got %r, want %r" % (header, i, " ".join(a[i:i + 8]), " ".join(b[i:i + 8])))
                failures += 1
            else:
                print("PASS %s (%d tokens)" % (header, len(a)))
    print("%d passed, %d failed" % (len(headers) - failures, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
