"""Writes CPython's bin/oct/hex and ascii() results for the formatting tests.

Each line of formatting_radix.txt: decimal int, bin, oct, hex.
Each line of formatting_ascii.txt: UTF-8 hex of a str, then ascii() of it
(strings hold no single quote, so CPython keeps single quotes as we always do).
"""
import random
from pathlib import Path

OUT = Path(__file__).resolve().parents[1] / "data"
rng = random.Random(20261206)

ints = [0, 1, -1, 7, -31, 255, 2**63 - 1, -(2**63), 2**64, -(2**64) - 1, 10**40]
ints += [rng.randint(-(2**70), 2**70) for _ in range(300)]
ints += [rng.randint(-1000, 1000) for _ in range(100)]
with open(OUT / "formatting_radix.txt", "w") as f:
    for n in ints:
        f.write(f"{n} {bin(n)} {oct(n)} {hex(n)}\n")

alphabet = [chr(c) for c in range(0, 0x80) if chr(c) != "'"]
alphabet += ["é", "ÿ", "\x80", "\xa0", "Ā", "Ω", "中", "\u2028", "\ufeff", "😀", "\U0010ffff", "\\", '"']
with open(OUT / "formatting_ascii.txt", "w") as f:
    for _ in range(400):
        s = "".join(rng.choice(alphabet) for _ in range(rng.randint(0, 12)))
        f.write(f"{s.encode().hex() or '-'} {ascii(s)}\n")
