#!/usr/bin/env python3
"""Comprehension- and builtin-heavy contract code through execute_bundle
(metering on) against the same source under CPython. Prints ns per loop
iteration for both and their ratio (engine / CPython; below 1 the engine is
faster).

Each workload is timed at n iterations and at 0: the difference, divided by n,
is the cost of one iteration without the fixed cost of a call (for the
engine: reading and validating the bundle, building the instance, converting
the result). The fastest of several repetitions counts on both sides, since
other work on the machine only ever adds time.

usage: PYTHONPATH=build/python-package .venv/bin/python bench/builtins_compare.py [n]
"""
import json
import pathlib
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parents[1]
for path in ("tests/tools", "tests/python", "tests/python/host_types", "build/python-package"):
    sys.path.append(str(ROOT / path))

from bundle_host import Host  # noqa: E402
from py_to_ir import translate  # noqa: E402

# The data is built inside the contract from n (arguments would add their
# conversion to every item); results are small so that returning them is free.
WORKLOADS = {
    "list_comp_filter": """
@export
def run(n):
    xs = [x * 2 for x in range(n) if x % 3]
    return len(xs)
""",
    "dict_comp_str": """
@export
def run(n):
    d = {x: str(x) for x in range(n)}
    return len(d)
""",
    "nested_comp": """
@export
def run(n):
    rows = [[i * j for j in range(10)] for i in range(n // 10)]
    return len(rows)
""",
    "sorted_ints": """
@export
def run(n):
    xs = [(i * 7919) % 10007 for i in range(n)]
    return sorted(xs)[n // 2] if n else 0
""",
    "sorted_strs": """
@export
def run(n):
    xs = [str((i * 7919) % 10007) for i in range(n)]
    return sorted(xs)[0] if n else ''
""",
    "min_max": """
@export
def run(n):
    xs = [(i * 31) % 1009 for i in range(n)]
    return min(xs + [0]) + max(xs + [0])
""",
    "str_int_round_trip": """
@export
def run(n):
    return sum([int(str(x)) for x in range(n)])
""",
    "len_range_loop": """
@export
def run(n):
    total = 0
    for i in range(n):
        total += len(range(i % 16))
    return total
""",
    "map_filter_helpers": """
def odd(x):
    return x % 2 == 1

@export
def run(n):
    return sum(map(abs, filter(odd, range(-n, n)))) // 2
""",
    "join_split": """
@export
def run(n):
    return len(','.join(map(str, range(n))).split(','))
""",
    "set_and_membership": """
@export
def run(n):
    s = set([x % 97 for x in range(n)])
    return len([x for x in range(n) if x in s])
""",
}
# Iterations per call, for the ns-per-iteration figures (one per item drawn).
ITERATIONS = {"list_comp_filter": lambda n: n, "nested_comp": lambda n: n // 10 * 11,
              "map_filter_helpers": lambda n: 2 * n, "set_and_membership": lambda n: 2 * n}


def best_seconds(call, repeat=7):
    best = float("inf")
    for _ in range(repeat):
        start = time.perf_counter()
        call()
        best = min(best, time.perf_counter() - start)
    return best


def engine_call(native, name, source, n):
    bundle = json.dumps({"con_bench": translate(source, "con_bench")})
    host = Host()

    def call():
        result = native.execute_bundle(bundle, "con_bench", "run", [n], {}, {}, host, meter=True)
        assert result["status_code"] == 0, (name, result["result"])
    return call


def cpython_call(source, n):
    namespace = {"export": lambda f: f}
    exec(compile(source, "<contract>", "exec"), namespace)
    run = namespace["run"]
    return lambda: run(n)


def marginal_ns(make_call, n):
    return (best_seconds(make_call(n)) - best_seconds(make_call(0))) * 1e9


def main():
    import veln_vm_core._native as native

    n = int(sys.argv[1]) if len(sys.argv) > 1 else 20000
    print(f"n = {n}; ns per iteration, the fixed cost of a call excluded")
    print(f"{'workload':<22}{'engine':>10}{'CPython':>10}{'ratio':>8}")
    ratios = []
    for name, source in WORKLOADS.items():
        iterations = ITERATIONS.get(name, lambda k: k)(n)
        engine = marginal_ns(lambda k: engine_call(native, name, source, k), n) / iterations
        cpython = marginal_ns(lambda k: cpython_call(source, k), n) / iterations
        ratios.append(engine / cpython)
        print(f"{name:<22}{engine:>10.1f}{cpython:>10.1f}{engine / cpython:>8.2f}")
    product = 1.0
    for r in ratios:
        product *= r
    print(f"{'geometric mean':<22}{'':>20}{product ** (1 / len(ratios)):>8.2f}")


if __name__ == "__main__":
    main()
