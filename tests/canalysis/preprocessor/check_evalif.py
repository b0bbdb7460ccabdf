#!/usr/bin/env python3
"""Checks the #if evaluator against an evaluation written here.

Usage: check_evalif.py DRIVER [COUNT] [SEED]

Generates expressions (numbers in every base with suffixes, character
constants with escapes, names, sizeof, every operator, parentheses, and a
share of faulty texts), runs them through the driver
(refcheck/evalif_driver.cpp) and compares the value and the warnings with a
lexer and precedence-climbing parser of this script that follow the rules of
the language: 64-bit values with an unsigned flag, an unsigned operation
reducing its left operand to the low 32 bits, unsigned shifts on 32 bits,
division by zero taken as division by one, and a 32-bit result.
"""
import random
import subprocess
import sys

SIZES = {"char": 1, "short": 2, "int": 4, "long": 4}
TWO_CHAR = ["&&", "||", "<<", ">>", "==", "!=", "<=", ">="]
SINGLE = "!%&()*+,-./:<=>?@[]^{|}~"
BINARY = {  # operator: precedence (higher binds tighter)
    "||": 2, "&&": 3, "|": 4, "^": 5, "&": 6, "==": 7, "!=": 7,
    "<": 8, ">": 8, "<=": 8, ">=": 8, "<<": 9, ">>": 9, "+": 10, "-": 10,
    "*": 11, "/": 11, "%": 11,
}
CONDITIONAL = 1


class ExprError(Exception):
    pass


def s64(x):
    return ((x + (1 << 63)) % (1 << 64)) - (1 << 63)


def s32(x):
    return ((x + (1 << 31)) % (1 << 32)) - (1 << 31)


def is_ident(c):
    return c.isascii() and (c.isalnum() or c == "_")


class Lexer:
    def __init__(self, text, warnings):
        self.text = text
        self.pos = 0
        self.warnings = warnings

    def peek(self, k=0):
        return self.text[self.pos + k] if self.pos + k < len(self.text) else ""

    def next(self):
        """(kind, value, unsigned); kind is 'EOF', 'VAL', 'NAME' or an operator."""
        while self.peek() and self.peek() in " \t\n\r\f":
            self.pos += 1
        c = self.peek()
        if not c:
            return ("EOF", 0, False)
        if c + self.peek(1) in TWO_CHAR:
            self.pos += 2
            return (c + self.text[self.pos - 1], 0, False)
        if c.isdigit():
            return self.number()
        if c == "'":
            return self.character()
        if c.isalpha() or c == "_":
            start = self.pos
            while is_ident(self.peek()):
                self.pos += 1
            if self.text[start:self.pos] == "sizeof":
                return self.sizeof()
            return ("NAME", 0, False)
        self.pos += 1
        if c in SINGLE:
            return (c, 0, False)
        raise ExprError("character")

    def number(self):
        start = self.pos
        while is_ident(self.peek()) or self.peek() == ".":
            self.pos += 1
        token = self.text[start:self.pos]
        if "." in token:
            raise ExprError("dot")
        if len(token) >= 3 and token[:2].lower() == "0x":
            base, digits = 16, token[2:]
        else:
            base, digits = (8 if token[0] == "0" else 10), token
        value, i = 0, 0
        valid = "0123456789abcdefABCDEF" if base == 16 else "0123456789"
        while i < len(digits) and digits[i] in valid:
            value = (value * base + int(digits[i], 16)) % (1 << 64)
            i += 1
        suffix = digits[i:]
        if any(ch not in "lLuU" for ch in suffix):
            raise ExprError("suffix")
        return ("VAL", s64(value), "u" in suffix.lower() or value >= (1 << 63))

    def escape(self):
        c = self.peek()
        self.pos += 1
        simple = {"a": 7, "b": 8, "e": 27, "f": 12, "n": 10, "r": 13, "t": 9, "v": 11}
        if c in simple:
            return simple[c]
        if c == "x":
            value = 0
            while self.peek() and self.peek() in "0123456789abcdefABCDEF":
                value = value * 16 + int(self.peek(), 16)
                self.pos += 1
            return value
        if c == "^":
            d = self.peek()
            self.pos += 1
            return 127 if d == "?" else ord(d) & 0x9F
        if c in "01234567":
            value = int(c)
            for _ in range(2):
                if self.peek() and self.peek() in "01234567":
                    value = value * 8 + int(self.peek())
                    self.pos += 1
            return value
        return ord(c)

    def character(self):
        self.pos += 1
        start = self.pos
        if self.peek() in ("", "'", "\n"):
            raise ExprError("empty character")
        if self.peek() == "\\":
            self.pos += 1
            value = self.escape()
        else:
            value = ord(self.peek())
            self.pos += 1
        if self.peek() != "'":
            raise ExprError("several characters are not generated here")
        if value > 255:
            self.warnings.append("NOFITBYTE")
        self.pos += 1
        value &= 0xFF
        return ("VAL", value - 256 if value >= 128 else value, False)

    def sizeof(self):
        while self.peek() and self.peek() in " \t\n\r\f":
            self.pos += 1
        if self.peek() != "(":
            raise ExprError("sizeof")
        self.pos += 1
        start, depth = self.pos, 1
        while self.peek():
            c = self.peek()
            self.pos += 1
            depth += {"(": 1, ")": -1}.get(c, 0)
            if depth == 0:
                return ("VAL", SIZES.get(self.text[start:self.pos - 1], 0), False)
        raise ExprError("sizeof")


class Parser:
    def __init__(self, text):
        self.warnings = []
        self.lexer = Lexer(text, self.warnings)
        self.token = None

    def look(self):
        if self.token is None:
            self.token = self.lexer.next()
        return self.token

    def take(self):
        token = self.look()
        self.token = None
        return token

    def expect(self, kind):
        if self.take()[0] != kind:
            raise ExprError("expected " + kind)

    def exp1(self):
        value = self.exp(0)
        while self.look()[0] == ",":
            self.take()
            value = self.exp(0)
        return value

    def primary(self):
        kind, value, unsigned = self.take()
        if kind == "VAL":
            return (value, unsigned)
        if kind == "NAME":
            return (0, False)
        if kind == "(":
            inner = self.exp1()
            self.expect(")")
            return inner
        if kind in ("-", "+", "~", "!"):
            v, u = self.primary()
            if kind == "-":
                return (s64(-v), u)
            if kind == "~":
                return (s64(~v), u)
            if kind == "!":
                return (int(v == 0), False)
            return (v, u)
        raise ExprError("operand expected")

    def exp(self, minimum):
        left = self.primary()
        while True:
            kind = self.look()[0]
            if kind == "?" and CONDITIONAL >= minimum:
                self.take()
                middle = self.exp(0)
                self.expect(":")
                right = self.exp(CONDITIONAL)
                left = middle if left[0] != 0 else right
            elif kind in BINARY and BINARY[kind] > minimum:
                self.take()
                right = self.exp(BINARY[kind])
                left = self.binary(kind, left, right)
            else:
                return left

    def binary(self, op, left, right):
        (lv, lu), (rv, ru) = left, right
        if op in ("<<", ">>"):
            if lu:
                x, n = lv & 0xFFFFFFFF, rv & 31
                return ((x << n) & 0xFFFFFFFF if op == "<<" else x >> n, True)
            n = rv & 63
            return (s64(lv << n) if op == "<<" else lv >> n, False)
        if op == "&&":
            return (int(lv != 0 and rv != 0), False)
        if op == "||":
            return (int(lv != 0 or rv != 0), False)
        unsigned = lu or ru
        a = lv & 0xFFFFFFFF if unsigned else lv
        b = rv
        if op in ("/", "%"):
            if b == 0:
                self.warnings.append("DIVISZERO")
                b = 1
            q = abs(a) // abs(b)
            q = -q if (a < 0) != (b < 0) else q
            return (s64(q) if op == "/" else s64(a - q * b), unsigned)
        arithmetic = {"*": a * b, "+": a + b, "-": a - b, "&": a & b, "^": a ^ b, "|": a | b}
        if op in arithmetic:
            return (s64(arithmetic[op]), unsigned)
        comparison = {"==": a == b, "!=": a != b, "<": a < b, ">": a > b, "<=": a <= b, ">=": a >= b}
        return (int(comparison[op]), False)


def evaluate(text):
    """(value, warnings) as the evaluator must give them."""
    if not text.strip(" \t\n\r\f"):
        return 0, ["EMPTYEXPR"]
    parser = Parser(text)
    try:
        value = parser.exp1()
        if parser.look()[0] != "EOF":
            parser.warnings.append("ERRAFTEND")
        return s32(value[0]), parser.warnings
    except ExprError:
        return 0, parser.warnings + ["EXPERRONE"]


class Generator:
    def __init__(self, rng):
        self.rng = rng

    def number(self):
        r = self.rng
        value = r.choice([0, 1, 2, 7, 8, 31, 32, 63, 64, 255, 2 ** 31 - 1, 2 ** 31, 2 ** 32 - 1, 2 ** 32,
                          2 ** 63 - 1, 2 ** 63, 2 ** 64 - 1, r.randint(0, 100), r.randint(0, 2 ** 40),
                          r.randint(0, 2 ** 66)])
        form = r.random()
        if form < 0.5:
            text = str(value)
        elif form < 0.75:
            text = r.choice(["0x", "0X"]) + format(value, r.choice(["x", "X"]))
        else:
            text = "0" + format(value, "o")
            if r.random() < 0.2:
                text = "0" + "".join(r.choice("0123456789") for _ in range(r.randint(1, 4)))  # 8 and 9 pass
        return text + r.choice(["", "", "", "u", "U", "l", "L", "ul", "LU", "ll", "ULL", "lUl"])

    def character(self):
        r = self.rng
        return "'" + r.choice([
            r.choice("azAZ09 +-*/()?:\"$@#"),
            "\\" + r.choice("abefnrtv\\'\"q?"),
            "\\x" + format(r.randint(0, 0x1FF), r.choice(["x", "X", "02x"])),
            "\\" + format(r.randint(0, 0o777), "o"),
            "\\^" + r.choice("a@Z?["),
        ]) + "'"

    def leaf(self):
        r = self.rng.random()
        if r < 0.6:
            return self.number()
        if r < 0.8:
            return self.character()
        if r < 0.9:
            return self.rng.choice(["x", "FOO", "_a1", "defined_not"])
        return "sizeof" + self.rng.choice(["", " "]) + "(" + self.rng.choice(
            ["int", "char", "short", "long", "long long", "struct s", " int"]) + ")"

    def exp(self, depth):
        r = self.rng
        if depth <= 0 or r.random() < 0.25:
            return self.leaf()
        choice = r.random()
        if choice < 0.15:
            return r.choice(["-", "+", "~", "!"]) + r.choice(["", " "]) + self.exp(depth - 1)
        if choice < 0.3:
            return "(" + self.exp(depth - 1) + ")"
        if choice < 0.38:
            return self.exp(depth - 1) + " ? " + self.exp(depth - 1) + " : " + self.exp(depth - 1)
        if choice < 0.42:
            return "(" + self.exp(depth - 1) + ", " + self.exp(depth - 1) + ")"
        op = r.choice(list(BINARY) + ["/", "%", "<<", ">>", "+", "-", "*"])
        space = r.choice(["", " "])
        return self.exp(depth - 1) + space + op + space + self.exp(depth - 1)

    def expression(self):
        r = self.rng
        text = self.exp(r.randint(1, 6))
        fault = r.random()
        if fault < 0.04:
            text += " " + r.choice(["7", ")", "x", "(1)", "'a'", "= 2", ": 3"])  # text after the end
        elif fault < 0.08:
            at = r.randint(0, len(text))
            text = text[:at] + r.choice(["$", "\"s\"", "#", "1.5", " .", "`", "0x1g", "07q"]) + text[at:]
        elif fault < 0.11:
            at = r.randint(0, len(text))
            text = text[:at] + text[at + 1:]  # a character lost
        elif fault < 0.12:
            text = r.choice(["", "   ", "\t"])
        return text


def main():
    driver = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 600
    seed = int(sys.argv[3]) if len(sys.argv) > 3 else 4242
    generator = Generator(random.Random(seed))
    expressions = []
    while len(expressions) < count:
        text = generator.expression()
        try:
            evaluate(text)
        except ExprError:
            pass
        if "several characters" in repr(text):
            continue
        # Multi-character constants have an address as value: not comparable.
        probe = Parser(text)
        try:
            probe.exp1()
        except ExprError as error:
            if "several characters" in str(error):
                continue
        expressions.append(text)
    run = subprocess.run([driver], input="".join(e + "\n" for e in expressions), capture_output=True,
                         text=True, check=True)
    answers = run.stdout.splitlines()
    failures = 0
    counts = {}
    for text, answer in zip(expressions, answers):
        value, warnings = evaluate(text)
        for w in warnings:
            counts[w] = counts.get(w, 0) + 1
        got_value, got_codes = answer.split(" ", 1)
        got = got_codes.split(",") if got_codes != "-" else []
        if "EXPERRONE" in warnings:
            # Which warnings precede the error depends on how far the parser
            # read ahead; the value and the single error are what count.
            ok = got_value == "0" and got[-1:] == ["EXPERRONE"] and got.count("EXPERRONE") == 1
        else:
            ok = int(got_value) == value and got == warnings
        if not ok:
            failures += 1
            if failures <= 20:
                print("MISMATCH %r\n   got  %s\n   want %d %s" % (text, answer, value, ",".join(warnings) or "-"))
    if len(answers) != len(expressions):
        print("driver answered %d of %d expressions" % (len(answers), len(expressions)))
        failures += 1
    print("%d expressions, warnings expected: %s, %d mismatches" % (len(expressions), counts, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
