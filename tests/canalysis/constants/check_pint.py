#!/usr/bin/env python3
"""Checks the big-integer operations against Python's integers.

Usage: check_pint.py DRIVER [PAIRS] [SEED]

Generates operand pairs (edge values and random values of every length),
runs them through the driver (refcheck/pint_driver.cpp) and compares each
result and each reported code with the value that Python's integers give,
reduced to 168-bit two's complement.
"""
import random
import subprocess
import sys

BITS = 168
MOD = 1 << BITS
MAX = (1 << (BITS - 1)) - 1
MIN = -(1 << (BITS - 1))


def wrap(x):
    return ((x - MIN) % MOD) + MIN


def in_range(x):
    return MIN <= x <= MAX


def hexof(x):
    return format(x % MOD, "042X")


def edge_values():
    values = {0, 1, -1, MAX, MIN, MAX - 1, MIN + 1, 2, -2, 10, -10}
    for k in range(1, 21):
        for v in (1 << (8 * k), 1 << (8 * k - 1)):
            values.update({v, v - 1, v + 1, -v, -v - 1, -v + 1})
    values.update({(1 << 31) - 1, 1 << 31, -(1 << 31), -(1 << 31) - 1, 0xFF, 0x100, -0x80, -0x81})
    return sorted(values)


def random_value(rng, edges):
    choice = rng.random()
    if choice < 0.3:
        return rng.choice(edges)
    bits = rng.randint(0, BITS - 1)
    value = rng.getrandbits(bits) if bits else 0
    if choice < 0.4:
        value |= (1 << bits) - 1 if bits else 0  # runs of ones
    return -value - rng.randint(0, 1) if rng.random() < 0.5 else value


def trunc_div(a, b):
    q = abs(a) // abs(b)
    return -q if (a < 0) != (b < 0) else q


def small_division(a, d):
    """Division by a small divisor: the signed top byte first, then the other
    bytes, each step dividing remainder * 256 + byte with C's truncation."""
    be = (a % MOD).to_bytes(21, "big")
    top = be[0] - 256 if be[0] >= 128 else be[0]
    quotient = []
    rest = top
    for i, byte in enumerate(be):
        current = top if i == 0 else rest * 256 + byte
        q = trunc_div(current, d)
        rest = current - q * d
        quotient.append(q % 256)
    return int.from_bytes(bytes(quotient), "big"), rest


def image8(a, size):
    """The "0x" image: the low bytes of the size, widened while the value
    needs more (unsigned for a positive value, signed for a negative one);
    without a size, the top byte then the bytes below its extension."""
    codes = []
    size = abs(size)
    if size > 160:
        codes.append("OVERFLOW")
        size = 0
    top = (a >> 160) & 0xFF
    if size == 0:
        if top in (0, 0xFF):
            k = 0
            while (a >> (8 * k)) not in (0, -1) or (top == 0xFF and a < -(256 ** k)):
                k += 1
            k = 0 if a in (0, -1) else k
            low = format(a % (256 ** k), "0%dX" % (2 * k)) if k else ""
            return "0x%02X%s" % (top, low), codes
        return "0x" + hexof(a), codes
    k = (size + 7) // 8
    if a >= 0:
        while a >= 256 ** k:
            k += 1
    else:
        while a < -(1 << (8 * k - 1)):
            k += 1
    return "0x" + format(a % (256 ** k), "0%dX" % (2 * k)), codes


def expected(op, a, b):
    """Result text and codes for one operation."""
    ovf = ["OVERFLOW"]
    if op in ("add", "sub", "addint"):
        r = a + b if op != "sub" else a - b
        return hexof(r), [] if in_range(r) else ovf
    if op == "mul":
        r = a * b
        return hexof(r), [] if abs(r) <= MAX else ovf  # a magnitude reaching bit 167 overflows
    if op == "mulint":
        r = a * b
        return hexof(r), [] if in_range(r) else ovf
    if op == "div":
        if b == 0:
            return hexof(0) + " " + hexof(0), ["DIVBYZERO"]
        q = trunc_div(a, b)
        return hexof(q) + " " + hexof(a - q * b), [] if in_range(q) else ovf
    if op == "divint":
        q, rest = small_division(a, b)
        if a >= 0:
            assert (q, rest) == divmod(a, b), (a, b)
        return hexof(q) + " " + str(rest), []
    if op in ("shl", "shr"):
        if b < 0:
            return hexof(0), []
        count = b & 0xFF
        return hexof(wrap(a << count) if op == "shl" else a >> count), []
    if op == "cmp":
        return str((a > b) - (a < b)), []
    if op == "fits":
        return "1" if -(1 << b) <= a < (1 << b) else "0", []
    if op == "toint":
        return (str(a), []) if abs(a) < (1 << 31) else ("0", ovf)
    if op == "img1":
        return str(a), []
    if op == "img8":
        return image8(a, b)
    raise ValueError(op)


def generate(pairs, seed):
    rng = random.Random(seed)
    edges = edge_values()
    cases = []
    for i in range(pairs):
        if i < len(edges) ** 2 and i < pairs // 2:
            a, b = edges[i // len(edges)], edges[i % len(edges)]  # every pair of edge values first
        else:
            a, b = random_value(rng, edges), random_value(rng, edges)
        n32 = rng.choice([0, 1, -1, 2, 10, 255, 256, -256, 2 ** 31 - 1, -(2 ** 31), rng.randint(-(2 ** 31), 2 ** 31 - 1)])
        count = b if rng.random() < 0.3 else rng.randint(-3, 300)
        cases += [("add", a, b), ("sub", a, b), ("mul", a, b), ("div", a, b if rng.random() > 0.01 else 0),
                  ("addint", a, n32), ("mulint", a, n32), ("divint", a, rng.choice([1, 2, 7, 10, 16, 255, rng.randint(1, 255)])),
                  ("shl", a, count), ("shr", a, count), ("cmp", a, b), ("fits", a, rng.randint(0, 170)),
                  ("toint", a, 0), ("img1", a, 0),
                  ("img8", a, rng.choice([0, 0, 8, -8, 16, 24, 32, -32, 64, 128, 160, 168]))]
    return cases


def line_of(op, a, b):
    if op in ("add", "sub", "mul", "div", "shl", "shr", "cmp"):
        return "%s %s %s" % (op, hexof(a), hexof(b))
    if op in ("img1", "toint"):
        return "%s %s" % (op, hexof(a))
    return "%s %s %d" % (op, hexof(a), b)


def main():
    driver = sys.argv[1]
    pairs = int(sys.argv[2]) if len(sys.argv) > 2 else 12000
    seed = int(sys.argv[3]) if len(sys.argv) > 3 else 20261205
    cases = generate(pairs, seed)
    text = "".join(line_of(*case) + "\n" for case in cases)
    run = subprocess.run([driver], input=text, capture_output=True, text=True, check=True)
    answers = run.stdout.splitlines()
    if len(answers) != len(cases):
        print("driver answered %d of %d operations" % (len(answers), len(cases)))
        return 1
    failures = 0
    for case, answer in zip(cases, answers):
        result, codes = expected(*case)
        want = result + " " + (",".join(codes) if codes else "-")
        if answer != want:
            failures += 1
            if failures <= 20:
                print("MISMATCH %s\n   got  %s\n   want %s" % (line_of(*case), answer, want))
    print("%d operations on %d operand pairs, %d mismatches" % (len(cases), pairs, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
