"""Set shapes that only a literal scan can match, run through execute_bundle.

Each contract builds or compares sets whose number leaves make value equality
intransitive (tiny floats standing for the decimal 0, ints sharing one
double with its float), so no keyed search serves them. Prints the wall time
of each call and its outcome: the result, or the message of the cap on the
comparisons of one set operation. Run after scripts/test.sh has staged the
extension:

    PYTHONPATH=build/python-package .venv/bin/python bench/stall_shapes.py
"""
import json
import pathlib
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
for path in ("tests/tools", "tests/python", "tests/python/host_types", "build/python-package"):
    sys.path.append(str(ROOT / path))

from bundle_host import Host  # noqa: E402
from py_to_ir import translate  # noqa: E402
from veln_vm_core import _native  # noqa: E402

TINY_TUPLES = """
@export
def run(n: int):
    items = [(0,)]
    e = float("1e-35")
    for k in range(n):
        items.append((float(k + 1) * e,))
    return len(set(items))
"""

# Frozensets of nine ints past 2^60 beside the float of their double.
FROZENSETS = """
def frozensets(n):
    b = 2 ** 60
    a = []
    c = []
    for k in range(n):
        fs = [float(b + k)]
        gs = [float(b + k)]
        for j in range(9):
            fs.append(b + k + j)
            gs.append(b + k + j + 1)
        a.append(frozenset(fs))
        c.append(frozenset(gs))
    return [a, c]

@export
def build(n: int):
    a, c = frozensets(n)
    return len(set(a + c))

@export
def union(n: int):
    a, c = frozensets(n)
    return len(set(a) | set(c))
"""

# Many pairs of scanned sets compared inside one list comparison.
LISTS_OF_SETS = """
@export
def run(n: int, k: int):
    e = float("1e-35")
    a = [(0,)]
    b = [(0,)]
    for i in range(n):
        a.append((float(i + 1) * e,))
        b.append((float(i + 1) * e,))
    return [set(a)] * k == [set(b)] * k
"""

CASES = [
    ("set() of one-item tiny-float tuples beside (0,)", TINY_TUPLES, "run", [16384]),
    ("set() of frozensets meeting one float", FROZENSETS, "build", [16384]),
    ("s | t of frozensets meeting one float", FROZENSETS, "union", [16384]),
    ("[s] * 20 == [t] * 20, tiny-float tuple sets", LISTS_OF_SETS, "run", [2000, 20]),
]


def main():
    context = {"this": "con_stall", "caller": "bench", "signer": "bench"}
    for label, source, function, args in CASES:
        bundle = json.dumps({"con_stall": translate(source, "con_stall")})
        start = time.perf_counter()
        out = _native.execute_bundle(bundle, "con_stall", function, args, {}, context, Host(),
                                     meter=True, chi_budget_raw=10 ** 15)
        seconds = time.perf_counter() - start
        outcome = out["result"] if out["status_code"] == 0 else f"failed: {out['result']}"
        print(f"{label:52} {seconds:7.2f} s  {outcome}")


if __name__ == "__main__":
    main()
