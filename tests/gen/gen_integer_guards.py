#!/usr/bin/env python3
"""Writes tests/data/integer_guards.txt: results of integer shifts, powers and
products computed by CPython, the reference for the checked integer kernels.

Each line: op a b expected, integers in decimal. op is one of lshift, rshift,
pow, mul. Only cases inside the integer size limit are written; the limits
themselves are tested directly in C++.
"""
import os
import random

rng = random.Random(20261206)
OUT = os.path.join(os.path.dirname(__file__), "..", "data", "integer_guards.txt")


def interesting_ints():
    vals = [0, 1, -1, 2, -2, 3, -3, 5, -5, 7, -7, 255, -255, 256, -256,
            2**31 - 1, -2**31, 2**32, 2**62, 2**63 - 1, -2**63, 2**63, -2**63 - 1,
            2**64 - 1, 2**64, -2**64, 2**64 + 1, 10**30, -10**30, 2**127 - 1, -2**127]
    for bits in (1, 2, 7, 8, 31, 32, 33, 62, 63, 64, 65, 100, 127, 128, 129, 300, 400):
        for _ in range(4):
            v = rng.getrandbits(bits)
            vals.append(v)
            vals.append(-v)
            vals.append(-(v | 1 << (bits - 1)))
    return vals


def main():
    lines = []
    ints = interesting_ints()
    counts = [0, 1, 2, 3, 7, 31, 32, 33, 62, 63, 64, 65, 100, 127, 128, 129, 200]
    for a in ints:
        for c in counts:
            lines.append(f"lshift {a} {c} {a << c}")
            lines.append(f"rshift {a} {c} {a >> c}")
    for _ in range(2000):
        a = rng.choice(ints)
        c = rng.randrange(0, 300)
        lines.append(f"rshift {a} {c} {a >> c}")
        lines.append(f"lshift {a} {c} {a << c}")
    bases = [0, 1, -1, 2, -2, 3, -3, 10, -10, 7, 255, -256, 2**32 + 1, -(2**40) - 3, 10**20]
    for b in bases:
        for e in list(range(0, 20)) + [31, 32, 33, 63, 64, 65, 100, 127, 128]:
            lines.append(f"pow {b} {e} {b ** e}")
    for _ in range(500):
        b = rng.randrange(-2**70, 2**70) >> rng.randrange(0, 70)
        e = rng.randrange(0, 60)
        lines.append(f"pow {b} {e} {b ** e}")
    for _ in range(2000):
        a = rng.choice(ints)
        b = rng.choice(ints)
        lines.append(f"mul {a} {b} {a * b}")
    for _ in range(500):
        a = rng.getrandbits(rng.randrange(1, 600)) * rng.choice((1, -1))
        b = rng.getrandbits(rng.randrange(1, 600)) * rng.choice((1, -1))
        lines.append(f"mul {a} {b} {a * b}")
    with open(OUT, "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
