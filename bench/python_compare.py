#!/usr/bin/env python3
"""Fifteen everyday contract workloads through execute_bundle (metering on,
the in-memory test host) against the same source under CPython (unmetered,
with small stand-ins for Hash, Variable and decimal). Each workload's result
is checked equal to CPython's before any timing.

A round times every workload at n and at 0 on both sides (the fastest of a
few repetitions each); the difference is the cost of the work without the
fixed cost of a call (reading the bundle, building the instance, converting
the result). The ratio printed is engine / CPython (below 1 the engine is
faster), the median over the rounds, and the last line their geometric mean.

usage: PYTHONPATH=build/python-package .venv/bin/python bench/python_compare.py [rounds] [workload...]
"""
import decimal as _decimal
import json
import pathlib
import statistics
import sys

ROOT = pathlib.Path(__file__).resolve().parents[1]
for path in ("bench", "tests/tools", "tests/python", "tests/python/host_types", "build/python-package"):
    sys.path.append(str(ROOT / path))

from builtins_compare import best_seconds  # noqa: E402
from bundle_host import Host  # noqa: E402
from py_to_ir import translate  # noqa: E402

# name: (source, n). Every workload builds its data from n inside the
# contract and returns a small result, so that conversions stay out of the
# measured work.
WORKLOADS = {
    "for_range_arith": ("""
@export
def run(n):
    total = 0
    for i in range(n):
        total = total + i % 7 * 3 + 1
    return total
""", 100000),
    "while_if_else": ("""
@export
def run(n):
    i = 0
    odd = 0
    even = 0
    while i < n:
        if i % 2:
            odd += i
        else:
            even += 1
        i += 1
    return odd - even
""", 200000),
    "fib_annotated": ("""
def fib(k: int):
    if k < 2:
        return k
    return fib(k - 1) + fib(k - 2)

@export
def run(n):
    return fib(n)
""", 20),
    "keyword_default_calls": ("""
def scale(x, factor=3, offset=0):
    return x * factor + offset

@export
def run(n):
    total = 0
    for i in range(n):
        total += scale(i, offset=1) + scale(x=i, factor=2) + scale(i)
    return total
""", 30000),
    "string_building": ("""
@export
def run(n):
    parts = []
    for i in range(n):
        parts.append(str(i).upper().replace('1', 'x'))
    return len(','.join(parts).split(','))
""", 30000),
    "fstring_format": ("""
@export
def run(n):
    count = 0
    for i in range(n):
        s = f'item-{i}'
        t = '{}:{}'.format(s, i)
        if t.startswith('item-1'):
            count += 1
    return count
""", 30000),
    "dict_int_get": ("""
@export
def run(n):
    d = {}
    for i in range(n):
        k = i % 100
        d[k] = d.get(k, 0) + i
    return d.get(7, 0)
""", 50000),
    "dict_str_keys": ("""
@export
def run(n):
    keys = ['k' + str(j) for j in range(50)]
    d = {}
    for i in range(n):
        k = keys[i % 50]
        if k in d:
            d[k] += d[k] % 7 + 1
        else:
            d[k] = 1
    return d.get('k3', 0)
""", 50000),
    "list_store_append": ("""
@export
def run(n):
    xs = [0] * 100
    ys = []
    for i in range(n):
        xs[i % 100] = i
        ys.append(xs[i * 7 % 100])
    return len(ys) + xs[5]
""", 50000),
    "comprehensions": ("""
@export
def run(n):
    total = 0
    for j in range(n // 100):
        xs = [i * 2 for i in range(100) if i % 3]
        d = {i: i + 1 for i in xs}
        total += len(d)
    return total
""", 50000),
    "small_list_builtins": ("""
@export
def run(n):
    total = 0
    for i in range(n):
        xs = [i % 7, -(i % 5), i % 3, 4]
        total += sum(xs) + min(xs) + max(xs) + sorted(xs)[1] + abs(xs[1])
    return total
""", 20000),
    "sorted_30000": ("""
@export
def run(n):
    xs = [(i * 7919) % 10007 for i in range(n)]
    ys = sorted(xs)
    return ys[n // 2] if n else 0
""", 30000),
    "decimal_arith": ("""
@export
def run(n):
    total = decimal('0')
    rate = decimal('1.25')
    for i in range(n):
        total = total + decimal(i) * rate
    return total
""", 20000),
    "hash_variable": ("""
counts = Hash(default_value=0)
total = Variable(default_value=0)

@export
def run(n):
    for i in range(n):
        counts[i % 10] += i
        total.set(total.get() + 1)
    return counts[3] + total.get()
""", 1000),
    "token_transfers": ("""
balances = Hash(default_value=0)

def transfer(sender: str, to: str, amount: int):
    assert amount > 0, 'amount must be positive'
    assert balances[sender] >= amount, 'not enough coins'
    balances[sender] -= amount
    balances[to] += amount

@export
def run(n):
    balances['alice'] = 1000000
    for i in range(n):
        transfer('alice', 'bob' + str(i % 20), 5)
    return balances['alice']
""", 1000),
}


# CPython stand-ins for what the contract language provides.
class Hash:
    def __init__(self, default_value=None):
        self.default, self.items = default_value, {}

    def __getitem__(self, key):
        return self.items.get(key, self.default)

    def __setitem__(self, key, value):
        self.items[key] = value


class Variable:
    def __init__(self, default_value=None):
        self.value = default_value

    def get(self):
        return self.value

    def set(self, value):
        self.value = value


def cpython_decimal(value):
    return _decimal.Decimal(str(value))


def engine_source(source):
    # The language's decimal() is the system call that builds one.
    return source.replace("decimal(", 'syscall("numeric.decimal.new", ')


class Engine:
    def __init__(self, native, source):
        self.native = native
        self.bundle = json.dumps({"con_bench": translate(engine_source(source), "con_bench")})

    def __call__(self, n):
        result = self.native.execute_bundle(self.bundle, "con_bench", "run", [n], {}, {}, Host(), meter=True)
        assert result["status_code"] == 0, result["result"]
        return result["result"]


class CPython:
    def __init__(self, source):
        self.source = compile(source, "<contract>", "exec")

    def __call__(self, n):
        # A fresh module per call, as the engine builds a fresh instance.
        namespace = {"export": lambda f: f, "Hash": Hash, "Variable": Variable, "decimal": cpython_decimal}
        exec(self.source, namespace)
        return namespace["run"](n)


def marginal_seconds(run, n):
    return best_seconds(lambda: run(n), 5) - best_seconds(lambda: run(0), 5)


def main():
    import veln_vm_core._native as native

    rounds = int(sys.argv[1]) if len(sys.argv) > 1 else 7
    names = sys.argv[2:] or list(WORKLOADS)
    pairs = {}
    for name in names:
        source, n = WORKLOADS[name]
        engine, cpython = Engine(native, source), CPython(source)
        got, want = engine(n), cpython(n)
        if isinstance(want, _decimal.Decimal):
            got = _decimal.Decimal(str(got))  # the engine's decimals print without trailing zeros
        assert got == want and type(got) is type(want), (name, got, want)
        pairs[name] = (engine, cpython, n)
    ratios = {name: [] for name in names}
    for _ in range(rounds):
        for name, (engine, cpython, n) in pairs.items():
            ratios[name].append(marginal_seconds(engine, n) / marginal_seconds(cpython, n))
    print(f"median of {rounds} rounds, engine (metered) / CPython (unmetered)")
    print(f"{'workload':<24}{'n':>8}{'ratio':>8}")
    product = 1.0
    for name in names:
        ratio = statistics.median(ratios[name])
        product *= ratio
        print(f"{name:<24}{pairs[name][2]:>8}{ratio:>8.2f}")
    print(f"{'geometric mean':<32}{product ** (1 / len(names)):>8.2f}")


if __name__ == "__main__":
    main()
