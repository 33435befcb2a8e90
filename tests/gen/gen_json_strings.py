#!/usr/bin/env python3
"""Writes tests/data/json_strings.txt: JSON documents holding strings, and
their compact re-serialisation.

Each line is `input<TAB>expected`. The input is json.dumps with ASCII
escapes (astral characters as surrogate pairs, keys included); the expected
text is json.dumps without ASCII escaping and with sorted keys, which writes
the same escapes as the compact serialiser (\\" \\\\ \\b \\f \\n \\r \\t, other
controls as lower-case \\u00xx, everything else raw). CPython is the oracle
for unescaping and for key order (code point order is UTF-8 byte order).
"""
import json
import pathlib
import random

OUT = pathlib.Path(__file__).resolve().parents[1] / "data" / "json_strings.txt"

POOL = (
    [chr(c) for c in range(0x00, 0x80)]
    + ["\x85", "\xa0", "\xe9", "\u00ff", "\u0100", "\u2028", "\u2029", "\u4e2d", "\ufeff", "\uffff",
       "\U0001f600", "\U00010000", "\U0010ffff", "\u0301"]
)


def random_text(rng: random.Random) -> str:
    return "".join(rng.choice(POOL) for _ in range(rng.randint(0, 12)))


def main() -> None:
    rng = random.Random(6122026)
    lines = []
    for _ in range(600):
        kind = rng.randint(0, 2)
        if kind == 0:
            doc = random_text(rng)
        elif kind == 1:
            doc = [random_text(rng) for _ in range(rng.randint(0, 4))]
        else:
            doc = {random_text(rng): random_text(rng) for _ in range(rng.randint(0, 5))}
        given = json.dumps(doc, ensure_ascii=True)
        if isinstance(doc, dict) and rng.random() < 0.5:
            given = json.dumps(doc, ensure_ascii=False, indent=1)
        expected = json.dumps(doc, ensure_ascii=False, sort_keys=True, separators=(",", ":"))
        lines.append(given.replace("\n", " ") + "\t" + expected)
    OUT.write_text("\n".join(lines) + "\n", encoding="utf-8")


if __name__ == "__main__":
    main()
