#!/usr/bin/env python3
"""Writes tests/data/operator_cases.txt: integer operator results and slice
positions computed by CPython, for the operator and subscript tests.

Only cases where contract code sees Python's own result are written: integer
add, sub, mul, floor division, modulo, power, bitwise operations, shifts and
exact comparisons; int-float arithmetic through float(int) (which rounds half
to even like the engine's conversion); int / int as float(a) / float(b); and
the positions a slice visits for every step sign.

Line formats (space separated):
  int OP A B RESULT        RESULT is an integer, True/False, or "!" + error
  flt OP A B RESULT        A and B are ints or float.hex() texts ("f:" prefix),
                           RESULT is float.hex() of the float result
  slc LEN LOWER UPPER STEP : POS...   "_" marks an absent bound or step
  str HEXUTF8 LOWER UPPER STEP HEXRESULT
"""
import math
import os
import random

OUT = os.path.join(os.path.dirname(__file__), "..", "data", "operator_cases.txt")

rng = random.Random(20260101)


def int_operands():
    vals = set(range(-17, 18))
    for b in (7, 8, 15, 16, 31, 32, 52, 53, 54, 62, 63, 64, 65, 127, 128, 129):
        for d in (-1, 0, 1):
            vals.add(2**b + d)
            vals.add(-(2**b) + d)
    for _ in range(60):
        bits = rng.choice([20, 40, 62, 63, 64, 70, 100, 200, 256])
        v = rng.getrandbits(bits)
        vals.add(v)
        vals.add(-v)
    return sorted(vals)


def main():
    lines = []
    ops = {
        "add": lambda a, b: a + b,
        "sub": lambda a, b: a - b,
        "mul": lambda a, b: a * b,
        "floordiv": lambda a, b: a // b,
        "mod": lambda a, b: a % b,
        "bitand": lambda a, b: a & b,
        "bitor": lambda a, b: a | b,
        "bitxor": lambda a, b: a ^ b,
        "lt": lambda a, b: a < b,
        "lt_e": lambda a, b: a <= b,
        "gt": lambda a, b: a > b,
        "gt_e": lambda a, b: a >= b,
        "eq": lambda a, b: a == b,
    }
    operands = int_operands()
    pairs = []
    small = [v for v in operands if -17 <= v <= 17]
    for a in small:
        for b in small:
            pairs.append((a, b))
    for _ in range(2000):
        pairs.append((rng.choice(operands), rng.choice(operands)))
    for a, b in pairs:
        for name, fn in ops.items():
            try:
                r = fn(a, b)
            except ZeroDivisionError:
                r = "!division by zero"
            lines.append(f"int {name} {a} {b} {r}")

    # Shifts: counts within the engine's limits, every sign of the value.
    counts = list(range(0, 70)) + [100, 127, 128, 129, 200, 1000, 4000]
    for a in operands:
        for c in rng.sample(counts, 12) + [0, 1, 63, 64]:
            lines.append(f"int rshift {a} {c} {a >> c}")
            if c <= 400:
                lines.append(f"int lshift {a} {c} {a << c}")
        lines.append(f"int rshift {a} -1 !negative shift count")
        lines.append(f"int lshift {a} -1 !negative shift count")

    # Powers with non-negative exponents.
    for a in small + [2**31, -(2**31), 2**63 - 1, -(2**63)]:
        for e in range(0, 9):
            lines.append(f"int pow {a} {e} {a ** e}")
    for a in range(-3, 4):
        for e in (31, 32, 62, 63, 64, 65, 100):
            lines.append(f"int pow {a} {e} {a ** e}")

    # Int and float mixes: the int is turned into the nearest double first.
    def fl(x):
        return "f:" + x.hex()

    flt_ints = [v for v in operands if abs(v) < 2**1000] + [2**53 + 1, 2**53 + 3, -(2**53 + 1), 2**64 - 1]
    floats = [0.0, -0.0, 1.0, -1.0, 0.5, 1.5, -2.75, 1e300, -1e300, 1e-300, 3.0, 7.0,
              float("inf"), float("-inf"), 2.0**53, 2.0**63, 1 / 3]
    for _ in range(3000):
        a = rng.choice(flt_ints)
        b = rng.choice(flt_ints)
        if b != 0:
            lines.append(f"flt div {a} {b} {(float(a) / float(b)).hex()}")
    for a in flt_ints:
        for f in rng.sample(floats, 5):
            fa = float(a)
            for name, fn in (("add", lambda x, y: x + y), ("sub", lambda x, y: x - y),
                             ("mul", lambda x, y: x * y)):
                lines.append(f"flt {name} {a} {fl(f)} {fn(fa, f).hex()}")
                lines.append(f"flt {name} {fl(f)} {a} {fn(f, fa).hex()}")
            if f != 0:
                lines.append(f"flt div {a} {fl(f)} {(fa / f).hex()}")
            if a != 0:
                lines.append(f"flt div {fl(f)} {a} {(f / fa).hex()}")

    # Slice positions over lengths 0..7 for every bound and step sign.
    bounds = [None] + list(range(-9, 10))
    steps = [None, 1, 2, 3, 5, -1, -2, -3, -5, 2**62, -(2**62), -(2**63)]
    for n in range(0, 8):
        seq = list(range(n))
        for lo in bounds:
            for hi in bounds:
                for st in steps:
                    pos = seq[slice(lo, hi, st)]
                    t = lambda v: "_" if v is None else str(v)
                    lines.append(f"slc {n} {t(lo)} {t(hi)} {t(st)} : " + " ".join(map(str, pos)))

    # Str slices count characters, not bytes.
    texts = ["héllo wörld", "a€b𝄞c", "", "ascii only text", "ñ"]
    str_bounds = [None, -20, -3, -1, 0, 1, 2, 4, 7, 20]
    for s in texts:
        for lo in str_bounds:
            for hi in str_bounds:
                for st in (None, 1, 2, -1, -2, 3):
                    r = s[slice(lo, hi, st)]
                    t = lambda v: "_" if v is None else str(v)
                    lines.append(f"str {s.encode().hex() or '-'} {t(lo)} {t(hi)} {t(st)} "
                                 f"{r.encode().hex() or '-'}")

    with open(OUT, "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
