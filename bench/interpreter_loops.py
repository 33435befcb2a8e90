"""The contract sources of the interpreter benchmarks, shared by
interpreter_bench (through bench/data/interpreter_loops.json, written by
`python3 bench/interpreter_loops.py`) and bench/interpreter_compare.py.

Each entry: the source, the function, how to build its argument for a size
n, and how many loop iterations one call runs for that n.
"""
import json
import pathlib
import sys

ROOT = pathlib.Path(__file__).resolve().parents[1]

LOOPS = {
    "for_range_sum": dict(source="""
def run(n):
    total = 0
    for i in range(n):
        total += i
    return total
""", arg="n", iterations=lambda n: n),
    "for_list_sum": dict(source="""
def run(xs):
    total = 0
    for i in xs:
        total += i
    return total
""", arg="list", iterations=lambda n: n),
    "while_arithmetic": dict(source="""
def run(n):
    i = 0
    total = 0
    while i < n:
        total = total + i * 3 % 7
        i += 1
    return total
""", arg="n", iterations=lambda n: n),
    "fib_calls": dict(source="""
def fib(k):
    if k < 2:
        return k
    return fib(k - 1) + fib(k - 2)

def run(n):
    return fib(n)
""", arg="fib", iterations=lambda n: fib_calls(n)),
    "string_methods": dict(source="""
def run(xs):
    parts = []
    s = ''
    for x in xs:
        s = s + 'ab'
        parts.append('item'.upper())
    return s.count('a')
""", arg="list", iterations=lambda n: n),
    "dict_updates": dict(source="""
def run(xs):
    d = {}
    for i in xs:
        d[i % 64] = i
        d[i % 64] += 1
    return d[0]
""", arg="list", iterations=lambda n: n),
}


def fib_calls(n):
    a, b = 1, 1  # calls made by fib(0), fib(1)
    for _ in range(n - 1):
        a, b = b, a + b + 1
    return b if n > 0 else 1


def argument(kind, n):
    if kind == "list":
        return list(range(n))
    return n


def main():
    sys.path.insert(0, str(ROOT / "tests" / "tools"))
    from py_to_ir import translate
    modules = {name: translate(loop["source"], "con_bench") for name, loop in LOOPS.items()}
    out = ROOT / "bench" / "data" / "interpreter_loops.json"
    out.write_text(json.dumps(modules, separators=(",", ":"), sort_keys=True) + "\n")


if __name__ == "__main__":
    main()
