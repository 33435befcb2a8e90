#!/usr/bin/env python3
"""Writes tests/data/builtins/cpython.txt: builtin calls whose results CPython
decides, on the inputs where the engine's builtins and CPython's agree.

Where they agree: int() texts without white space, base prefixes or doubled,
leading or trailing underscores (there the two grammars accept the same
texts); float() texts without white space or underscores; integer divmod,
pow with and without a modulus, abs, bin/oct/hex and format of ints;
min/max/sorted of ints (below 2**53), floats, bools and texts, whose mixed
comparisons are exact there; len/chr/ord/ascii of texts without quotes,
backslashes or ASCII control characters; range, reversed, zip, all, any,
sum of ints, set of ints and texts, bytes of counts, lists and UTF-8 text;
float() of ints and int() of floats below 2**53.

Lines are "call -> result" in the value notation of tests/cpp/value_notation.hpp,
or "call -> error: message" with the engine's wording of a text CPython refuses.
"""
import os
import random
import sys

sys.set_int_max_str_digits(0)
rng = random.Random(41117)
OUT = os.path.join(os.path.dirname(__file__), "..", "data", "builtins", "cpython.txt")


def lit(v):
    if isinstance(v, bool) or v is None:
        return repr(v)
    if isinstance(v, (int, float, str, bytes)):
        return repr(v)
    if isinstance(v, list):
        return "[" + ", ".join(lit(x) for x in v) + "]"
    if isinstance(v, tuple):
        return "(" + ", ".join(lit(x) for x in v) + ("," if len(v) == 1 else "") + ")"
    if isinstance(v, set):
        return "{" + ", ".join(lit(x) for x in sorted(v)) + "}" if v else "s{}"
    raise TypeError(v)


lines = []


def case(call, result):
    lines.append(f"{call} -> {lit(result)}")


def refused(call, message):
    lines.append(f"{call} -> error: {message}")


def some_int(bits=None):
    bits = bits if bits is not None else rng.choice([3, 8, 31, 63, 64, 65, 100, 300])
    v = rng.getrandbits(bits)
    return -v if rng.random() < 0.4 else v


def small_number():
    if rng.random() < 0.5:
        return rng.randint(-5, 5)
    if rng.random() < 0.2:
        return rng.choice([True, False])
    return rng.choice([-2.5, -1.0, -0.5, 0.0, -0.0, 0.5, 1.0, 1.5, 2.0, 3.25, 1e-300, 2.0**52 + 1])


def int_texts():
    digits = "0123456789abcdefghijklmnopqrstuvwxyzABCXYZ"
    for _ in range(1500):
        base = rng.choice([10, 10, 2, 8, 16, 36, rng.randint(2, 36)])
        n = rng.randint(0, 12)
        body = "".join(rng.choice(digits[: max(base, 10) + 3] + "_") for _ in range(n))
        sign = rng.choice(["", "", "+", "-"])
        text = sign + body
        core = body
        if "__" in core or core.startswith("_") or core.endswith("_"):
            continue
        if core[:2].lower() in ("0x", "0o", "0b"):
            continue
        call = f"int({text!r})" if base == 10 and rng.random() < 0.5 else f"int({text!r}, {base})"
        try:
            value = int(text, base)
        except ValueError:
            if call.endswith(f", {base})"):
                refused(call, f"cannot convert '{text}' to int with base {base}")
            else:
                refused(call, f"cannot convert '{text}' to int")
            continue
        case(call, value)


def float_texts():
    words = ["inf", "INF", "Infinity", "iNfInItY", "nan", "NaN", "infinit", "in", "na", "nann"]
    for _ in range(1500):
        if rng.random() < 0.1:
            text = rng.choice(["", "+", "-"]) + rng.choice(words)
        else:
            text = "".join(rng.choice("0123456789.eE+-" if rng.random() < 0.3 else "0123456789.")
                           for _ in range(rng.randint(0, 10)))
            if rng.random() < 0.3:
                text += "e" + rng.choice(["", "+", "-"]) + str(rng.randint(0, 400))
        try:
            value = float(text)
        except ValueError:
            refused(f"float({text!r})", f"cannot convert '{text}' to float")
            continue
        case(f"float({text!r})", value)


def integer_arithmetic():
    for _ in range(300):
        a, b = some_int(), some_int()
        if b != 0:
            case(f"divmod({a}, {b})", divmod(a, b))
        m = some_int(rng.choice([2, 5, 64, 200]))
        e = abs(some_int(rng.choice([4, 16, 70, 300])))
        if m != 0:
            case(f"pow({a}, {e}, {m})", pow(a, e, m))
        base, exp = some_int(rng.choice([3, 20, 64])), rng.randint(0, 40)
        case(f"pow({base}, {exp})", base**exp)
        case(f"abs({a})", abs(a))
        case(f"hex({a})", hex(a))
        case(f"oct({b})", oct(b))
        case(f"bin({a})", bin(a))
        spec = rng.choice(["", "d", "x", "X", "o", "b", "08x", "5d", "010b", "3o", "020X", "1d"])
        case(f"format({a}, {spec!r})", format(a, spec))
        case(f"str({a})", str(a))
        f = rng.choice([-1.0, 1.0]) * rng.random() * 10.0 ** rng.randint(-5, 15)
        case(f"int({f!r})", int(f))
        case(f"abs({f!r})", abs(f))
        i = some_int(rng.choice([10, 53, 60, 64, 120, 1000]))
        case(f"float({i})", float(i))


def orderings():
    for _ in range(300):
        kind = rng.choice(["num", "num", "str", "int"])
        n = rng.randint(1, 12)
        if kind == "num":
            items = [small_number() for _ in range(n)]
        elif kind == "int":
            items = [some_int(rng.choice([8, 52])) for _ in range(n)]
        else:
            items = ["".join(rng.choice("ab\u00e9\u20ac\U0001f600") for _ in range(rng.randint(0, 3)))
                     for _ in range(n)]
        case(f"sorted({lit(items)})", sorted(items))
        case(f"min({lit(items)})", min(items))
        case(f"max({lit(items)})", max(items))
        if len(items) >= 2:
            case(f"max({', '.join(lit(x) for x in items)})", max(items))
        if kind != "str":
            case(f"all({lit(items)})", all(items))
            case(f"any({lit(items)})", any(items))
            case(f"reversed({lit(items)})", list(reversed(items)))
        if kind == "int":
            case(f"sum({lit(items)})", sum(items))
            case(f"set({lit(items)})", set(items))


def texts():
    alphabet = "az AZ09!#~\u00e9\u00ff\u0100\u20ac\ud7ff\ue000\U0001f600\U0010ffff"
    for _ in range(200):
        t = "".join(rng.choice(alphabet) for _ in range(rng.randint(0, 6)))
        case(f"len({t!r})", len(t))
        case(f"ascii({t!r})", ascii(t))
        case(f"list({t!r})", list(t))
        case(f"set({t!r})", set(t))
        case(f"bytes({t!r}, 'utf-8')", t.encode("utf-8"))
        if t:
            c = t[0]
            case(f"ord({c!r})", ord(c))
            case(f"chr({ord(c)})", c)
        data = [rng.randint(0, 255) for _ in range(rng.randint(0, 5))]
        case(f"bytes({lit(data)})", bytes(data))
        case(f"list({lit(bytes(data))})", list(bytes(data)))
        case(f"bytes({len(data)})", bytes(len(data)))


def sequences():
    for _ in range(150):
        start, stop = rng.randint(-30, 30), rng.randint(-30, 30)
        step = rng.choice([1, 2, 3, 7, -1, -2, -5])
        case(f"range({start}, {stop}, {step})", list(range(start, stop, step)))
        case(f"range({stop})", list(range(stop)))
        a = [rng.randint(0, 9) for _ in range(rng.randint(0, 4))]
        b = "".join(rng.choice("xyz") for _ in range(rng.randint(0, 4)))
        c = tuple(rng.randint(0, 9) for _ in range(rng.randint(0, 4)))
        case(f"zip({lit(a)}, {lit(b)}, {lit(c)})", list(zip(a, b, c)))
        case(f"zip({lit(a)})", list(zip(a)))


int_texts()
float_texts()
integer_arithmetic()
orderings()
texts()
sequences()

with open(OUT, "w", encoding="utf-8") as out:
    out.write("# Generated by tests/gen/gen_builtin_cases.py from CPython's own results.\n")
    out.write("\n".join(lines) + "\n")
