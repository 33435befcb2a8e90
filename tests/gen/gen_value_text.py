#!/usr/bin/env python3
"""Writes tests/data/value_text.txt with CPython-derived expectations:
  int <hex> <str(int)>            decimal text of integers
  bytes <hex of bytes> <text>     bytes literal, always in single quotes
  exarg <hex of utf-8> <text>     exception-argument form of a str
Texts are written hex-encoded (UTF-8) so that any byte survives the file."""
import os
import random

OUT = os.path.join(os.path.dirname(__file__), "..", "data", "value_text.txt")


def single_quoted(r, prefix):
    # CPython switches to double quotes when the text has ' but no ";
    # our form keeps single quotes and escapes the quote instead.
    body = r[len(prefix):]
    if body[0] == '"':
        inner = body[1:-1].replace("'", "\\'")
        return prefix + "'" + inner + "'"
    return r


def main():
    rng = random.Random(1102)
    lines = []
    ints = [0, 1, -1, 2 ** 63 - 1, -(2 ** 63), 2 ** 63, -(2 ** 63) - 1, 2 ** 64, 10 ** 100, -(10 ** 100)]
    for _ in range(1500):
        n = rng.choice([8, 32, 63, 64, 65, 128, 500, 1200])
        v = rng.getrandbits(n)
        ints.append(v if rng.random() < 0.5 else -v)
    for v in ints:
        lines.append(f"int {v:x} {str(v).encode().hex()}")
    blobs = [b"", b"ab", b"\x00'\\\x7f", b"'", b"\"", b"'\"", b"\t\n\r", bytes(range(256))]
    for _ in range(2000):
        n = rng.randint(0, 40)
        alphabet = rng.choice([bytes(range(256)), b"ab'\"\\\t\n", bytes(range(32, 127))])
        blobs.append(bytes(rng.choice(alphabet) for _ in range(n)))
    for b in blobs:
        lines.append(f"bytes {b.hex() or '-'} {single_quoted(repr(b), 'b').encode().hex()}")
    # Printable text (no escapes other than quote and backslash in CPython's
    # repr either), so CPython's repr is the oracle.
    texts = ["", "a'b", "back\\slash", "'", "\"'", "héllo wörld", "日本"]
    pool = "abc XYZ'\"\\é日本€"
    for _ in range(2000):
        texts.append("".join(rng.choice(pool) for _ in range(rng.randint(0, 30))))
    for t in texts:
        lines.append(f"exarg {t.encode().hex() or '-'} {single_quoted(repr(t), '').encode().hex()}")
    with open(OUT, "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
