"""Runs contract source under CPython as the engine would run it.

The differential test compares the engine with CPython on programs of the
subset both languages share. Where the contract language departs from Python
on purpose, this module encodes the engine's answer so that CPython still
computes everything else:
- values are copied, never shared: every variable read is a deep copy, a
  method that changes its receiver changes the variable it was called on, and
  an item assignment rebuilds the container chain on a copy; method arguments
  are evaluated before the receiver;
- iteration materialises the iterable first, sets iterate in set-key order;
- range, reversed, zip, map and filter give lists; dict keys, values and
  items give lists; dict keys match structurally and need no hash;
- no arithmetic on bools, no float // or %, no negative int exponent, int / int
  divides the two nearest doubles, float division by zero is IEEE; an int
  meets a float as its nearest double, also in ==;
- only numbers, texts and bytes are ordered; membership in sets and dicts is
  a scan by equality; `is` is structural equality;
- display texts (str(), f-strings, str.format) quote no strings and write
  float exponents without "+"; f-string conversions and specs are refused;
- round() rounds halves away from zero; int() and float() parse only the
  strict text grammars, and int() of a float reads its shortest digits;
  isinstance matches exact kinds (a bool is not an int);
- slice bounds, counts and exponents have the engine's machine-size limits;
- the str, list and set methods that differ in edge cases (Unicode predicates,
  the White_Space set, find and startswith bounds, strip(None), list.remove by
  structural equality, set.pop order, set.remove's message).
Where the engine's answer cannot be expressed as a Python value (a NaN met by
==, a non-finite float the engine keeps where Python raises, a dict with two
equal keys, a size limit), the program leaves the shared subset: `Skip`.
"""

import ast
import copy
import decimal
import math
import re
import signal
import sys
import unicodedata
import warnings

sys.set_int_max_str_digits(0)

MAX_BITS = 1 << 20
MAX_REPETITION = 131072


ABSENT = object()


class Skip(Exception):
    """The program left the subset the two languages share."""


class EngineOnly(Exception):
    """An error kind Python has no class for (the engine refuses what Python allows)."""

    def __init__(self, kind):
        super().__init__(kind)
        self.kind = kind


TYPE_NAMES = {type(None): "none", bool: "bool", int: "int", float: "float", str: "str", bytes: "bytes",
              bytearray: "bytearray", list: "list", tuple: "tuple", dict: "dict", set: "set",
              frozenset: "frozenset"}


def type_name(v):
    if isinstance(v, BaseException):
        return "exception"
    return TYPE_NAMES.get(type(v), "builtin" if getattr(v, "vm_name", None) else "function_ref")


def is_number(v):
    return type(v) in (int, float)


def has_nan(v):
    t = type(v)
    if t is float:
        return v != v
    if t in (list, tuple, set, frozenset):
        return any(has_nan(x) for x in v)
    if t is dict:
        return any(has_nan(k) or has_nan(x) for k, x in v.items())
    return False


def finite(x):
    if type(x) is float and not math.isfinite(x):
        raise Skip("non-finite float")
    return x


def double_to_int(x):
    """The integer part of a double read back from its shortest decimal digits,
    so 2.0 ** 60 gives 1152921504606847000, not its exact binary value."""
    return int(decimal.Decimal(repr(float(math.trunc(x)))))


def to_double(i):
    try:
        return float(i)
    except OverflowError:
        return math.copysign(math.inf, i)


# ---- display texts ------------------------------------------------------------------

def float_text(x):
    if x != x:
        return "NaN"
    if math.isinf(x):
        return "inf" if x > 0 else "-inf"
    text = repr(x)
    if "e" in text:
        mantissa, exponent = text.split("e")
        return f"{mantissa}e{int(exponent)}"
    return text


def exception_arg_text(v):
    if type(v) is str:
        return "'" + v.replace("\\", "\\\\").replace("'", "\\'") + "'"
    return display(v)


def bytes_text(b):
    escapes = {9: "\\t", 10: "\\n", 13: "\\r", 39: "\\'", 92: "\\\\"}
    out = []
    for c in b:
        if c in escapes:
            out.append(escapes[c])
        elif c < 0x20 or c > 0x7E:
            out.append(f"\\x{c:02x}")
        else:
            out.append(chr(c))
    return "b'" + "".join(out) + "'"


def display(v):
    t = type(v)
    if v is None or t in (bool, int):
        return str(v)
    if t is float:
        return float_text(v)
    if t is str:
        return v
    if t is bytes:
        return bytes_text(v)
    if t is bytearray:
        return f"bytearray({bytes_text(v)})"
    if t is list:
        return "[" + ", ".join(display(x) for x in v) + "]"
    if t is tuple:
        return "(" + ", ".join(display(x) for x in v) + ("," if len(v) == 1 else "") + ")"
    if t is dict:
        return "{" + ", ".join(display(k) + ": " + display(x) for k, x in v.items()) + "}"
    if t in (set, frozenset):
        inner = "{" + ", ".join(display(x) for x in set_order(v)) + "}"
        if t is set:
            return inner if v else "set()"
        return f"frozenset({inner})" if v else "frozenset()"
    if isinstance(v, BaseException):
        return f"{type(v).__name__}({', '.join(exception_arg_text(a) for a in v.args)})"
    if getattr(v, "vm_name", None):
        return f"<builtin:{v.vm_name}>"
    return f"<function:{v.__name__}>"


# ---- set keys and value semantics -----------------------------------------------------

def set_key(v):
    t = type(v)
    if v is None:
        return (0,)
    if t is bool:
        return (1, v)
    if t is int:
        return (2, v)
    if t is float:
        return (4, float_text(v).encode())
    if t is str:
        return (7, v.encode())
    if t is bytes:
        return (8, v)
    if t is tuple:
        return (9, tuple(set_key(x) for x in v))
    if t is frozenset:
        return (10, tuple(sorted(set_key(x) for x in v)))
    raise TypeError(f"unhashable type: '{type_name(v)}'")


def set_order(items):
    return sorted(items, key=set_key)


def make_set(items, kind=set):
    items = list(items)
    for x in items:
        set_key(x)
    if any(has_nan(x) for x in items):
        raise Skip("NaN in a set")
    if len({type(x) for x in items} & {bool, int, float}) > 1:
        raise Skip("set of mixed numeric kinds")
    return kind(items)


def copy_value(v):
    t = type(v)
    if t is list:
        return [copy_value(x) for x in v]
    if t is dict:
        return {k: copy_value(x) for k, x in v.items()}
    if t is set:
        return set(v)
    if t is tuple:
        return tuple(copy_value(x) for x in v)
    if t is bytearray:
        return bytearray(v)
    return v


def structural_eq(a, b):
    """Same kind and equal payload (IEEE equality for floats, pairs in order for dicts)."""
    if type(a) is not type(b):
        return False
    t = type(a)
    if t in (list, tuple):
        return len(a) == len(b) and all(structural_eq(x, y) for x, y in zip(a, b))
    if t is dict:
        return len(a) == len(b) and all(structural_eq(x, y) for x, y in zip(a.items(), b.items()))
    if t in (set, frozenset):
        return structural_eq(set_order(a), set_order(b))
    return a == b


def values_equal(a, b):
    """Equality of ==, membership and the set operations: numbers across kinds
    (an int meets a float as its nearest double), sets as sets, dicts without
    regard to order, bytes with bytearray."""
    ta, tb = type(a), type(b)
    numbers = (bool, int, float)
    if ta in numbers and tb in numbers:
        return a == b if ta is tb is bool else ordering(a, b) == 0
    if ta in (set, frozenset):
        return tb in (set, frozenset) and len(a) == len(b) and \
            all(any(values_equal(y, x) for y in set_order(b)) for x in set_order(a))
    if ta in (list, tuple):
        return ta is tb and len(a) == len(b) and all(values_equal(x, y) for x, y in zip(a, b))
    if ta is dict:
        if tb is not dict or len(a) != len(b):
            return False
        for key, value in a.items():
            match = next((k for k in b if not has_nan(k) and not has_nan(key) and values_equal(key, k)), ABSENT)
            if match is ABSENT or not values_equal(value, b[match]):
                return False
        return True
    if ta in (bytes, bytearray) and tb in (bytes, bytearray):
        return bytes(a) == bytes(b)
    return structural_eq(a, b)


def iterate(x):
    t = type(x)
    if t in (set, frozenset):
        return set_order(x)
    if t in (str, bytes, bytearray, list, tuple, dict):
        return [copy_value(v) for v in x]
    raise TypeError(f"value of type {type_name(x)} is not iterable")


def as_bigint(v):
    if type(v) in (bool, int):
        return int(v)
    raise TypeError(f"expected int-compatible value, got {type_name(v)}")


def as_text(v):
    if type(v) is not str:
        raise TypeError(f"expected string value, got {type_name(v)}")
    return v


def dict_from_pairs(pairs, merge):
    """A dict built from pairs: a display appends every pair, a comprehension
    replaces the value of a structurally equal key."""
    out = {}
    stored = []
    for key, value in pairs:
        try:
            hash(key)
        except TypeError:
            raise Skip("dict key Python cannot hash")
        match = next((k for k in stored if structural_eq(k, key)), None)
        if match is None and any(values_equal(k, key) for k in stored):
            raise Skip("dict keys Python would merge")
        if match is not None:
            if not merge:
                raise Skip("dict display with a repeated key")
            out[match] = value
        else:
            stored.append(key)
            out[key] = value
    return out


# ---- operators ---------------------------------------------------------------------------

def ordering(a, b):
    """compare_vm_values: -1, 0 or 1."""
    ta, tb = type(a), type(b)
    if ta in (bool, int, float) and tb in (bool, int, float):
        if ta is float or tb is float:
            x = a if ta is float else to_double(a)
            y = b if tb is float else to_double(b)
            if x != x or y != y:
                raise Skip("NaN ordered")
            return (x > y) - (x < y)
        return (a > b) - (a < b)
    if (ta is str and tb is str) or (ta in (bytes, bytearray) and tb in (bytes, bytearray)):
        x = a.encode() if ta is str else bytes(a)
        y = b.encode() if tb is str else bytes(b)
        return (x > y) - (x < y)
    raise TypeError(f"values {type_name(a)} and {type_name(b)} are not order-comparable")


def compare_ord(op, a, b):
    ta, tb = type(a), type(b)
    if ta in (set, frozenset) and tb in (set, frozenset):
        return {"lt": a < b, "lt_e": a <= b, "gt": a > b, "gt_e": a >= b}[op]
    numbers = (int, float)
    if ta in numbers and tb in numbers:
        x = a if ta is float or tb is int else to_double(a)
        y = b if tb is float or ta is int else to_double(b)
    elif (ta is str and tb is str) or (ta in (bytes, bytearray) and tb in (bytes, bytearray)):
        x, y = a, b
    else:
        raise TypeError(f"values {type_name(a)} and {type_name(b)} are not order-comparable")
    return {"lt": x < y, "lt_e": x <= y, "gt": x > y, "gt_e": x >= y}[op]


def byte_from_value(v):
    if type(v) in (bool, int):
        if not 0 <= v <= 255:
            raise ValueError("byte must be in range(0, 256)")
        return int(v)
    raise TypeError(f"a bytes-like object is required, not '{type_name(v)}'")


def contains(container, needle):
    t = type(container)
    if t is str:
        if type(needle) is not str:
            raise TypeError("string membership requires a string needle")
        return needle in container
    if t in (bytes, bytearray):
        if type(needle) in (bytes, bytearray):
            return bytes(needle) in container
        return byte_from_value(needle) in container
    if t in (set, frozenset, list, tuple, dict):
        return any(values_equal(item, needle) for item in (set_order(container) if t in (set, frozenset)
                                                          else container))
    raise TypeError(f"membership is not supported for {type_name(container)}")


def compare_link(op, a, b):
    if op == "eq":
        return values_equal(a, b)
    if op == "not_eq":
        return not values_equal(a, b)
    if op == "in":
        return contains(b, a)
    if op == "not_in":
        return not contains(b, a)
    if op == "is":
        return structural_eq(a, b)
    if op == "is_not":
        return not structural_eq(a, b)
    return compare_ord(op, a, b)


def compare_chain(left, ops, thunks):
    for op, thunk in zip(ops, thunks):
        right = thunk()
        if not compare_link(op, left, right):
            return False
        left = right
    return True


def unary(op, v):
    if op == "neg" and is_number(v):
        return -v
    if op == "pos" and is_number(v):
        return v
    if op == "invert":
        return ~as_bigint(v)
    raise TypeError(f"unsupported {op} operand {type_name(v)}")


def machine_size(value, subject, bits=64):
    """An unsigned machine count; negative and oversized values fail as in the engine."""
    if value < 0:
        raise ValueError(f"{subject} must be non-negative")
    if value >= 1 << bits:
        raise OverflowError(f"{subject} exceeds the supported range")
    return value


def signed64(value, subject):
    if not -(1 << 63) <= value < 1 << 63:
        raise OverflowError(f"{subject} exceeds the supported i64 range")
    return value


def repeat(seq, count):
    if count <= 0:
        return seq[:0]
    machine_size(count, "repeat count")
    size = len(seq.encode()) if type(seq) is str else len(seq)
    if size * count > MAX_REPETITION:
        raise Skip("repetition limit")
    return seq * count if size else seq[:0]


def slice_of(container, lower, upper, step):
    """A slice: a bound written as None is refused like any non-integer; bounds
    and step are signed 64-bit and the step is not zero."""
    lower, upper, step = [None if b is ABSENT else as_bigint(b) for b in (lower, upper, step)]
    if type(container) not in (str, bytes, bytearray, list, tuple):
        raise TypeError(f"slice access is not supported for {type_name(container)}")
    step, lower, upper = [None if b is None else signed64(b, "slice bound") for b in (step, lower, upper)]
    if step == 0:
        raise ValueError("slice step cannot be zero")
    return container[lower:upper:step]


def checked_int(value):
    if value.bit_length() > MAX_BITS:
        raise Skip("integer size limit")
    return value


def binop(op, a, b):
    ta, tb = type(a), type(b)
    numbers = is_number(a) and is_number(b)
    unsupported = TypeError(f"unsupported {op} operands {type_name(a)} and {type_name(b)}")
    if op == "add":
        if numbers:
            return finite(a + b)
        if (ta is tb and ta in (str, list, tuple)) or (ta in (bytes, bytearray) and tb in (bytes, bytearray)):
            if len(a) + len(b) > MAX_REPETITION:
                raise Skip("concatenation near the size limit")
            return ta(a + b)
        raise unsupported
    if op == "sub":
        if numbers:
            return finite(a - b)
        if ta in (set, frozenset) and tb in (set, frozenset):
            return make_set(a - b, ta)
        raise unsupported
    if op == "mul":
        if ta is int and tb in (str, bytes, bytearray, list, tuple):
            return repeat(b, a)
        if tb is int and ta in (str, bytes, bytearray, list, tuple):
            return repeat(a, b)
        if ta is int and tb is int:
            if a and b and a.bit_length() + b.bit_length() > MAX_BITS + 1:
                raise Skip("integer size limit")
            return checked_int(a * b)
        if numbers:
            return finite(a * b)
        raise unsupported
    if op == "div":
        if not numbers:
            raise unsupported
        if ta is int and tb is int:
            if b == 0:
                raise ZeroDivisionError("division by zero")
            return finite(to_double(a) / to_double(b))
        x = a if ta is float else to_double(a)
        y = b if tb is float else to_double(b)
        if y == 0:
            raise Skip("float division by zero")
        return finite(x / y)
    if op in ("floordiv", "mod"):
        if ta is int and tb is int:
            if b == 0:
                raise ZeroDivisionError("division by zero")
            return a // b if op == "floordiv" else a % b
        raise unsupported
    if op == "pow":
        if ta is int and tb is int:
            if b < 0:
                raise ValueError("pow exponent must be non-negative")
            if abs(a) > 1 and a.bit_length() * b > MAX_BITS + b:
                raise Skip("integer size limit")
            machine_size(b, "pow exponent", 32)
            return checked_int(a ** b)
        if numbers:
            try:
                return finite(math.pow(to_double(a), to_double(b)))
            except (OverflowError, ValueError):
                raise Skip("float power outside the shared subset")
        raise unsupported
    if op in ("bitand", "bitor", "bitxor"):
        if ta is bool and tb is bool:
            return {"bitand": a & b, "bitor": a | b, "bitxor": a ^ b}[op]
        if ta in (set, frozenset) and tb in (set, frozenset):
            return make_set({"bitand": a & b, "bitor": a | b, "bitxor": a ^ b}[op], ta)
        x, y = as_bigint(a), as_bigint(b)
        return {"bitand": x & y, "bitor": x | y, "bitxor": x ^ y}[op]
    if op in ("lshift", "rshift"):
        x, y = as_bigint(a), as_bigint(b)
        if y < 0:
            raise ValueError("negative shift count")
        if op == "lshift":
            if x and x.bit_length() + y > MAX_BITS:
                raise Skip("integer size limit")
            return x << y
        return x >> y
    raise ValueError(f"unsupported binary operator '{op}'")


# ---- builtins ------------------------------------------------------------------------------

BUILTINS = {}


def builtin(name, low, high=None):
    """Registers a builtin with its accepted positional counts; keywords only for dict."""
    high = low if high is None else high

    def register(fn):
        def call(*args, **kwargs):
            if (kwargs and name != "dict") or not low <= len(args) <= high:
                raise TypeError(f"{name}() arity")
            return fn(*args, **kwargs)
        call.vm_name = name
        call.__name__ = name
        BUILTINS[name] = call
        return call
    return register


def callable_value(f):
    return callable(f) and not isinstance(f, type)


@builtin("abs", 1)
def _abs(x):
    if is_number(x):
        return abs(x)
    raise TypeError(f"abs() does not support {type_name(x)}")


@builtin("bool", 1)
def _bool(x):
    return bool(x)


@builtin("divmod", 2)
def _divmod(a, b):
    return binop("floordiv", copy_value(a), copy_value(b)), binop("mod", a, b)


FLOAT_TEXT = re.compile(r"[+-]?([0-9]+(\.[0-9]*)?|\.[0-9]+)([eE][+-]?[0-9]+)?")
FLOAT_WORDS = {"inf", "+inf", "-inf", "infinity", "+infinity", "-infinity", "nan", "+nan", "-nan"}


@builtin("float", 1)
def _float(x):
    t = type(x)
    if t in (bool, int):
        return to_double(x)
    if t is float:
        return x
    if t in (bytes, bytearray):
        try:
            x = bytes(x).decode()
        except UnicodeDecodeError:
            raise ValueError("cannot convert non-text bytes to float")
        t = str
    if t is str:
        if FLOAT_TEXT.fullmatch(x) or x.lower() in FLOAT_WORDS:
            return finite(float(x))
        raise ValueError(f"cannot convert '{x}' to float")
    raise TypeError(f"float() does not support {type_name(x)}")


DIGITS = "0123456789abcdefghijklmnopqrstuvwxyz"


def parse_int(text, base):
    body = text[1:] if text[:1] in ("+", "-") else text
    digits = DIGITS[:base]
    if not body or body[0].lower() not in digits or any(c != "_" and c.lower() not in digits for c in body):
        return None
    value = int(body.replace("_", ""), base)
    return -value if text.startswith("-") else value


@builtin("int", 1, 2)
def _int(x, *base):
    if base:
        if type(x) is not str:
            raise TypeError("int() base argument requires a string input")
        b = machine_size(as_bigint(base[0]), "int() base", 32)
        if not 2 <= b <= 36:
            raise ValueError("int() base must be between 2 and 36")
        value = parse_int(x, b)
        if value is None:
            raise ValueError(f"cannot convert '{x}' to int with base {b}")
        return checked_int(value)
    t = type(x)
    if t in (bool, int):
        return int(x)
    if t is float:
        if not math.isfinite(x):
            raise ValueError("float() input must be finite for integer conversion")
        return double_to_int(x)
    if t in (bytes, bytearray):
        try:
            x = bytes(x).decode()
        except UnicodeDecodeError:
            raise ValueError("cannot convert non-text bytes to int")
        t = str
    if t is str:
        if len(x.encode()) > 8192:
            raise ValueError("int() input exceeds the maximum allowed length")
        value = parse_int(x, 10)
        if value is None:
            raise ValueError(f"cannot convert '{x}' to int")
        return checked_int(value)
    raise TypeError(f"int() does not support {type_name(x)}")


@builtin("pow", 2, 3)
def _pow(base, exp, *mod):
    if mod:
        b, e, m = as_bigint(base), as_bigint(exp), as_bigint(mod[0])
        if e < 0:
            raise ValueError("pow() 3rd argument not allowed unless all arguments are integers")
        if m == 0:
            raise ValueError("pow() 3rd argument cannot be 0")
        if m.bit_length() > MAX_BITS or e.bit_length() > 8192 or e.bit_length() * m.bit_length() > 1 << 24:
            raise Skip("modular exponentiation limit")
        return pow(b, e, m)
    if type(base) is bool or type(exp) is bool or not (is_number(base) and is_number(exp)):
        raise TypeError(f"pow() does not support {type_name(base)} and {type_name(exp)}")
    return binop("pow", base, exp)


def round_half_away(y):
    f = math.floor(abs(y))
    r = f + 1 if abs(y) - f >= 0.5 else f
    return math.copysign(r, y)


def round_to_factor(value, factor):
    if abs(value) * 2 < factor:
        return 0
    q = abs(value) // factor
    if abs(value) - q * factor >= factor // 2:
        q += 1
    return (q if value >= 0 else -q) * factor


@builtin("round", 1, 2)
def _round(x, *nd):
    n = None
    if nd:
        n = signed64(as_bigint(nd[0]), "round() ndigits")
        if not -2**31 <= n < 2**31:
            raise ValueError("round() ndigits is out of supported range")
    t = type(x)
    if t is int:
        if n is None or n >= 0:
            return x
        return 0 if -n > len(str(abs(x))) else round_to_factor(x, 10 ** -n)
    if t is float:
        if n is None:
            if not math.isfinite(x):
                raise ValueError("round() input must be finite for integer conversion")
            return double_to_int(round_half_away(x))
        if not math.isfinite(x):
            return x
        p, base, k = 1.0, 10.0, abs(n)
        while k:   # binary exponentiation in doubles, as the engine computes 10^n
            if k & 1:
                p *= base
            base *= base
            k >>= 1
            if math.isinf(p):
                break
        if n < 0:
            p = 1.0 / p
        if math.isinf(p):
            return x
        if p == 0.0:
            return math.copysign(0.0, x)
        scaled = x * p
        if not math.isfinite(scaled):
            return x
        result = round_half_away(scaled) / p
        return result if math.isfinite(result) else x
    raise TypeError(f"round() does not support {type_name(x)}")


def format_integer(value, radix, prefix):
    digits = {2: "b", 8: "o", 16: "x"}[radix]
    return ("-" if value < 0 else "") + prefix + format(abs(value), digits)


@builtin("bin", 1)
def _bin(x):
    return format_integer(as_bigint(x), 2, "0b")


@builtin("oct", 1)
def _oct(x):
    return format_integer(as_bigint(x), 8, "0o")


@builtin("hex", 1)
def _hex(x):
    return format_integer(as_bigint(x), 16, "0x")


def best(name, args, want):
    candidates = iterate(args[0]) if len(args) == 1 else list(args)
    if not candidates:
        raise ValueError(f"{name}() received no values")
    result = candidates[0]
    for c in candidates[1:]:
        if ordering(c, result) == want:
            result = c
    return result


@builtin("min", 1, 1 << 30)
def _min(*args):
    return best("min", args, -1)


@builtin("max", 1, 1 << 30)
def _max(*args):
    return best("max", args, 1)


@builtin("sum", 1, 2)
def _sum(iterable, *start):
    total = start[0] if start else 0
    for item in iterate(iterable):
        total = binop("add", total, item)
    return total


@builtin("str", 1)
def _str(x):
    return display(x)


def ascii_string(text):
    escapes = {"\t": "\\t", "\n": "\\n", "\r": "\\r", "'": "\\'", "\\": "\\\\"}
    out = []
    for c in text:
        o = ord(c)
        if c in escapes:
            out.append(escapes[c])
        elif o < 0x20 or 0x7F <= o <= 0xFF:
            out.append(f"\\x{o:02x}")
        elif o > 0xFFFF:
            out.append(f"\\U{o:08x}")
        elif o > 0xFF:
            out.append(f"\\u{o:04x}")
        else:
            out.append(c)
    return "'" + "".join(out) + "'"


@builtin("ascii", 1)
def _ascii(x):
    if type(x) is str:
        return ascii_string(x)
    return "".join(c if ord(c) < 128 else f"\\u{{{ord(c):x}}}" for c in display(x))


@builtin("chr", 1)
def _chr(i):
    code = as_bigint(i)
    if code < 0:
        raise ValueError("chr() input must be non-negative")
    if code >= 2**32:
        raise OverflowError("chr() input exceeds the supported u32 range")
    if code >= 0x110000 or 0xD800 <= code <= 0xDFFF:
        raise ValueError(f"chr() arg not in range(0x110000): {code}")
    return chr(code)


@builtin("ord", 1)
def _ord(c):
    if type(c) in (str, bytes, bytearray):
        if len(c) != 1:
            raise TypeError("ord() expected a character")
        return ord(c) if type(c) is str else c[0]
    raise TypeError(f"ord() does not support {type_name(c)}")


INT_SPEC = re.compile(r"(\+?\d*)([bdoxX])")


@builtin("format", 1, 2)
def _format(value, *spec):
    spec = as_text(spec[0]) if spec else ""
    t = type(value)
    if t is int:
        if spec in ("", "d"):
            return str(value)
        m = INT_SPEC.fullmatch(spec)
        if not m or m.group(1) == "+":
            raise ValueError(f"unsupported integer format spec '{spec}'")
        width_part, kind = m.groups()
        digits = format(abs(value), kind)
        sign = "-" if value < 0 else ""
        width = int(width_part.lstrip("+") or 0)
        if width >= 1 << 64:
            raise ValueError(f"unsupported integer format spec '{spec}'")
        if width > MAX_REPETITION:
            raise Skip("format width")
        if width_part.startswith("0"):
            return sign + digits.rjust(width - len(sign), "0")
        return (sign + digits).rjust(width)
    if spec == "" and t is str:
        return value
    if spec == "" and t in (bool, float, bytes, bytearray):
        return display(value)
    raise TypeError(f"format() does not support {type_name(value)} with spec '{spec}'")


@builtin("len", 1)
def _len(x):
    if type(x) in (str, bytes, bytearray, list, tuple, dict, set, frozenset):
        return len(x)
    raise TypeError(f"len() does not support {type_name(x)}")


@builtin("list", 0, 1)
def _list(*x):
    return iterate(x[0]) if x else []


@builtin("tuple", 0, 1)
def _tuple(*x):
    return tuple(iterate(x[0])) if x else ()


@builtin("set", 0, 1)
def _set(*x):
    return make_set(iterate(x[0])) if x else set()


@builtin("frozenset", 0, 1)
def _frozenset(*x):
    return make_set(iterate(x[0]), frozenset) if x else frozenset()


@builtin("dict", 0, 1)
def _dict(*x, **kwargs):
    pairs = []
    if x:
        source = x[0]
        if type(source) is dict:
            pairs = list(copy_value(source).items())
        elif type(source) in (list, tuple):
            for item in source:
                if type(item) not in (list, tuple) or len(item) != 2:
                    raise TypeError(f"dict() expected key/value pairs, got {type_name(item)}")
                pairs.append((copy_value(item[0]), copy_value(item[1])))
        else:
            raise TypeError(f"dict() does not support {type_name(source)}")
    out = dict_from_pairs(pairs, merge=False)
    return dict_from_pairs(list(out.items()) + list(kwargs.items()), merge=True)


@builtin("range", 1, 3)
def _range(*args):
    values = [as_bigint(a) for a in args]
    start, stop, step = (0, values[0], 1) if len(values) == 1 else (values + [1])[:3]
    if step == 0:
        raise ValueError("range() step cannot be zero")
    r = range(start, stop, step)
    if len(r) > MAX_REPETITION:
        raise Skip("range limit")
    return list(r)


@builtin("reversed", 1)
def _reversed(x):
    return iterate(x)[::-1]


@builtin("sorted", 1)
def _sorted(x):
    items = iterate(x)
    out = []
    for item in items:  # the engine's stable insertion, with its comparisons
        position = len(out)
        for i, placed in enumerate(out):
            if ordering(item, placed) < 0:
                position = i
                break
        out.insert(position, item)
    return out


@builtin("zip", 1, 1 << 30)
def _zip(*iterables):
    lists = [iterate(x) for x in iterables]
    return [tuple(items) for items in zip(*lists)]


@builtin("map", 2, 1 << 30)
def _map(f, *iterables):
    if not callable_value(f):
        raise TypeError("map() must have a callable first argument")
    lists = [iterate(x) for x in iterables]
    return [f(*items) for items in zip(*lists)]


@builtin("filter", 2)
def _filter(f, x):
    items = iterate(x)
    if f is None:
        return [item for item in items if item]
    if not callable_value(f):
        raise TypeError("filter() must have a callable first argument or None")
    return [item for item in items if f(copy_value(item))]


@builtin("all", 1)
def _all(x):
    return all(iterate(x))


@builtin("any", 1)
def _any(x):
    return any(iterate(x))


KIND_NAMES = {"int", "str", "set", "bool", "list", "dict", "float", "bytes", "tuple", "bytearray", "frozenset"}


def type_matches(value, spec):
    if type(spec) is tuple:
        return any(type_matches(value, s) for s in spec)
    name = getattr(spec, "vm_name", None)
    return name in KIND_NAMES and type_name(value) == name


@builtin("isinstance", 2)
def _isinstance(value, spec):
    return type_matches(value, spec)


@builtin("bytes", 0, 3)
def _bytes(*args):
    return bytes_like(args, bytes)


@builtin("bytearray", 0, 3)
def _bytearray(*args):
    return bytes_like(args, bytearray)


def bytes_like(args, kind):
    if not args:
        return kind()
    x = args[0]
    if len(args) == 1:
        if type(x) is int:
            if x < 0:
                raise ValueError("negative count")
            if x > MAX_REPETITION:
                raise Skip("bytes size limit")
            return kind(x)
        if type(x) is str:
            raise TypeError("string argument without an encoding")
        if type(x) in (bytes, bytearray):
            return kind(x)
        if type(x) in (list, tuple):
            return kind(byte_from_value(v) for v in x)
        raise TypeError(f"{type_name(x)} is not bytes-like")
    if type(x) is not str:
        raise TypeError("encoding without a string argument")
    encoding = as_text(args[1]).lower()
    if encoding in ("utf-8", "utf8"):
        return kind(x.encode())
    if encoding == "ascii":
        if not x.isascii():
            raise ValueError("'ascii' codec can't encode characters outside ASCII range")
        return kind(x.encode())
    raise ValueError(f"unsupported encoding '{encoding}'")


BUILTINS["Exception"] = Exception


# ---- native methods ------------------------------------------------------------------------

STR_METHODS = {"format", "isascii", "isalpha", "isdigit", "isalnum", "islower", "lower", "upper", "strip",
               "split", "replace", "find", "startswith", "endswith", "join"}
SET_READERS = {"copy", "union", "difference", "intersection", "symmetric_difference", "issubset", "issuperset",
               "isdisjoint"}
METHODS = {
    str: STR_METHODS,
    bytes: {"hex"},
    bytearray: {"hex", "copy", "clear", "append", "extend", "pop"},
    list: {"append", "extend", "insert", "remove", "pop", "clear", "copy", "count", "index"},
    dict: {"keys", "values", "items", "get", "pop", "clear", "copy"},
    set: SET_READERS | {"add", "remove", "discard", "pop", "clear"},
    frozenset: SET_READERS,
}
MUTATING = {(bytearray, m) for m in ("clear", "append", "extend", "pop")} | \
    {(list, m) for m in ("append", "extend", "insert", "remove", "pop", "clear")} | \
    {(dict, m) for m in ("pop", "clear")} | {(set, m) for m in ("add", "remove", "discard", "pop", "clear")}


ANY = (0, 1 << 30)
ARITY = {"format": ANY, "union": ANY, "difference": ANY, "intersection": ANY, "strip": (0, 1), "split": (0, 2),
         "replace": (2, 3), "find": (1, 3), "startswith": (1, 3), "endswith": (1, 3), "index": (1, 3),
         "insert": (2, 2), "get": (1, 2), ("dict", "pop"): (1, 2), ("list", "pop"): (0, 1),
         ("bytearray", "pop"): (0, 1)}
ONE_ARGUMENT = {"join", "append", "extend", "remove", "count", "add", "discard", "symmetric_difference",
                "issubset", "issuperset", "isdisjoint"}


def arity(t, name):
    if name in ONE_ARGUMENT:
        return (1, 1)
    return ARITY.get((TYPE_NAMES[t], name), ARITY.get(name, (0, 0)))


def search_bounds(n, args):
    start = as_bigint(args[0]) if args else 0
    end = as_bigint(args[1]) if len(args) > 1 else n
    start, end = [min(max(b + n if b < 0 else b, 0), n) for b in (start, end)]
    return start, max(end, start)


def render_format(template, args):
    out, i, counter = [], 0, 0
    while i < len(template):
        c = template[i]
        if c == "{" and template[i + 1:i + 2] == "{":
            out.append("{")
            i += 2
        elif c == "}" and template[i + 1:i + 2] == "}":
            out.append("}")
            i += 2
        elif c == "}":
            raise ValueError("str.format() unmatched '}'")
        elif c == "{":
            close = template.find("}", i + 1)
            if close < 0:
                raise ValueError("str.format() missing closing '}'")
            field = template[i + 1:close]
            if field == "":
                index = counter
                counter += 1
            elif re.fullmatch(r"\+?\d+", field):
                index = int(field)
            else:
                raise EngineOnly("format field")
            if index >= len(args):
                raise IndexError("str.format() placeholder index out of range")
            out.append(display(args[index]))
            i = close + 1
        else:
            out.append(c)
            i += 1
    return "".join(out)


WHITE_SPACE = "".join(map(chr, [*range(9, 14), 0x20, 0x85, 0xA0, 0x1680, *range(0x2000, 0x200B), 0x2028,
                                 0x2029, 0x202F, 0x205F, 0x3000]))


def split_white_space(s, maxsplit):
    """Python's split() on the Unicode White_Space set (Python also splits at U+001C to U+001F)."""
    pieces, rest = [], s.lstrip(WHITE_SPACE)
    while rest:
        if 0 <= maxsplit <= len(pieces):
            pieces.append(rest)
            break
        end = next((i for i, c in enumerate(rest) if c in WHITE_SPACE), len(rest))
        pieces.append(rest[:end])
        rest = rest[end:].lstrip(WHITE_SPACE)
    return pieces


def char_class(c, test):
    """Alphabetic, numeric and Lowercase as the engine reads them (Unicode
    properties; Python's isalpha and islower read categories instead). Characters
    whose property the categories cannot tell leave the shared subset."""
    category = unicodedata.category(c)
    if test == "numeric":
        return category in ("Nd", "Nl", "No")
    if category in ("Mn", "Mc", "So", "Lm") or c in "\u00aa\u00ba":
        raise Skip("character property beyond the categories")
    if test == "alphabetic":
        return category[0] == "L" or category == "Nl"
    return category == "Ll"


def str_predicate(s, name):
    alphabetic = [char_class(c, "alphabetic") for c in s]
    if name == "isalpha":
        return bool(s) and all(alphabetic)
    if name == "isdigit":
        return bool(s) and all(char_class(c, "numeric") for c in s)
    if name == "isalnum":
        return bool(s) and all(a or char_class(c, "numeric") for a, c in zip(alphabetic, s))
    letters = [c for a, c in zip(alphabetic, s) if a]
    return bool(letters) and all(char_class(c, "lowercase") for c in letters)


def str_method(s, name, args):
    if name == "format":
        return render_format(s, args)
    if name in ("isalpha", "isdigit", "isalnum", "islower"):
        return str_predicate(s, name)
    if name == "strip":
        chars = as_text(args[0]) if args else WHITE_SPACE
        return s.strip(chars) if chars else s
    if name == "split":
        sep = None if not args or args[0] is None else as_text(args[0])
        if sep == "":
            raise ValueError("empty separator")
        maxsplit = as_bigint(args[1]) if len(args) > 1 else -1
        maxsplit = min(machine_size(maxsplit, "str.split maxsplit"), sys.maxsize) if maxsplit >= 0 else -1
        return s.split(sep, maxsplit) if sep is not None else split_white_space(s, maxsplit)
    if name == "replace":
        count = as_bigint(args[2]) if len(args) > 2 else -1
        old, new = as_text(args[0]), as_text(args[1])
        count = min(machine_size(count, "str.replace count"), sys.maxsize) if count >= 0 else -1
        return s.replace(old, new, count)
    if name == "find":
        sub = as_text(args[0])
        start, end = search_bounds(len(s), args[1:])
        found = s[start:end].find(sub)
        return found + start if found >= 0 else -1
    if name in ("startswith", "endswith"):
        start, end = search_bounds(len(s), args[1:])
        candidates = [as_text(c) for c in args[0]] if type(args[0]) is tuple else \
            [args[0]] if type(args[0]) is str else None
        if candidates is None:
            raise TypeError(f"expected str or tuple[str, ...], found {type_name(args[0])}")
        window = s[start:end]
        return any(getattr(window, name)(c) for c in candidates)
    if name == "join":
        return s.join(as_text(item) for item in iterate(args[0]))
    return getattr(s, name)(*args)


def method(receiver, name, place, *args, **kwargs):
    """A native method call: the arguments are evaluated before the receiver
    (`receiver` is a thunk); `place` says whether the receiver takes a write-back."""
    receiver = receiver()
    if kwargs:
        raise TypeError(f"native method '{name}()' does not accept keyword arguments")
    t = type(receiver)
    if t not in METHODS or name not in METHODS[t]:
        raise AttributeError(f"{type_name(receiver)} has no native method '{name}()'")
    low, high = arity(t, name)
    if not low <= len(args) <= high:
        raise TypeError(f"{type_name(receiver)}.{name}() arity")
    result = native_method(receiver, t, name, args)
    if (t, name) in MUTATING and not place:
        raise EngineOnly("write-back")
    return result


def native_method(receiver, t, name, args):
    if name == "copy":
        return copy_value(receiver)
    if t is str:
        return str_method(receiver, name, args)
    if t is list and name == "remove":
        for i, item in enumerate(receiver):
            if structural_eq(item, args[0] if len(args) == 1 else None):
                del receiver[i]
                return None
        raise ValueError("list.remove(x): x not in list")
    if t is list and name in ("extend",):
        return receiver.extend(iterate(args[0]))
    if t is list and name == "pop" and args:
        i = as_bigint(args[0])
        if not -len(receiver) <= i < len(receiver):
            raise IndexError("sequence index out of bounds")
        return receiver.pop(i)
    if t is list and name == "insert" and len(args) == 2:
        i = as_bigint(args[0])
        return receiver.insert(max(min(i, len(receiver)), -len(receiver) - 1), args[1])
    if t is list and name == "index":
        start, end = search_bounds(len(receiver), args[1:])
        for i in range(start, end):
            if values_equal(receiver[i], args[0]):
                return i
        raise ValueError("list.index(x): x not in list")
    if t is list and name == "count":
        return sum(1 for item in receiver if values_equal(item, args[0]))
    if t is dict and name in ("keys", "values", "items"):
        return [copy_value(v) for v in getattr(receiver, name)()]
    if t is dict and name in ("get", "pop"):
        match = next((k for k in receiver if structural_eq(k, args[0])), None)
        if match is None:
            if len(args) > 1:
                return args[1]
            if name == "pop":
                raise KeyError("missing dict key")
            return None
        return receiver.pop(match) if name == "pop" else copy_value(receiver[match])
    if t is set and name == "pop":
        if not receiver:
            raise KeyError("pop from an empty set")
        first = set_order(receiver)[0]
        receiver.remove(first)
        return first
    if t is set and name in ("remove", "discard"):   # neither needs a hashable element
        found = [x for x in set_order(receiver) if values_equal(x, args[0])]
        if name == "remove" and not found:
            raise EngineOnly(f"message: {display(args[0])}")   # the engine's message is the element's text
        receiver.difference_update(found)
        return None
    if t is set and name == "add":
        make_set(list(receiver) + [args[0]])
        receiver.add(args[0])
        return None
    if t in (set, frozenset) and name in SET_READERS - {"copy"}:
        others = [make_set(iterate(a)) for a in args]
        result = getattr(receiver, name)(*others)
        return make_set(result, t) if isinstance(result, (set, frozenset)) else result
    return getattr(receiver, name)(*args)


# ---- source transformation --------------------------------------------------------------------

BINARY = {ast.Add: "add", ast.Sub: "sub", ast.Mult: "mul", ast.Div: "div", ast.FloorDiv: "floordiv",
          ast.Mod: "mod", ast.Pow: "pow", ast.BitAnd: "bitand", ast.BitOr: "bitor", ast.BitXor: "bitxor",
          ast.LShift: "lshift", ast.RShift: "rshift"}
COMPARE = {ast.Eq: "eq", ast.NotEq: "not_eq", ast.Gt: "gt", ast.GtE: "gt_e", ast.Lt: "lt", ast.LtE: "lt_e",
           ast.In: "in", ast.NotIn: "not_in", ast.Is: "is", ast.IsNot: "is_not"}
UNARY = {ast.USub: "neg", ast.UAdd: "pos", ast.Invert: "invert"}


def helper(name, *args):
    return ast.Call(func=ast.Name(id=name, ctx=ast.Load()), args=list(args), keywords=[])


def const(value):
    return ast.Constant(value=value)


def item(container, index):
    """A subscript read: dict keys match structurally, positions are int-compatible."""
    t = type(container)
    if t is dict:
        match = next((k for k in container if structural_eq(k, index)), None)
        if match is None:
            raise KeyError("missing dict key")
        return container[match]
    if t in (str, bytes, bytearray, list, tuple):
        i = as_bigint(index)
        if not -len(container) <= i < len(container):
            raise IndexError("sequence index out of bounds")
        return container[i]
    raise TypeError(f"subscript access is not supported for {type_name(container)}")


def set_item(value, container, index):
    """A subscript assignment, in the engine's order: the value, then the
    container as it is at that moment, then the index; gives the new container."""
    t = type(container)
    if t is dict:
        try:
            hash(index)
        except TypeError:
            raise Skip("dict key Python cannot hash")
        match = next((k for k in container if structural_eq(k, index)), None)
        if match is None and any(values_equal(k, index) for k in container):
            raise Skip("dict keys Python would merge")
        container[index if match is None else match] = value
    elif t in (list, bytearray):
        i = as_bigint(index)
        if not -len(container) <= i < len(container):
            raise IndexError("sequence index out of bounds")
        container[i] = value if t is list else byte_from_value(value)
    else:
        raise TypeError(f"subscript assignment is not supported for {type_name(container)}")
    return container


def set_path(op, value, root, *indexes):
    """Assignment through a chain of subscripts on a copy of the root, in the
    engine's order: (the value,) the root, then per level its index and the
    item there, (for an augmented assignment, op set: then the value, a thunk);
    gives the new root."""
    containers, keys = [root], []
    for level, index in enumerate(indexes):
        keys.append(index())
        if level < len(indexes) - 1 or op is not None:
            current = item(containers[-1], keys[-1])
            if level < len(indexes) - 1:
                containers.append(current)
    if op is not None:
        value = binop(op, copy_value(current), value())
    for container, key in reversed(list(zip(containers, keys))):
        value = set_item(value, container, key)
    return value


def destructure(value, count):
    if type(value) not in (list, tuple):
        raise TypeError(f"cannot destructure {type_name(value)}")
    if len(value) != count:
        raise ValueError("destructuring target count does not match value length")
    return value


def iterate_destructured(iterable, count):
    return (destructure(v, count) for v in iterate(iterable))


def has_slice(node):
    while isinstance(node, ast.Subscript):
        if isinstance(node.slice, ast.Slice):
            return True
        node = node.value
    return False


def is_place(node):
    while isinstance(node, ast.Subscript):
        node = node.value
    return isinstance(node, ast.Name)


class EngineSemantics(ast.NodeTransformer):
    """Rewrites contract source so that CPython runs it with the engine's semantics."""

    def visit(self, node):
        result = super().visit(node)
        if isinstance(result, ast.AST) and result is not node and hasattr(node, "lineno"):
            ast.copy_location(result, node)
        return result

    def visit_Name(self, node):
        if isinstance(node.ctx, ast.Load) and node.id not in BUILTINS:
            return helper("__copy", node)
        return node

    def place(self, node):
        """A method receiver: the live container, not a copy (its changes are the write-back)."""
        if isinstance(node, ast.Subscript) and not isinstance(node.slice, ast.Slice):
            return helper("__item", self.place(node.value), self.visit(node.slice))
        if isinstance(node, ast.Name):
            return node
        return self.visit(node)

    @staticmethod
    def item_chain(target):
        """(root name, index nodes from the root outwards) of a subscript chain on a name, or None."""
        indexes = []
        while isinstance(target, ast.Subscript) and not isinstance(target.slice, ast.Slice):
            indexes.insert(0, target.slice)
            target = target.value
        return (target.id, indexes) if isinstance(target, ast.Name) and indexes else None

    def thunk(self, node):
        return ast.Lambda(args=ast.arguments(posonlyargs=[], args=[], kwonlyargs=[], kw_defaults=[], defaults=[]),
                          body=self.visit(node))

    def visit_Subscript(self, node):
        if isinstance(node.ctx, ast.Load) and not isinstance(node.slice, ast.Slice):
            return helper("__copy", helper("__item", self.place(node.value), self.visit(node.slice)))
        if isinstance(node.ctx, ast.Load):
            bounds = [self.visit(b) if b is not None else ast.Name(id="__absent", ctx=ast.Load())
                      for b in (node.slice.lower, node.slice.upper, node.slice.step)]
            return helper("__slice", self.visit(node.value), *bounds)
        raise ValueError("subscript targets outside assignments are not generated")

    def iteration(self, target, iterable):
        if isinstance(target, (ast.Tuple, ast.List)):
            return helper("__iter_destructured", self.visit(iterable), const(len(target.elts)))
        return helper("__iter", self.visit(iterable))

    def visit_BinOp(self, node):
        return helper("__binop", const(BINARY[type(node.op)]), self.visit(node.left), self.visit(node.right))

    def visit_UnaryOp(self, node):
        if isinstance(node.op, ast.Not):
            return ast.UnaryOp(op=node.op, operand=self.visit(node.operand))
        return helper("__unary", const(UNARY[type(node.op)]), self.visit(node.operand))

    def visit_Compare(self, node):
        thunks = [ast.Lambda(args=ast.arguments(posonlyargs=[], args=[], kwonlyargs=[], kw_defaults=[],
                                                defaults=[]), body=self.visit(c)) for c in node.comparators]
        return helper("__compare", self.visit(node.left),
                      ast.List(elts=[const(COMPARE[type(o)]) for o in node.ops], ctx=ast.Load()),
                      ast.List(elts=thunks, ctx=ast.Load()))

    def visit_AugAssign(self, node):
        chain = self.item_chain(node.target)
        op = const(BINARY[type(node.op)])
        if chain:
            root, indexes = chain
            root_copy = helper("__copy", ast.Name(id=root, ctx=ast.Load()))
            value = helper("__set_path", op, self.thunk(node.value), root_copy, *[self.thunk(i) for i in indexes])
            return ast.Assign(targets=[ast.Name(id=root, ctx=ast.Store())], value=value)
        read = copy.deepcopy(node.target)
        read.ctx = ast.Load()
        value = helper("__binop", op, self.visit(read), self.visit(node.value))
        return ast.Assign(targets=[node.target], value=value)

    def assign(self, target, value):
        chain = self.item_chain(target)
        if chain:
            root, indexes = chain
            value = helper("__set_path", const(None), value, helper("__copy", ast.Name(id=root, ctx=ast.Load())),
                           *[self.thunk(i) for i in indexes])
            return ast.Assign(targets=[ast.Name(id=root, ctx=ast.Store())], value=value)
        return ast.Assign(targets=[self.place(target)], value=value)

    def visit_Assign(self, node):
        value = self.visit(node.value)
        if len(node.targets) == 1 and isinstance(node.targets[0], ast.Subscript):
            return self.assign(node.targets[0], value)
        if len(node.targets) == 1 and isinstance(node.targets[0], (ast.Tuple, ast.List)):
            value = helper("__destructure", value, const(len(node.targets[0].elts)))
        return ast.Assign(targets=[t if isinstance(t, ast.Name) else self.place(t) for t in node.targets],
                          value=value)

    def visit_For(self, node):
        return ast.For(target=node.target, iter=self.iteration(node.target, node.iter),
                       body=[self.visit(s) for s in node.body], orelse=[self.visit(s) for s in node.orelse])

    def visit_comprehension(self, node):
        return ast.comprehension(target=node.target, iter=self.iteration(node.target, node.iter),
                                 ifs=[self.visit(c) for c in node.ifs], is_async=0)

    def visit_DictComp(self, node):
        pairs = ast.ListComp(elt=ast.Tuple(elts=[node.key, node.value], ctx=ast.Load()), generators=node.generators)
        return helper("__dict_pairs", self.visit(pairs), const(True))

    def visit_Dict(self, node):
        if any(k is None for k in node.keys):
            raise ValueError("dict unpacking is outside the generated subset")
        pairs = ast.List(elts=[ast.Tuple(elts=[self.visit(k), self.visit(v)], ctx=ast.Load())
                               for k, v in zip(node.keys, node.values)], ctx=ast.Load())
        return helper("__dict_pairs", pairs, const(False))

    def visit_Set(self, node):
        return helper("set", ast.List(elts=[self.visit(e) for e in node.elts], ctx=ast.Load()))

    def visit_FormattedValue(self, node):
        if node.conversion != -1 or node.format_spec is not None:
            value = helper("__refuse", const("f-string"))
        else:
            value = helper("__display", self.visit(node.value))
        return ast.FormattedValue(value=value, conversion=-1, format_spec=None)

    def visit_Call(self, node):
        args = [self.visit(a) for a in node.args]
        keywords = [ast.keyword(arg=k.arg, value=self.visit(k.value)) for k in node.keywords]
        if isinstance(node.func, ast.Attribute) and has_slice(node.func.value):
            # The receiver is resolved as an assignment target after the arguments: its slice fails.
            receiver = node.func.value
            while not isinstance(receiver.slice, ast.Slice):
                receiver = receiver.value
            return helper("__refuse", const("slice receiver"), *args, self.visit(receiver.value))
        if isinstance(node.func, ast.Attribute):
            receiver = node.func.value
            thunk = ast.Lambda(args=ast.arguments(posonlyargs=[], args=[], kwonlyargs=[], kw_defaults=[],
                                                  defaults=[]), body=self.place(receiver))
            return ast.Call(func=ast.Name(id="__method", ctx=ast.Load()),
                            args=[thunk, const(node.func.attr), const(is_place(receiver))] + args,
                            keywords=keywords)
        func = node.func if isinstance(node.func, ast.Name) else self.visit(node.func)
        return ast.Call(func=func, args=args, keywords=keywords)

    def visit_FunctionDef(self, node):
        node.body = [self.visit(s) for s in node.body]
        node.decorator_list = []
        return node

    def visit_Return(self, node):
        return ast.Return(value=self.visit(node.value) if node.value is not None else None)


def refuse(what, *evaluated):
    raise EngineOnly(what)


def namespace():
    ns = dict(BUILTINS)
    ns.update({"__copy": copy_value, "__binop": binop, "__unary": unary, "__compare": compare_chain,
               "__iter": iterate, "__dict_pairs": dict_from_pairs, "__display": display, "__method": method,
               "__refuse": refuse, "__item": item, "__set_path": set_path,
               "__slice": slice_of, "__absent": ABSENT, "__destructure": destructure,
               "__iter_destructured": iterate_destructured})
    return ns


class _Timeout(Exception):
    pass


def _alarm(signum, frame):
    raise _Timeout()


def run(source, function, args, seconds=0.3):
    """Runs `function` of the contract source with copies of `args`: ("ok", value),
    ("error", exception class name or engine-only kind) or ("skip", reason)."""
    tree = EngineSemantics().visit(ast.parse(source))
    ast.fix_missing_locations(tree)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")   # "assertion is always true" and the like
        code = compile(tree, "<contract>", "exec", optimize=0)
    ns = namespace()
    previous = signal.signal(signal.SIGALRM, _alarm)
    signal.setitimer(signal.ITIMER_REAL, seconds)
    try:
        exec(code, ns)
        return "ok", ns[function](*copy_value(list(args)))
    except Skip as skip:
        return "skip", str(skip)
    except _Timeout:
        return "skip", "CPython run timed out"
    except RecursionError:
        return "skip", "deep recursion under CPython"
    except EngineOnly as error:
        return "error", error.kind
    except Exception as error:  # noqa: BLE001 - the class is the answer
        name = type(error).__name__
        return "error", "NameError" if name == "UnboundLocalError" else name
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
        signal.signal(signal.SIGALRM, previous)


# ---- engine error kinds ------------------------------------------------------------------------

ERROR_KINDS = [
    (r"Out of chi\.|.*exceeds the maximum allowed.*|value exceeds the maximum allowed nesting depth", "limit"),
    (r"cannot compare NaN values", "nan"),
    (r"(?P<cls>[A-Za-z]*(Error|Exception))\(.*\)", None),
    (r"division by zero|modulo by zero", "ZeroDivisionError"),
    (r"sequence index out of bounds|pop from empty (list|bytearray)|str\.format\(\) placeholder index.*",
     "IndexError"),
    (r"missing dict key .*|pop from an empty set", "KeyError"),
    (r"unknown (name|function) '.*'", "NameError"),
    (r"value of type \w+ has no native method .*|unsupported \w+ method '.*'", "AttributeError"),
    (r"value of type \w+ is not (iterable|callable)|unsupported \w+ operands? .*|values \w+ and \w+ are not "
     r"order-comparable|expected (string|int-compatible) value, got \w+|expected str or tuple.*|string membership"
     r" requires a string needle|membership is not supported for \w+|(subscript|slice) (access|assignment) is "
     r"not supported for \w+|unhashable type: .*|a bytes-like object is required.*|\w+ is not bytes-like|"
     r"[\w.]+\(\) (expects|accepts|must have|does not support|does not accept) .*|int\(\) base argument requires "
     r"a string input|ord\(\) expected a character.*|native method '.*' does not accept keyword arguments|"
     r"dict\(\) expected key/value pairs.*|(dict|keyword) unpacking requires a dict value|string argument "
     r"without an encoding|encoding without a string argument|\w+\(\) must have a callable.*", "TypeError"),
    (r"cannot convert .*|int\(\) base must be between.*|chr\(\) arg not in range.*|.* must be non-negative|"
     r"empty separator|list\.(index|remove)\(x\): x not in list|(range|slice)\(\) step cannot be zero|"
     r"slice step cannot be zero|(min|max)\(\) received no values|pow\(\) 3rd argument.*|negative shift count|"
     r"negative count|unsupported integer format spec .*|str\.format\(\) (missing closing|unmatched) .*|"
     r"byte must be in range.*|round\(\) ndigits is out of supported range|.* must be finite for integer "
     r"conversion|'ascii' codec .*|unsupported (bytes|bytearray)\(\) encoding .*", "ValueError"),
    (r".* exceeds the supported \w+ range", "OverflowError"),
    (r"unsupported str\.format\(\) field .*", "format field"),
    (r"f-string (conversions|format specifications) are not supported.*", "f-string"),
    (r"unsupported assignment target .*", "write-back"),
    (r"slice expressions are only supported as subscripts", "slice receiver"),
    (r"cannot destructure \w+", "TypeError"),
    (r"destructuring target count does not match value length", "ValueError"),
]
_ERROR_KINDS = [(re.compile(pattern, re.S), kind) for pattern, kind in ERROR_KINDS]


def engine_error_kind(message):
    """The Python exception class (or engine-only kind) an engine message stands
    for; a message of no known form (set.remove's is the element's text) stands
    for itself."""
    for pattern, kind in _ERROR_KINDS:
        m = pattern.fullmatch(message)
        if m:
            return kind or m.group("cls")
    return f"message: {message}"
