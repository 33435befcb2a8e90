#!/usr/bin/env python3
"""Writes tests/data/value_ordering.txt, the reference for text, byte-string
and float ordering and for the canonical order of float sets.

CPython orders str by code point, which is the bytewise order of UTF-8, and
bytes bytewise; its float comparisons are IEEE ones. A float set's canonical
order is the bytewise order of each float's display text (CPython's repr with
"NaN" and without "+" or leading zeros in the exponent), 0.0 and -0.0 being one
item that prefers -0.0.

Lines:
  str <utf8 hex a> <utf8 hex b> <-1|0|1>        ("-" stands for the empty text)
  bytes <hex a> <hex b> <-1|0|1>
  float <bits a> <bits b> <-1|0|1|nan>
  floatset <bits,...> <bits,...|error>          (input items, canonical items)
"""
import math
import os
import random
import struct

from float_texts import bits as f64_bits, display

rng = random.Random(61206)
OUT = os.path.join(os.path.dirname(__file__), "..", "data", "value_ordering.txt")


def hx(b):
    return b.hex() if b else "-"


def bits(x):
    return "%016x" % f64_bits(x)


def cmp(a, b):
    return (a > b) - (a < b)


RANGES = [(0x20, 0x7E), (0x80, 0x7FF), (0x800, 0xD7FF), (0xE000, 0xFFFF), (0x10000, 0x10FFFF)]


def rand_text():
    n = rng.randrange(0, 6)
    out = []
    for _ in range(n):
        lo, hi = rng.choice(RANGES)
        out.append(chr(rng.randrange(lo, hi + 1)))
    return "".join(out)


def rand_float():
    r = rng.random()
    if r < 0.2:
        return rng.choice([0.0, -0.0, 1.0, -1.0, 0.5, 2.0, 10.0, 9.0, 1e16, 1e-5, 1e-4,
                           math.inf, -math.inf, math.nan, 5e-324, 1.7976931308262157e308, 0.1, 100.0])
    if r < 0.5:
        return float(rng.randrange(-1000, 1000)) / rng.choice([1, 2, 4, 10, 1000])
    if r < 0.8:
        return rng.uniform(-1e20, 1e20) * 10.0 ** rng.randrange(-30, 10)
    return struct.unpack("<d", struct.pack("<Q", rng.getrandbits(64)))[0]


def main():
    lines = []
    texts = ["", "a", "b", "Z", "ab", "abc", "z", "\u00e9", "\u00e4", "B", "\uffff",
             "\U00010000", "\ud7ff", "\ue000"]
    pairs = [(a, b) for a in texts for b in texts]
    for _ in range(3000):
        a = rand_text()
        b = a[: rng.randrange(0, len(a) + 1)] + rand_text() if rng.random() < 0.5 else rand_text()
        pairs.append((a, b))
    for a, b in pairs:
        lines.append(f"str {hx(a.encode())} {hx(b.encode())} {cmp(a, b)}")
    for _ in range(2000):
        a = bytes(rng.randrange(256) for _ in range(rng.randrange(0, 5)))
        b = a[: rng.randrange(0, len(a) + 1)] + bytes(rng.choice([0, 1, 127, 128, 255])
                                                       for _ in range(rng.randrange(0, 3)))
        lines.append(f"bytes {hx(a)} {hx(b)} {cmp(a, b)}")
    for _ in range(3000):
        a, b = rand_float(), rand_float()
        if rng.random() < 0.1:
            b = a
        res = "nan" if math.isnan(a) or math.isnan(b) else str(cmp(a, b))
        lines.append(f"float {bits(a)} {bits(b)} {res}")
    for _ in range(1500):
        n = rng.randrange(1, 12)
        items = [rand_float() for _ in range(n)]
        if rng.random() < 0.3:
            items += [rng.choice(items) for _ in range(rng.randrange(1, 4))]
            rng.shuffle(items)
        if rng.random() < 0.2:
            items.append(rng.choice([0.0, -0.0]))
        has_nan = any(math.isnan(x) for x in items)
        if has_nan and len(items) >= 2:
            expected = "error"
        else:
            survivors = {}
            for x in items:
                k = display(x)
                if x == 0.0:
                    k = "zero"
                if k not in survivors or display(x) < display(survivors[k]):
                    survivors[k] = x
            ordered = sorted(survivors.values(), key=lambda v: display(v).encode())
            expected = ",".join(bits(x) for x in ordered)
        lines.append(f"floatset {','.join(bits(x) for x in items)} {expected}")
    with open(OUT, "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
