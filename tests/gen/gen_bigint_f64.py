#!/usr/bin/env python3
"""Writes tests/data/bigint_f64.txt: integers (hex) and float(int) as the
double's bit pattern (hex), "inf"/"-inf" where CPython overflows."""
import os
import random

from float_texts import bits

OUT = os.path.join(os.path.dirname(__file__), "..", "data", "bigint_f64.txt")


def cases():
    rng = random.Random(6)
    out = [0, 1, -1, 2 ** 53, 2 ** 53 + 1, 2 ** 53 + 2, 2 ** 53 + 3, 2 ** 64 + 2 ** 11 + 1,
           2 ** 64 + 2 ** 11, 2 ** 64 + 2 ** 12 + 2 ** 11, 2 ** 1024, -(2 ** 1024), 2 ** 1024 - 1,
           2 ** 1024 - 2 ** 970, 2 ** 1024 - 2 ** 971, 2 ** 1023, 2 ** 63, -(2 ** 63), 2 ** 64 - 1]
    for b in range(1, 1100):
        out.append(2 ** b - 1)
        out.append(-(2 ** b + 1))
        # exact halfway points between neighbouring doubles, odd and even
        if b > 54:
            base = rng.getrandbits(53) | (1 << 52)
            out.append((base << (b - 53)) + (1 << (b - 54)))
            out.append(((base | 1) << (b - 53)) + (1 << (b - 54)))
    for _ in range(2000):
        n = rng.randint(1, 1100)
        v = rng.getrandbits(n)
        out.append(v if rng.random() < 0.5 else -v)
    return out


def main():
    with open(OUT, "w") as f:
        for v in cases():
            try:
                r = f"{bits(float(v)):016x}"
            except OverflowError:
                r = "inf" if v > 0 else "-inf"
            f.write(f"{v:x} {r}\n")


if __name__ == "__main__":
    main()
