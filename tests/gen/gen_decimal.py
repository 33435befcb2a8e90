#!/usr/bin/env python3
"""Writes tests/data/decimal_cases.txt: fixed-point decimal results computed
with CPython's decimal module at 300 digits of precision.

Each line is "<op> <a> <b> <expected>": op is lit, add, sub, mul, div, fdiv,
mod, pow, sqrt or fromf (a is float.hex() of a double) with expected
"ok:<plain text>|<display text>" or "err:<message>"; or tof (expected is
float.hex() of the nearest double) or toint (the integer part). "-" stands
for an unused operand.

Values carry 30 fraction digits and are truncated toward zero after every
product and quotient; the plain text is the positional form without trailing
fraction zeros, the display text the normalised engineering form
(Decimal.normalize().to_eng_string()).
"""
import decimal
import math
import os
import random
import struct
from decimal import Decimal, ROUND_DOWN

OUT = os.path.join(os.path.dirname(__file__), "..", "data", "decimal_cases.txt")

CTX = decimal.Context(prec=300, rounding=ROUND_DOWN, Emax=decimal.MAX_EMAX,
                      Emin=decimal.MIN_EMIN, traps=[decimal.InvalidOperation])
# Every implicit operation (abs, negation, scaleb) uses this context too.
decimal.setcontext(CTX)
Q = Decimal(1).scaleb(-30)
LIMIT = Decimal(10) ** 61
ONE = Decimal(1)
HALF = Decimal("0.5")


class RangeError(Exception):
    def __init__(self, value):
        super().__init__()
        self.value = value


class OpError(Exception):
    pass


def trunc30(x):
    return x.quantize(Q, rounding=ROUND_DOWN, context=CTX)


def plain(x):
    if x == 0:
        return "0"
    return format(x.normalize(CTX), "f")


def display(x):
    if x == 0:
        return "0"
    return x.normalize(CTX).to_eng_string()


def checked(x):
    x = trunc30(x)
    if abs(x) >= LIMIT:
        raise RangeError(x)
    return x


def range_message(x):
    return "decimal value %s exceeds the supported decimal range" % plain(x)


def mul(a, b):
    return checked(CTX.multiply(a, b))


def div(a, b):
    if b == 0:
        raise OpError("division by zero")
    return checked(CTX.divide(a, b))


def pow_integer(a, e):
    if e == 0:
        return ONE
    if e < 0:
        if a == 0:
            raise OpError("0 cannot be raised to a negative power")
        return div(ONE, pow_integer(a, -e))
    result, base = ONE, a
    while e > 0:
        if e & 1:
            result = mul(result, base)
        e >>= 1
        if e > 0:
            base = mul(base, base)
    return result


def sqrt(a):
    if a < 0:
        raise OpError("cannot take square root of a negative decimal")
    r = trunc30(CTX.sqrt(a))
    scaled = int(a.scaleb(30))
    assert int(r.scaleb(30)) == math.isqrt(scaled * 10 ** 30), a
    return r


def pow_(a, b):
    if b == 0:
        return ONE
    if b == HALF:
        return sqrt(a)
    if b != b.to_integral_value(rounding=ROUND_DOWN):
        raise OpError("unsupported decimal exponent %s" % plain(b))
    return pow_integer(a, int(b))


def binary(op, a, b):
    if op == "add":
        return checked(CTX.add(a, b))
    if op == "sub":
        return checked(CTX.subtract(a, b))
    if op == "mul":
        return mul(a, b)
    if op == "div":
        return div(a, b)
    if op == "fdiv":
        if b == 0:
            raise OpError("division by zero")
        return checked(CTX.divide_int(a, b))
    if op == "mod":
        if b == 0:
            raise OpError("modulo by zero")
        return checked(CTX.remainder(a, b))
    if op == "pow":
        return pow_(a, b)
    raise ValueError(op)


def outcome(fn):
    try:
        r = fn()
    except RangeError as e:
        return "err:" + range_message(e.value)
    except OpError as e:
        return "err:" + str(e)
    return "ok:%s|%s" % (plain(r), display(r))


def literal_outcome(text):
    """Expected result of parsing a literal from the grammar (valid syntax)."""
    body = text.strip()
    sign_less = body.lstrip("+-")
    mant, _, exp = sign_less.replace("E", "e").partition("e")
    exponent = int(exp) if exp else 0
    frac = mant.partition(".")[2]
    shift = len(frac) - exponent
    if abs(exponent) > 10 ** 17:
        # Beyond the decimal module's exponent range: every digit is dropped
        # (negative) or the appended zeros exceed 91 digits (positive).
        if exponent < 0:
            return "ok:0|0"
        return "err:decimal value %s exceeds the supported decimal range" % body
    value = Decimal(body)
    digits = mant.replace(".", "").lstrip("0")
    if shift < 30 and len(digits) + (30 - shift) > 91:
        return "err:decimal value %s exceeds the supported decimal range" % body
    if value == 0:
        return "ok:0|0"
    if shift > 30 and value.adjusted() < -30:
        return "ok:0|0"
    x = trunc30(value)
    if abs(x) >= LIMIT:
        return "err:" + range_message(x)
    return "ok:%s|%s" % (plain(x), display(x))


def random_decimal(rng):
    kind = rng.random()
    sign = "-" if rng.random() < 0.4 else ""
    if kind < 0.15:
        # A power of ten times a short coefficient: exercises every exponent
        # of the display form.
        coeff = str(rng.choice([1, 2, 5, 10, 12, 15, 120, 1234, 999, 1001]))
        exp = rng.randint(-30, 57)
        v = Decimal(sign + coeff).scaleb(exp)
        v = trunc30(v)
        if v == 0 or abs(v) >= LIMIT:
            return Decimal(sign + coeff)
        return v
    if kind < 0.25:
        return Decimal(sign + str(rng.choice([0, 1, 2, 3, 7, 10, 100, 1000, 12345])))
    int_digits = rng.randint(0, 61)
    frac_digits = rng.randint(0, 30)
    ip = "".join(rng.choice("0123456789") for _ in range(int_digits)) or "0"
    fp = "".join(rng.choice("0123456789") for _ in range(frac_digits))
    if rng.random() < 0.3 and fp:
        fp = fp[: rng.randint(0, len(fp))] + "0" * rng.randint(0, 5)
        fp = fp[:30]
    text = sign + ip + ("." + fp if fp else "")
    return Decimal(text)


def small_decimal(rng):
    sign = "-" if rng.random() < 0.4 else ""
    ip = str(rng.randint(0, 99))
    fp = "".join(rng.choice("0123456789") for _ in range(rng.randint(0, 30)))
    return Decimal(sign + ip + ("." + fp if fp else ""))


def text_of(x):
    return plain(x)


def random_literal(rng):
    sign = rng.choice(["", "", "+", "-"])
    ip = "".join(rng.choice("0123456789") for _ in range(rng.randint(0, 70)))
    fp = "".join(rng.choice("0123456789") for _ in range(rng.randint(0, 40)))
    if rng.random() < 0.3:
        ip = "0" * rng.randint(1, 40) + ip
    if not ip and not fp:
        ip = "0"
    mant = ip + ("." + fp if fp or rng.random() < 0.2 else "")
    if mant == ".":
        mant = "0."
    exp = ""
    r = rng.random()
    if r < 0.5:
        e = rng.randint(-100, 100)
        if rng.random() < 0.1:
            e = rng.choice([2 ** 63 - 1, -(2 ** 63), 10 ** 18, -(10 ** 18), 61, 62, -31])
        esign = "+" if e >= 0 and rng.random() < 0.3 else ""
        exp = rng.choice("eE") + esign + str(e)
    pad_l = " " * rng.randint(0, 2)
    pad_r = rng.choice(["", " ", "\t", "\n "])
    return pad_l + sign + mant + exp + pad_r


def main():
    rng = random.Random(20240511)
    lines = []

    edge = [
        Decimal(0), Decimal(1), Decimal(-1), Decimal(2), Decimal(3), Decimal(10),
        Decimal("0.5"), Decimal("-0.5"), Decimal("1E-30"), Decimal("-1E-30"),
        Decimal("9" * 61 + "." + "9" * 30), -Decimal("9" * 61 + "." + "9" * 30),
        Decimal("1" + "0" * 60), Decimal("0.1"), Decimal("0.333333333333333333333333333333"),
        Decimal("1.000000000000000000000000000001"), Decimal("0.999999999999999999999999999999"),
    ]

    # Literals.
    seen = set()
    fixed_literals = ["1.5", "  -0.50  ", "+2", "1e3", "1E-3", ".5", "5.", "0e61", "0e62",
                      "1e60", "1e61", "0.0000000000000000000000000000019", "1e-31",
                      "-0", "-0.000", "0.00e62", "9" * 61, "1" + "0" * 61,
                      "1" + "0" * 91 + "e-30", "123456789e-40", "1e-9223372036854775808",
                      "1e9223372036854775807", "0e9223372036854775807", "00000000000001e60"]
    for t in fixed_literals + [random_literal(rng) for _ in range(2000)]:
        if t in seen or " " in t.strip() or "\t" in t.strip() or "\n" in t.strip():
            continue
        seen.add(t)
        enc = t.replace(" ", "").replace("\t", "").replace("\n", "")
        # The data format is whitespace-separated: store trimmed literals.
        lines.append("lit %s - %s" % (enc, literal_outcome(enc)))

    ops = ["add", "sub", "mul", "div", "fdiv", "mod"]
    for op in ops:
        pairs = [(a, b) for a in edge for b in edge]
        for _ in range(650):
            a = random_decimal(rng)
            b = random_decimal(rng) if rng.random() < 0.6 else small_decimal(rng)
            if rng.random() < 0.5:
                a, b = b, a
            pairs.append((a, b))
        for a, b in pairs:
            lines.append("%s %s %s %s" % (op, text_of(a), text_of(b),
                                          outcome(lambda: binary(op, a, b))))

    # Powers: integral exponents (truncating at every step), the square
    # root, zero, and refused fractions.
    pow_pairs = []
    for a in edge:
        for e in [-3, -2, -1, 0, 1, 2, 3, 7, 61, 100]:
            pow_pairs.append((a, Decimal(e)))
    for _ in range(900):
        a = small_decimal(rng) if rng.random() < 0.7 else random_decimal(rng)
        r = rng.random()
        if r < 0.6:
            b = Decimal(rng.randint(-12, 40))
        elif r < 0.75:
            b = HALF
        elif r < 0.85:
            b = small_decimal(rng)
        else:
            b = Decimal(rng.choice([0, 1, 2, -1, 1000, -1000, 10 ** 20]))
        pow_pairs.append((a, b))
    for a, b in pow_pairs:
        lines.append("pow %s %s %s" % (text_of(a), text_of(b), outcome(lambda: binary("pow", a, b))))

    sqrt_cases = list(edge) + [Decimal(n) for n in range(0, 50)] + \
        [random_decimal(rng) for _ in range(450)]
    for a in sqrt_cases:
        lines.append("sqrt %s - %s" % (text_of(a), outcome(lambda: sqrt(a))))

    # Conversions: to the nearest double (float.hex of float(plain text)),
    # to the integer part, and from doubles through their shortest repr.
    for a in list(edge) + [random_decimal(rng) for _ in range(500)] + \
            [small_decimal(rng) for _ in range(200)]:
        lines.append("tof %s - %s" % (text_of(a), float(plain(a)).hex()))
        lines.append("toint %s - %d" % (text_of(a), int(a)))
    for _ in range(800):
        r = rng.random()
        if r < 0.3:
            x = rng.uniform(-1000, 1000)
        elif r < 0.8:
            x = rng.uniform(1, 10) * 10.0 ** rng.randint(-45, 65)
            if rng.random() < 0.5:
                x = -x
        else:
            x = struct.unpack("<d", struct.pack("<Q", rng.getrandbits(64)))[0]
            if math.isnan(x) or math.isinf(x):
                x = 1.5
        value = Decimal(repr(x))
        if abs(value) >= LIMIT:
            expected = "err:" + range_message(value)
        else:
            t = trunc30(value)
            expected = "ok:%s|%s" % (plain(t), display(t))
        lines.append("fromf %s - %s" % (x.hex(), expected))

    with open(OUT, "w") as f:
        f.write("# Generated by tests/gen/gen_decimal.py with CPython %s; do not edit.\n"
                % os.sys.version.split()[0])
        f.write("\n".join(lines))
        f.write("\n")
    print("wrote %d cases to %s" % (len(lines), OUT))


if __name__ == "__main__":
    main()
