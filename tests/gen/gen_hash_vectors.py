#!/usr/bin/env python3
"""Writes tests/data/hash_vectors.txt: SHA-256 and SHA3-256 digests computed by
Python's hashlib, for the digest system calls.

Line format (tab separated):
  hex   <input as hex text, mixed letter case>   <sha256 hex>  <sha3_256 hex>
  text  <input text's UTF-8 bytes as hex>        <sha256 hex>  <sha3_256 hex>
A "hex" line's input text is passed to the "_hex" calls exactly as written; a
"text" line's bytes are decoded to the str passed to the "_text" calls.
Deterministic: rerunning gives the same file.
"""
import hashlib
import os
import random


def main():
    rng = random.Random(180)
    lines = []
    # Lengths around the SHA-256 block (64) and padding boundary (55/56) and
    # the SHA3-256 rate (136), plus a spread of random lengths.
    lengths = list(range(0, 140)) + [199, 200, 255, 256, 271, 272, 273, 1000, 4099]
    lengths += [rng.randrange(0, 700) for _ in range(150)]
    for n in lengths:
        data = bytes(rng.randrange(256) for _ in range(n))
        text = "".join(c.upper() if rng.random() < 0.3 else c for c in data.hex())
        lines.append("\t".join(["hex", text, hashlib.sha256(data).hexdigest(), hashlib.sha3_256(data).hexdigest()]))
    pools = [
        "abcdefghijklmnopqrstuvwxyz ",
        "ÀÉÎÕÜßàéîõüÿ",
        "αβγδεζηθικλμνξοπρστυφχψωΑΒΓ",
        "中文字符漢字日本語かなカナ한국어",
        "\U0001f600\U0001f680\U00010348\U0002a6d6",
        " \t\n\r\x0b\x0c\u00a0\u2028\u3000",
        "\x00\x01\x7f\u0080\u07ff\u0800\uffff",
    ]
    for _ in range(300):
        pool = "".join(rng.sample(pools, rng.randrange(1, len(pools) + 1)))
        text = "".join(rng.choice(pool) for _ in range(rng.randrange(0, 200)))
        data = text.encode("utf-8")
        lines.append("\t".join(["text", data.hex(), hashlib.sha256(data).hexdigest(), hashlib.sha3_256(data).hexdigest()]))
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "hash_vectors.txt")
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
