#!/usr/bin/env python3
"""Writes tests/data/float_text.txt: for many doubles, the bit pattern (hex),
the display text and the plain positional text, derived from CPython's repr.

The display text is repr() with "nan" spelled "NaN" and the exponent written
without "+" and without leading zeros; the plain text is repr()'s digits laid
out positionally with no trailing ".0" ("*" where a long plain text is
not checked).
"""
import decimal
import math
import os
import random
import struct

from float_texts import bits, display

OUT = os.path.join(os.path.dirname(__file__), "..", "data", "float_text.txt")


def plain(x):
    if math.isnan(x):
        return "NaN"
    if math.isinf(x):
        return "inf" if x > 0 else "-inf"
    ctx = decimal.Context(prec=1000)
    d = decimal.Decimal(repr(x)).normalize(ctx)
    s = format(d, "f")
    return s


def cases():
    rng = random.Random(20261206)
    out = [0.0, -0.0, math.inf, -math.inf, math.nan, 1.0, -1.0, 0.1, 0.2, 0.1 + 0.2,
           1e16, 9999999999999998.0, 1e15, 1234567890123456.0, 0.0001, 0.00001,
           1.5e16, 1.2345e-7, -3e20, 5e-324, -5e-324, 2.2250738585072014e-308,
           1.7976931308262157e308, 2.0 ** 53, 2.0 ** 53 + 2, 2.0 ** 60, 2.0 ** 63,
           2.0 ** 64, 1e300, 1e-300, 100.0, 123.456, 0.5, 1e22, 1e23]
    for e in range(-330, 310):
        for m in (1.0, 9.999999999999999, 2.5):
            try:
                v = float(f"{m}e{e}")
            except OverflowError:
                continue
            out.append(v)
            out.append(-v)
    for p in range(-1075, 1024):
        v = math.ldexp(1.0, p)
        out.append(v)
        out.append(math.nextafter(v, math.inf))
    for _ in range(5000):
        b = rng.getrandbits(64)
        out.append(struct.unpack("<d", struct.pack("<Q", b))[0])
    for _ in range(10000):
        digits = rng.randint(1, 17)
        mant = rng.randint(1, 10 ** digits - 1)
        exp = rng.randint(-25, 25)
        out.append(float(f"{mant}e{exp}"))
    for _ in range(3000):
        out.append(float(rng.randint(-2 ** 70, 2 ** 70)))
        out.append(rng.random())
    return out


def main():
    with open(OUT, "w") as f:
        for i, x in enumerate(cases()):
            # Long plain texts are checked for a sample only, to keep the file small.
            p = plain(x)
            if len(p) > 80 and i % 16:
                p = "*"
            f.write(f"{bits(x):016x} {display(x)} {p}\n")


if __name__ == "__main__":
    main()
