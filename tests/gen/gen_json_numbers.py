#!/usr/bin/env python3
"""Writes tests/data/json_numbers.txt: JSON number literals and how they read.

Each line is `literal<TAB>expected`: the compact JSON text of the value read
(integers in u64/i64 range stay integers, everything else is the correctly
rounded float in the JSON writer's shortest form), or `ERR` when the literal
is out of the float range. CPython's int() and float() are the oracle for the
value; the layout below is the writer's (positional for 1e-5 <= |x| < 1e16,
at least one fraction digit, else exponent form without '+').
"""
import pathlib
import random

OUT = pathlib.Path(__file__).resolve().parents[1] / "data" / "json_numbers.txt"
U64_MAX = 2**64 - 1
I64_MIN = -(2**63)


def shortest(x: float) -> tuple[str, int]:
    """Shortest round-trip digits d1d2...dn and k with |x| = 0.d1...dn * 10^k."""
    r = repr(abs(x))
    mantissa, _, exp = r.partition("e")
    exp = int(exp) if exp else 0
    int_part, _, frac = mantissa.partition(".")
    digits = (int_part + frac).lstrip("0")
    if int_part.strip("0") == "":
        point = exp - (len(frac) - len(frac.lstrip("0")))
    else:
        point = len(int_part.lstrip("0")) + exp
    digits = digits.rstrip("0") or "0"
    if digits == "0":
        point = 1
    return digits, point


def json_float(x: float) -> str:
    sign = "-" if str(x).startswith("-") else ""
    d, kk = shortest(x)
    n = len(d)
    if n <= kk <= 16:
        return sign + d + "0" * (kk - n) + ".0"
    if 0 < kk <= 16:
        return sign + d[:kk] + "." + d[kk:]
    if -5 < kk <= 0:
        return sign + "0." + "0" * (-kk) + d
    return sign + d[0] + ("." + d[1:] if n > 1 else "") + "e" + str(kk - 1)


def expected(lit: str) -> str:
    if not any(c in lit for c in ".eE"):
        v = int(lit)
        if lit == "-0":
            return "-0.0"
        if 0 <= v <= U64_MAX or (v < 0 and v >= I64_MIN):
            return str(v)
    x = float(lit)
    if x in (float("inf"), float("-inf")):
        return "ERR"
    return json_float(x)


def digits(rng: random.Random, n: int) -> str:
    return str(rng.randint(1, 9)) + "".join(str(rng.randint(0, 9)) for _ in range(n - 1))


def literals(rng: random.Random):
    fixed = [
        "0", "-0", "0.0", "-0.0", "1", "-1", "18446744073709551615", "18446744073709551616",
        "-9223372036854775808", "-9223372036854775809", "9223372036854775808", "1e16", "1e15",
        "1.5e16", "9999999999999998", "0.00001", "0.000001", "0.0001", "1e-5", "1e-6", "1E2",
        "1e+2", "1e-0", "5e-324", "4.9e-324", "2.4703282292062328e-324", "2.4703282292062327e-324",
        "2.2250738585072014e-308", "2.2250738585072011e-308", "1.7976931348623157e308",
        "1.7976931348623158e308", "1.7976931348623159e308", "1e308", "1e309", "-1e309", "1e400",
        "1e-400", "-1e-400", "0e400", "0.1", "0.2", "0.3", "123456789012345678901234567890",
        "0.1e1", "10e-1", "100e-2", "9007199254740993", "9007199254740993.0", "2.5", "-2.5e-10",
        "1" + "0" * 400 + "e-400", "0." + "0" * 400 + "1e400", "0." + "0" * 330 + "1",
    ]
    yield from fixed
    for _ in range(1500):
        kind = rng.randint(0, 5)
        sign = "-" if rng.random() < 0.3 else ""
        if kind == 0:
            yield sign + digits(rng, rng.randint(1, 25))
        elif kind == 1:
            yield sign + digits(rng, rng.randint(1, 10)) + "." + "".join(
                str(rng.randint(0, 9)) for _ in range(rng.randint(1, 20)))
        elif kind == 2:
            yield sign + digits(rng, rng.randint(1, 17)) + rng.choice("eE") + rng.choice(["", "+", "-"]) + str(
                rng.randint(0, 330))
        elif kind == 3:
            yield sign + "0." + "0" * rng.randint(0, 8) + digits(rng, rng.randint(1, 17))
        elif kind == 4:
            yield sign + digits(rng, 1) + "." + "".join(str(rng.randint(0, 9)) for _ in range(rng.randint(16, 60))) + "e" + str(
                rng.randint(-330, 310))
        else:
            # Near the ends of the float range.
            yield sign + digits(rng, rng.randint(1, 20)) + "e" + str(rng.choice([-345, -330, -324, -323, -308, 290, 307, 308, 309]))


def main() -> None:
    rng = random.Random(20261206)
    seen = set()
    lines = []
    for lit in literals(rng):
        if lit in seen:
            continue
        seen.add(lit)
        lines.append(f"{lit}\t{expected(lit)}")
    OUT.write_text("\n".join(lines) + "\n", encoding="utf-8")


if __name__ == "__main__":
    main()
