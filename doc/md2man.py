#!/usr/bin/env python3
"""Writes the manual page qvmpts(5) from the Markdown of doc/language.md.

Only what that file uses is read: headings, paragraphs, lists, fenced code,
inline code, links and HTML comments. Usage: md2man.py language.md > qvmpts.5
"""
import re
import sys


def escaped(text):
    text = text.replace("\\", "\\e")
    return text


def inline(text):
    text = escaped(text)
    text = re.sub(r"\[([^]]+)\]\([^)]+\)", r"\1", text)
    text = re.sub(r"`([^`]+)`", r"\\fB\1\\fR", text)
    text = re.sub(r"\*\*([^*]+)\*\*", r"\\fB\1\\fR", text)
    return text


def line_start(text):
    # A line that begins with a dot or a quote would be a request.
    return "\\&" + text if text[:1] in (".", "'") else text


def convert(markdown):
    out = ['.TH QVMPTS 5 "2026" "qvmprepro 1.0.0" "File Formats"', ".SH NAME",
           "qvmpts \\- the test script language of qvmprepro", ".SH DESCRIPTION"]
    lines = markdown.splitlines()
    i = 0
    paragraph_open = False
    while i < len(lines):
        line = lines[i]
        if line.startswith("```"):
            kind = line[3:].strip()
            i += 1
            out.append(".PP")
            if kind == "h":
                out.append("Interface header:")
            out += [".RS 4", ".nf"]
            while not lines[i].startswith("```"):
                out.append(line_start(escaped(lines[i])) if lines[i] else ".sp")
                i += 1
            out += [".fi", ".RE"]
            paragraph_open = False
        elif line.startswith("<!--"):
            pass
        elif line.startswith("# "):
            pass
        elif line.startswith("## "):
            out.append(".SH " + inline(line[3:]).upper())
            paragraph_open = False
        elif line.startswith("### "):
            out.append(".SS " + inline(line[4:]))
            paragraph_open = False
        elif re.match(r"^(- |\d+\. )", line):
            mark = re.match(r"^(- |\d+\. )", line).group(1)
            out.append(".IP \\(bu 2" if mark == "- " else ".IP %s 3" % mark.strip())
            out.append(line_start(inline(line[len(mark):])))
            paragraph_open = True
        elif not line.strip():
            paragraph_open = False
        elif line.startswith("  ") and paragraph_open:
            out.append(line_start(inline(line.strip())))
        else:
            if not paragraph_open:
                out.append(".PP")
                paragraph_open = True
            out.append(line_start(inline(line)))
        i += 1
    out += [".SH SEE ALSO", ".BR qvmprepro (1),", ".BR qvminspect (1)"]
    return "\n".join(out) + "\n"


sys.stdout.write(convert(open(sys.argv[1]).read()))
