"""Cheap transactions over large values, run through execute_bundle.

Ordinary list, set and text code over values near the size limit: a
function holding many copies of a 4.1M-item list, and loops whose every
iteration costs a few chi but copies, sorts, hashes, compares or splits the
whole value. Each case runs metered (a budget far above what it can use) in
a child process of its own, under a 4 GiB address-space limit; prints its
wall time, the chi it was charged, ms per chi, the time per step the work
allowance grants at the end (2^22 + 2^16 per chi charged) and its ratio to
the copy loop's ("concat", always run first: every operation should stay
within a few times the plainest copy), the child's peak resident size and
its outcome (the result, or the failure message). Rows named "-base" run
their loop at the base allowance, with no chi paid for beyond it. Run after
scripts/test.sh has staged the extension:

    PYTHONPATH=build/python-package .venv/bin/python bench/work_shapes.py [case ...]
"""
import json
import os
import pathlib
import resource
import subprocess
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
for path in ("tests/tools", "tests/python", "tests/python/host_types", "build/python-package"):
    sys.path.append(str(ROOT / path))

from veln_runtime_types.decimal import VondrelDecimal  # noqa: E402

BIG_LIST = """
    L = [1] * 131072
    L = L + L
    L = L + L
    L = L + L
    L = L + L
    L = L + L[:2000000]
"""


def copies(n):
    body = "".join(f"    v{i} = L + []\n" for i in range(n))
    return f"@export\ndef run():\n{BIG_LIST}{body}    return len(L)\n"


# Plain code first, so the loop runs over values the call has paid for: the
# allowance then covers building them, and the loop meets it only through
# its own work.
PAY = """
    p = 0
    for a in range(pay):
        for b in range(1000):
            p = p + b
"""


def loop(setup, body, result="c", params=""):
    return (f"@export\ndef run(k: int, pay: int{params}):\n{PAY}{setup}    c = 0\n"
            f"    for j in range(k):\n{body}    return {result}\n")


def when(condition):
    """A loop body that counts the turns on which `condition` holds."""
    return f"        if {condition}:\n            c = c + 1\n"


def sized(expression):
    """A loop body that adds up the sizes of `expression`, made every turn."""
    return f"        c = c + len({expression})\n"


def both(name, setup, body):
    """The loop as a row paid for by plain code first, and as one on the base
    allowance alone (`name`-base)."""
    return {name: (loop(setup, body), [1000, 1]), f"{name}-base": (loop(setup, body), [1000, 0])}


def made(setup, expression, *more_args, params=""):
    """A loop that makes `expression` on every turn, and its arguments."""
    return loop(setup, f"        x = {expression}\n        c = c + 1\n", params=params), [1000, 1, *more_args]


BIG_TEXT = """
    s = 'ab' * 65536
    s = s + s
    s = s + s
    s = s + s
    s = s + s
    s = s + s[:2000000]
"""

# The ints 0 .. 2^20 - 1, from ranges of the largest size range() makes.
DISTINCT = "    N = " + " + ".join(f"range({a}, {a + 131072})" for a in range(0, 1 << 20, 131072)) + "\n"

# Built by whole-value operations, each a few chi: a comprehension would pay
# for far more work than the loop does.
BIG_DICTS = DISTINCT + """
    D = dict(zip(N, N))
    E = dict(zip(N, N))
"""

# Four million numbers of four kinds, which only the mixed-number replay sorts.
MIXED_NUMBERS = DISTINCT + """
    P = [q, float("2.5"), True, False] * 32768
    P = P + P
    P = P + P
    P = P + P
    P = P + P
    M = N[::-1] + P + N[:1000000]
"""

# Lists whose items live in buffers of their own: a copy touches each one.
# Sorted as texts, they lie far from their neighbours in memory.
TEXTS = DISTINCT + "    T = sorted(str(N[:500000]).split(', '))\n"
BIG_INTS = "    T = " + " + ".join(f"range(2 ** 70 + {a}, 2 ** 70 + {a + 131072})" for a in range(0, 1 << 20, 131072)) + "\n"
TUPLES = DISTINCT + "    T = list(set(zip(str(N[:500000]).split(', '))))\n"
ZEROS = "    Z = [0] * 131072\n" + "    Z = Z + Z\n" * 4
# Texts of one repeated byte and of two-byte characters, 4.1 MB each.
A_TEXT = BIG_TEXT.replace("'ab'", "'aa'")
WIDE_TEXT = BIG_TEXT.replace("'ab'", "'\\u00e9'").replace("s[:2000000]", "s[:1000000]")
# A list of 1M one-byte texts (each weighs its buffer: 4.1M would pass the
# memory cap).
SHORT_TEXTS = "    L = ['b'] * 131072\n    L = L + L\n    L = L + L\n    L = L + L\n"
DIGITS_TEXT = BIG_TEXT.replace("'ab'", "'00'")
# A well-formed key (the base point) and a signature whose S is reduced, so
# the check hashes the whole message before it fails.
VERIFY_ARGS = "'58' + '66' * 31, s, 'ab' * 32 + '00' * 32"

# Numbers whose texts take the longest digit searches, and containers of
# them whose display texts stay under the size limit.
FLOATS = "    F = [0.30000000000000004, 1.2345678901234567e-300, 12345.678, 2.5] * 32768\n"
FLOAT_DICT = FLOATS + "    D = dict(zip(range(131072), F))\n"
FLOAT_FIELDS = ("    t = (0.30000000000000004, 1.2345678901234567e-300, 12345.678, 2.5)\n"
                "    s = '{0}' * 40000\n")
DECIMALS = "    F = [q, q * q, q + 1000000, q / 7] * 32768\n"
BIG_INT_LIST = "    T = list(range(2 ** 70, 2 ** 70 + 131072))\n"
# A text in which a search for 'cab' tries a window every few bytes (each
# 'a' is a candidate), and one of short pieces.
SPARSE_TEXT = BIG_TEXT
DENSE_TEXT = BIG_TEXT.replace("'ab' * 65536", "'abcdefg,' * 16384")

SET_SHAPE_SETUP = """
    e = float("1e-35")
    items = [(0,)]
    for i in range(1400):
        items.append((float(i + 1) * e,))
"""

# Sets whose items share long nested prefixes: every comparison of two items
# reads a thousand leaves before it finds them apart.
NESTED_PREFIX = """
    a = (0, 0, 0, 0, 0, 0, 0, 0, 0, 0)
    b = (a, a, a, a, a, a, a, a, a, a)
    P = (b, b, b, b, b, b, b, b, b, b)
    T = str(list(range(1000, 2750)))
    T = T[1:-1]
    T = T.split(', ')
"""
NESTED_SETS = NESTED_PREFIX + """
    Z = set(zip([P] * 1750, T))
    Z2 = set(zip([P] * 1750, T[::-1]))
"""
NESTED_FROZENSETS = NESTED_PREFIX + """
    Z = frozenset(zip([P] * 1750, T))
    Z2 = frozenset(zip([P] * 1750, T[::-1]))
"""
# The same tuples as dict keys, which the set is made from.
NESTED_DICT_KEYS = NESTED_PREFIX + """
    D = dict(zip(zip([P] * 1750, T), T))
"""
# One nested tuple many times over (a set of one item).
NESTED_DUPLICATES = NESTED_PREFIX + """
    R = [(P, 'x')] * 3500
"""
# The tuples and one of another shape, which leaves the set to be scanned
# for a needle that shares their prefix.
NESTED_SCANNED = NESTED_SETS + """
    Z.add((P, 1.5))
    Q = (P, 'x')
"""
# Dicts keyed by pairs of ints, the second built in the reverse order: only
# the literal scan of the other's keys matches a tuple key by value.
TUPLE_KEY_DICTS = DISTINCT + """
    K = list(zip(N[:30000], N[:30000]))
    D = dict(zip(K, N))
    E = dict(zip(K[::-1], N[:30000][::-1]))
"""
# The same with the nested tuple beside each int.
NESTED_KEY_DICTS = NESTED_PREFIX + """
    N = list(range(3000))
    K = list(zip([P] * 3000, N))
    D = dict(zip(K, N))
    E = dict(zip(K[::-1], N[::-1]))
"""
# Two sets of a million floats (each keyed by its display text), the second
# shifted by an item and holding a decimal (the literal -1.0): each operation
# meets the other side's numbers through a probe sorted by number, or an
# index of their equal forms.
FLOAT_SETS = """
    K = []
    for a in range(8):
        K.extend(list(range(a * 131072, a * 131072 + 131072)))
    F = list(map(float, K))
    Z = set(F)
    Z2 = set(F[1:] + [-1.0])
"""
# Ints and floats in one set against a set of floats.
MIXED_SETS = FLOAT_SETS + """
    Z = set(K[:500000] + F[500000:])
"""

CASES = {
    "copies-16": (copies(16), []),
    "copies-160": (copies(160), []),
    "copies-160-unmetered": (copies(160), []),
    "concat": (loop(BIG_LIST, "        x = L + []\n        c = c + 1\n"), [1000, 1]),
    "sorted": (loop(BIG_LIST, "        x = sorted(L)\n        c = c + 1\n"), [1000, 1]),
    "set": (loop(BIG_LIST, "        c = c + len(set(L))\n"), [1000, 1]),
    "equal": (loop(BIG_LIST + "    M = L + []\n", "        if L == M:\n            c = c + 1\n"), [1000, 1]),
    "split": (loop(BIG_TEXT, "        c = c + len(s.split('a'))\n"), [1000, 1]),
    "set-shape": (loop(SET_SHAPE_SETUP, "        c = c + len(set(items))\n"), [1000, 0]),
    # Operations that read a large value without building one of its size.
    "in": (loop(BIG_LIST, "        if 2 in L:\n            c = c + 1\n"), [1000, 1]),
    "count": (loop(BIG_LIST, "        c = c + L.count(2)\n"), [1000, 1]),
    "min": (loop(BIG_LIST, "        c = c + min(L)\n"), [1000, 1]),
    "sum": (loop(BIG_LIST, "        c = c + sum(L)\n"), [1000, 1]),
    "text-equal": (loop(BIG_TEXT + "    t = s + ''\n", "        if s == t:\n            c = c + 1\n"), [1000, 1]),
    "text-in": (loop(BIG_TEXT, "        if 'abc' in s:\n            c = c + 1\n"), [1000, 1]),
    "find": (loop(BIG_TEXT, "        c = c + s.find('bb')\n"), [1000, 1]),
    "isalpha": (loop(BIG_TEXT, "        if s.isalpha():\n            c = c + 1\n"), [1000, 1]),
    "tuple-key": (loop(BIG_LIST + "    T = tuple(L)\n    d = {T: 1}\n", "        c = c + d[T]\n"), [1000, 1]),
    "big-mul": (loop("    x = 3 ** 330000\n", "        y = x * x\n        c = c + 1\n"), [1000, 0]),
    "big-div": (loop("    x = 2 ** 1040000 + 12345\n    y = 3 ** 330000\n", "        c = c + x // y % 2\n"), [1000, 0]),
    "big-str": (loop("    x = 2 ** 1040000 + 12345\n", "        c = c + len(str(x))\n"), [1000, 0]),
    "repr": (loop(BIG_LIST, "        c = c + len(str(L[:1000000]))\n"), [1000, 1]),
    # Containers made or read per item.
    "dict-equal": (loop(BIG_DICTS, "        if D == E:\n            c = c + 1\n"), [1000, 1]),
    "set-equal": (loop(DISTINCT + "    S = set(N)\n    U = set(N[::-1])\n", "        if S == U:\n            c = c + 1\n"),
                  [1000, 1]),
    "sorted-mixed": made(MIXED_NUMBERS, "sorted(M)", VondrelDecimal("0.25"), params=", q: decimal"),
    "zip": made(BIG_LIST + "    H = L[:2000000]\n", "zip(H)"),
    "dict-items": made(BIG_DICTS, "D.items()"),
    "dict-keys": made(BIG_DICTS, "list(D)"),
    "dict-copy": made(BIG_DICTS, "{**D}"),
    "dict-from-items": made(BIG_DICTS + "    P = D.items()\n", "dict(P)"),
    "reversed": made(BIG_LIST, "reversed(L)"),
    "range": made("", "range(131072)"),
    "copy-texts": made(TEXTS, "T + []"),
    "copy-big-ints": made(BIG_INTS, "T + []"),
    "copy-tuples": made(TUPLES, "T + []"),
    "sorted-texts": made(TEXTS, "sorted(T)"),
    "any": (loop(ZEROS, "        if any(Z):\n            c = c + 1\n"), [1000, 1]),
    "max-texts": (loop(TEXTS, "        c = c + len(max(T))\n"), [1000, 1]),
    "sum-big-ints": (loop(BIG_INTS, "        c = c + sum(T) % 7\n"), [1000, 1]),
    # Text operations whose work is per match, per piece or per code point.
    "replace-empty": (loop(A_TEXT, "        c = c + len(s.replace('a', ''))\n"), [1000, 1]),
    "replace-same": (loop(BIG_TEXT, "        x = s.replace('ab', 'ab')\n        c = c + 1\n"), [1000, 1]),
    "replace-char": (loop(BIG_TEXT, "        x = s.replace('a', 'b')\n        c = c + 1\n"), [1000, 1]),
    "split-many": (loop(A_TEXT, "        c = c + len(s.split('a'))\n"), [1000, 1]),
    "reverse-ascii": (loop(BIG_TEXT, "        x = s[::-1]\n        c = c + 1\n"), [1000, 1]),
    "reverse-wide": (loop(WIDE_TEXT, "        x = s[::-1]\n        c = c + 1\n"), [1000, 1]),
    "step-wide": (loop(WIDE_TEXT, "        x = s[::2]\n        c = c + 1\n"), [1000, 1]),
    "slice-wide": (loop(WIDE_TEXT, "        x = s[1:]\n        c = c + 1\n"), [1000, 1]),
    "index-wide": (loop(WIDE_TEXT, "        c = c + len(s[2000000])\n"), [100000, 1]),
    "upper-wide": (loop(WIDE_TEXT, "        x = s.upper()\n        c = c + 1\n"), [1000, 1]),
    "isalpha-wide": (loop(WIDE_TEXT, "        if s.isalpha():\n            c = c + 1\n"), [1000, 1]),
    "islower": (loop(BIG_TEXT, "        if s.islower():\n            c = c + 1\n"), [1000, 1]),
    "isalpha-mixed": (loop(A_TEXT + "    s = s + '\u00e9'\n", "        if s.isalpha():\n            c = c + 1\n"),
                      [1000, 1]),
    "strip-wide": (loop(WIDE_TEXT, "        c = c + len(s.strip('\u00e9'))\n"), [1000, 1]),
    "split-space": (loop(BIG_TEXT.replace("'ab'", "'a '"), "        c = c + len(s.split())\n"), [1000, 1]),
    "startswith-many": (loop(SHORT_TEXTS + "    T = tuple(L)\n    s = 'a'\n",
                             "        if s.startswith(T):\n            c = c + 1\n"), [1000, 1]),
    "format-fields": (loop(BIG_TEXT.replace("'ab' * 65536", "'{0}' * 43690").replace("s[:2000000]", "s[:2000001]"),
                           "        c = c + len(s.format(''))\n"), [1000, 1]),
    "format-literal": (loop(BIG_TEXT, "        c = c + len(s.format())\n"), [1000, 1]),
    "strip-all": (loop(A_TEXT, "        c = c + len(s.strip('a'))\n"), [1000, 1]),
    "join-short": (loop(SHORT_TEXTS, "        c = c + len(''.join(L))\n"), [1000, 1]),
    "ascii-wide": (loop(WIDE_TEXT, "        c = c + len(ascii(s[:500000]))\n"), [1000, 1]),
    "sha256": (loop(BIG_TEXT, "        x = syscall('hash.sha256_text', s)\n        c = c + 1\n"), [1000, 1]),
    "sha3": (loop(BIG_TEXT, "        x = syscall('hash.sha3_256_text', s)\n        c = c + 1\n"), [1000, 1]),
    "verify": (loop(BIG_TEXT, f"        if not syscall('crypto.ed25519_verify', {VERIFY_ARGS}):\n"
                              "            c = c + 1\n"), [1000, 1]),
    "decimal-text": (loop(DIGITS_TEXT, "        x = syscall('numeric.decimal.new', s)\n        c = c + 1\n"),
                     [1000, 1]),
    "float-text": (loop(DIGITS_TEXT, "        c = c + float(s)\n"), [1000, 1]),
    "bytes-text": (loop(BIG_TEXT, "        c = c + len(bytes(s, 'utf-8'))\n"), [1000, 1]),
    # Set comparisons, algebra, membership and building whose primitives read
    # nested items, sort the other side's numbers or index them: each with
    # the loop paid for first, and on the base allowance ("-base").
    **both("set-nested-equal", NESTED_SETS, when("Z == Z2")),
    **both("frozenset-nested-equal", NESTED_FROZENSETS, when("Z == Z2")),
    **both("set-nested-le", NESTED_SETS, when("Z <= Z2")),
    **both("set-nested-sub", NESTED_SETS, sized("Z - Z2")),
    **both("set-nested-or", NESTED_SETS, sized("Z | Z2")),
    **both("set-nested-in", NESTED_SCANNED, when("Q in Z")),
    **both("set-nested-dict-keys", NESTED_DICT_KEYS, sized("set(D)")),
    **both("set-nested-duplicates", NESTED_DUPLICATES, sized("set(R)")),
    **both("set-float-equal", FLOAT_SETS, when("Z == Z2")),
    **both("set-float-le", FLOAT_SETS, when("Z <= Z2")),
    **both("set-float-sub", FLOAT_SETS, sized("Z - Z2")),
    **both("set-float-and", FLOAT_SETS, sized("Z & Z2")),
    **both("set-float-xor", FLOAT_SETS, sized("Z ^ Z2")),
    **both("set-float-or", FLOAT_SETS, sized("Z | Z2")),
    **both("set-float-disjoint", FLOAT_SETS, when("Z.isdisjoint(Z2)")),
    **both("set-mixed-equal", MIXED_SETS, when("Z == Z2")),
    **both("set-mixed-sub", MIXED_SETS, sized("Z - Z2")),
    **both("dict-tuple-keys-equal", TUPLE_KEY_DICTS, when("D == E")),
    **both("dict-nested-keys-equal", NESTED_KEY_DICTS, when("D == E")),
    # Numbers written as text, searches that try many candidates, dense splits.
    "str-float-dict": (loop(FLOAT_DICT, "        c = c + len(str(D))\n"), [1000, 1]),
    "format-float-fields": (loop(FLOAT_FIELDS, "        c = c + len(s.format(t))\n"), [1000, 1]),
    "fstring-floats": (loop(FLOATS, "        c = c + len(f'<{F}>')\n"), [1000, 1]),
    "str-decimals-list": (loop(DECIMALS, "        c = c + len(str(F))\n", params=", q: decimal"),
                          [1000, 1, VondrelDecimal("1.2345678")]),
    "str-big-ints-list": (loop(BIG_INT_LIST, "        c = c + len(str(T))\n"), [1000, 1]),
    "join-str-floats": (loop(FLOATS, "        c = c + len(','.join(map(str, F)))\n"), [1000, 1]),
    "text-in-sparse": (loop(SPARSE_TEXT, "        if 'cab' in s:\n            c = c + 1\n"), [1000, 1]),
    "find-sparse": (loop(SPARSE_TEXT, "        c = c + s.find('cab')\n"), [1000, 1]),
    "split-sparse": (loop(SPARSE_TEXT, "        c = c + len(s.split('cab'))\n"), [1000, 1]),
    "replace-sparse": (loop(SPARSE_TEXT, "        x = s.replace('cab', 'abcd')\n        c = c + 1\n"), [1000, 1]),
    "split-dense": (loop(DENSE_TEXT, "        c = c + len(s.split(','))\n"), [1000, 1]),
    "plain": (loop("", "        for i in range(100000):\n            c = c + i\n"), [30, 0]),
}


# The text rows again at the base allowance: no chi paid beyond it.
AT_BASE = ("split", "split-many", "split-space", "replace-empty", "replace-same", "replace-char", "find", "text-in",
           "format-fields", "format-literal", "str-float-dict", "format-float-fields", "fstring-floats",
           "str-decimals-list", "str-big-ints-list", "join-str-floats", "text-in-sparse", "find-sparse",
           "split-sparse", "replace-sparse", "split-dense")
PLAIN = CASES.pop("plain")
for _name in AT_BASE:
    _source, _args = CASES[_name]
    CASES[_name + "-base"] = (_source, [_args[0], 0, *_args[2:]])
CASES["plain"] = PLAIN


def run_case(name):
    from bundle_host import Host
    from py_to_ir import translate
    from veln_vm_core import _native

    source, args = CASES[name]
    bundle = json.dumps({"con_work": translate(source, "con_work")})
    context = {"this": "con_work", "caller": "bench", "signer": "bench"}
    start = time.perf_counter()
    metered = not name.endswith("-unmetered")
    out = _native.execute_bundle(bundle, "con_work", "run", args, {}, context, Host(), meter=metered,
                                 chi_budget_raw=10 ** 15 if metered else 0)
    seconds = time.perf_counter() - start
    outcome = out["result"] if out["status_code"] == 0 else f"failed: {out['result']}"
    print(json.dumps({"seconds": seconds, "chi": out["chi_used"], "outcome": str(outcome)[:60]}))


def limit_address_space():
    resource.setrlimit(resource.RLIMIT_AS, (4 << 30, 4 << 30))


def allowed_steps(chi):
    """The work allowance of a metered call charged `chi`, when it ends."""
    return (1 << 22) + (1 << 16) * chi


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--child":
        run_case(sys.argv[2])
        return
    names = sys.argv[1:] or list(CASES)
    # Every shape is read against the copy loop's time per allowed step,
    # measured in the same run.
    if "concat" in names:
        names.remove("concat")
    names.insert(0, "concat")
    copy_ns = None
    print(f"{'case':28} {'seconds':>8} {'chi':>9} {'ms/chi':>9} {'ns/step':>8} {'x copy':>6} {'peak MB':>8}  outcome")
    for name in names:
        child = subprocess.Popen([sys.executable, __file__, "--child", name], stdout=subprocess.PIPE,
                                 preexec_fn=limit_address_space)
        output = child.stdout.read().decode()
        _, status, usage = os.wait4(child.pid, 0)
        peak_mb = usage.ru_maxrss / 1024
        try:
            row = json.loads(output.strip().splitlines()[-1])
        except (ValueError, IndexError):
            print(f"{name:28} {'':>8} {'':>9} {'':>9} {'':>8} {'':>6} {peak_mb:8.0f}  child ended with status {status}")
            continue
        per_chi = 1000 * row["seconds"] / max(row["chi"], 1)
        per_step = 1e9 * row["seconds"] / allowed_steps(row["chi"])
        if name == "concat":
            copy_ns = per_step
        ratio = "" if name.endswith("-unmetered") else f"{per_step / copy_ns:6.2f}"
        print(f"{name:28} {row['seconds']:8.2f} {row['chi']:9d} {per_chi:9.4f} {per_step:8.1f} {ratio:>6} "
              f"{peak_mb:8.0f}  {row['outcome']}")


if __name__ == "__main__":
    main()
