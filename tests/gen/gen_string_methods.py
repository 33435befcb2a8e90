"""Writes CPython's results of str, bytes and bytearray methods for the
native-method tests (tests/data/string_methods.txt).

Each line: method, receiver, arguments (space separated, maybe none) and the
expected result, separated by tabs. Value tokens:
  s:<utf-8 hex>   str            i:<decimal>     int
  n               None           B:0 / B:1       bool
  t<k>:<h>|<h>..  tuple of k strs (items as utf-8 hex)
  l<k>:<h>|<h>..  list of k strs      L<k>:<n>|<n>..  list of k ints
  y:<hex>         bytes          Y:<hex>         bytearray
  m:<hex>/<tok>   bytearray method that changed its receiver: the receiver
                  afterwards, then the call's value

Where our methods differ from CPython by design, the expected value follows
our rules, computed here from CPython primitives:
  - find/startswith/endswith clamp start and end into [0, len] first, so an
    empty needle is found at (or matches) the clamped start;
  - isalpha is the Alphabetic property, isdigit the categories Nd/Nl/No,
    islower "some Alphabetic character and every Alphabetic one Lowercase";
    the character pools hold no Other_Alphabetic character, so Alphabetic is
    exactly the letter categories plus Nl here;
  - white space is White_Space (CPython adds U+001C-001F, which the pools
    leave out; the C++ tests cover them).
All characters come from old Unicode versions, so the installed ICU and
CPython's database agree on them.
"""
import random
import unicodedata
from pathlib import Path

OUT = Path(__file__).resolve().parents[1] / "data" / "string_methods.txt"
rng = random.Random(20261207)

ASCII = [chr(c) for c in range(0x20, 0x7F)] + ["\t", "\n", "\r", "\x0b", "\x0c", "\x00", "\x7f"]
LATIN1 = list("éßÿÀÉÖöªºµ¼½²³¹\xa0\x85×÷")
GREEK = list("ΣσςΑαάΐΰΩωΆΪ") + ["\u0301"]
CJK = list("中文字一二〇々ー\u3000")
ASTRAL = ["\U0001F600", "\U0001D400", "\U0001D41A", "\U00010400", "\U00010428", "\U0001D7D8", "\U00020000"]
SPACE = [" ", "\t", "\n", "\r", "\x0b", "\x0c", "\x85", "\xa0", "\u1680", "\u2000", "\u2009", "\u200a",
         "\u2028", "\u2029", "\u202f", "\u205f", "\u3000"]
OTHER = ["\u0130", "\u0149", "\ufb03", "\u216b", "\u0663", "\u01c5", "\u1fb3", "\u02b0", "'", ".", "\u2160", "\u00b7"]
POOLS = [ASCII, LATIN1, GREEK, CJK, ASTRAL, SPACE, OTHER]
SPACES = set(SPACE)


def rand_str(max_len=12, pools=None):
    pools = pools or rng.sample(POOLS, rng.randint(1, 3))
    return "".join(rng.choice(rng.choice(pools)) for _ in range(rng.randint(0, max_len)))


def hx(s):
    return s.encode("utf-8").hex()


class IntList(list):
    """A list of ints (token L<k>:<int>|<int>..)."""


def tok(v):
    if isinstance(v, IntList):
        return f"L{len(v)}:" + "|".join(str(x) for x in v)
    if v is None:
        return "n"
    if isinstance(v, bool):
        return f"B:{int(v)}"
    if isinstance(v, int):
        return f"i:{v}"
    if isinstance(v, str):
        return f"s:{hx(v)}"
    if isinstance(v, tuple):
        return f"t{len(v)}:" + "|".join(hx(x) for x in v)
    if isinstance(v, list):
        return f"l{len(v)}:" + "|".join(hx(x) for x in v)
    if isinstance(v, bytearray):
        return f"Y:{bytes(v).hex()}"
    if isinstance(v, bytes):
        return f"y:{v.hex()}"
    raise TypeError(v)


lines = []


def case(method, receiver, args, result):
    lines.append("\t".join([method, tok(receiver), " ".join(tok(a) for a in args), result if isinstance(result, str) and result.startswith("m:") else tok(result)]))


def is_alpha(c):
    return unicodedata.category(c) in ("Lu", "Ll", "Lt", "Lm", "Lo", "Nl")


def is_numeric(c):
    return unicodedata.category(c) in ("Nd", "Nl", "No")


def is_lower(c):
    return c.islower()  # CPython's flag is the Lowercase property


def cased_islower(s):
    alpha = [c for c in s if is_alpha(c)]
    return bool(alpha) and all(is_lower(c) for c in alpha)


def clamp(n, start, end):
    def one(b, default):
        if b is None:
            return default
        if b < 0:
            b += n
        return min(max(b, 0), n)
    st, en = one(start, 0), one(end, n)
    return st, max(st, en)


def bound_value():
    return rng.choice([rng.randint(-15, 15), rng.randint(-15, 15), 10**30, -(10**30), 2**63, -(2**63)])


def substring_of(s):
    if not s:
        return ""
    a = rng.randint(0, len(s) - 1)
    return s[a:a + rng.randint(1, 3)]


def needle(s):
    return rng.choice([substring_of(s), substring_of(s), rand_str(2), ""])


def with_bounds(args):
    k = rng.randint(0, 2)
    return args + [bound_value() for _ in range(k)]


def gen_str_cases(s):
    for m in ("isascii",):
        case(m, s, [], s.isascii())
    case("isalpha", s, [], bool(s) and all(is_alpha(c) for c in s))
    case("isdigit", s, [], bool(s) and all(is_numeric(c) for c in s))
    case("isalnum", s, [], bool(s) and all(is_alpha(c) or is_numeric(c) for c in s))
    case("islower", s, [], cased_islower(s))
    case("lower", s, [], s.lower())
    case("upper", s, [], s.upper())
    case("strip", s, [], s.strip())
    chars = "".join(rng.sample(s, min(len(s), rng.randint(0, 3)))) + rand_str(2)
    case("strip", s, [chars], s.strip(chars) if chars else s)

    # split on white space, with and without maxsplit
    case("split", s, [], s.split())
    case("split", s, [None], s.split())
    ms = rng.randint(-2, 4)
    case("split", s, [None, ms], s.split(None, ms))
    sep = substring_of(s) or rand_str(1) or ","
    case("split", s, [sep], s.split(sep))
    case("split", s, [sep, ms], s.split(sep, ms))

    old = needle(s)
    new = rand_str(3)
    case("replace", s, [old, new], s.replace(old, new))
    count = rng.randint(-1, 4)
    case("replace", s, [old, new, count], s.replace(old, new, count))

    sub = needle(s)
    args = with_bounds([sub])
    st, en = clamp(len(s), *(args[1:] + [None, None])[:2])
    found = s[st:en].find(sub)
    expected = st + found if found >= 0 else -1
    if sub and len(args) == 3 and abs(args[1]) < 2**63 and abs(args[2]) < 2**63:
        assert expected == s.find(sub, args[1], args[2]), (s, args)
    case("find", s, args, expected)

    for method in ("startswith", "endswith"):
        if rng.random() < 0.5:
            first = needle(s)
        else:
            first = tuple(needle(s) for _ in range(rng.randint(0, 3)))
        args = with_bounds([first])
        st, en = clamp(len(s), *(args[1:] + [None, None])[:2])
        window = s[st:en]
        cands = first if isinstance(first, tuple) else (first,)
        hit = any(window.startswith(c) if method == "startswith" else window.endswith(c) for c in cands)
        case(method, s, args, hit)

    items = [rand_str(4) for _ in range(rng.randint(0, 4))]
    case("join", s, [items], s.join(items))
    case("join", s, [tuple(items)], s.join(items))
    text = rand_str(5)
    case("join", s, [text], s.join(text))


def final_sigma_strings():
    # Capital sigma in every kind of neighbourhood, case-ignorable marks and
    # apostrophes between it and the cased letters.
    around = ["", "A", "a", "Σ", "\u0301", "'", ".", " ", "1", "中", "\U00010400", "ǅ"]
    out = []
    for _ in range(200):
        out.append("".join(rng.choice(around + ["Σ"] * 3) for _ in range(rng.randint(1, 6))))
    return out


def gen_bytes_cases():
    for _ in range(120):
        data = bytes(rng.randint(0, 255) for _ in range(rng.randint(0, 10)))
        case("hex", data, [], data.hex())
        ba = bytearray(data)
        case("hex", ba, [], data.hex())
        case("copy", ba, [], bytearray(data))
        b = bytearray(data)
        b.clear()
        case("clear", bytearray(data), [], f"m:{b.hex()}/n")
        byte = rng.choice([0, 1, 127, 128, 255, rng.randint(0, 255), True, False])
        b = bytearray(data)
        b.append(byte)
        case("append", bytearray(data), [byte], f"m:{b.hex()}/n")
        more = [rng.randint(0, 255) for _ in range(rng.randint(0, 4))]
        src = rng.choice([IntList(more), bytes(more), bytearray(more)])
        b = bytearray(data)
        b.extend(src)
        case("extend", bytearray(data), [src], f"m:{b.hex()}/n")
        if data:
            b = bytearray(data)
            v = b.pop()
            case("pop", bytearray(data), [], f"m:{b.hex()}/{tok(v)}")
            idx = rng.randint(-len(data), len(data) - 1)
            b = bytearray(data)
            v = b.pop(idx)
            case("pop", bytearray(data), [idx], f"m:{b.hex()}/{tok(v)}")


def main():
    strings = ["", " ", "abc", "  a  b  ", "a,,b,", "ß", "İ", "ΣΑΣ", "ὈΔΥΣΣΕΎΣ", "ǅ", "ﬃ", "ŉ", "ΐ"]
    strings += [rand_str() for _ in range(500)]
    strings += [rand_str(20, [SPACE, ASCII]) for _ in range(100)]
    for s in strings:
        gen_str_cases(s)
    for s in final_sigma_strings():
        case("lower", s, [], s.lower())
        case("upper", s, [], s.upper())
        case("islower", s, [], cased_islower(s))
    gen_bytes_cases()
    OUT.write_text("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
