"""Resident memory against the storage weight a request is charged, per layout.

Each row fills one request with values of one layout (ints in a list, big
integers, texts, one-byte texts in a list, tuples, sets, dicts with and
without their index) until the request's memory cap of 2^30 stops it, in a
child process of its own under a 4 GiB address-space limit. It prints the
child's peak resident size above what it held before the call, over the
cap, and the outcome (the memory message is expected). A ratio far above 1
means a layout holds storage its weight does not count. The rows of blocks
sized for more items than they keep (sets of a list of repeats, containers
emptied or halved item by item) hold a fixed count of values: weighed by
the room they keep, they end below the cap (their count as the outcome)
or at it. A list appended to 2^17 + 1 items is weighed for room for 2^18,
of which the pages never written stay out of the resident size. The `dict-*` rows
are metered requests holding copies of a 1M-entry dict: their outcome and
peak resident size. Run after scripts/test.sh has staged the extension:

    PYTHONPATH=build/python-package .venv/bin/python bench/memory_layouts.py [case ...]
"""
import json
import pathlib
import resource
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
for path in ("tests/tools", "tests/python", "tests/python/host_types", "build/python-package"):
    sys.path.append(str(ROOT / path))

CAP = 1 << 30


def fill(setup, make, count=600):
    """Holds values made by `make` (`@` stands for their number), each in a
    variable of its own (one value cannot hold them all: its size is
    bounded), until the cap refuses one."""
    body = "".join(f"    v{i} = {make.replace('@', str(i))}\n" for i in range(count))
    return f"@export\ndef run():\n{setup}{body}    return {count}\n"


# 2^18 small ints, copied whole: 4 MiB of weight a copy.
INTS = "    L = list(range(131072))\n    L = L + [x + 131072 for x in L]\n"
# 2^16 distinct items per list, each made afresh for every list.
R = "    R = range(65536)\n"
D = "    d = {}\n    for k in range(131072):\n        d[k] = k\n        d[k + 131072] = k\n"
# A dict of 1M entries, as in the requests the weights were amended for.
# 2^20 ints (a list of that many is 16 MiB), with and without repeats.
L1M = "    L = list(range(131072))\n" + "    L = L + L\n" * 3
DISTINCT = "    L = list(range(131072))\n" + "".join(f"    L = L + [x + {131072 << j} for x in L]\n" for j in range(3))
# The request the capacity weights were amended for: 2^20 zeros and a one.
DUPLICATES = "    p = [j for j in range(131072)]\n    Z = [0] * 131072\n" + "    Z = Z + Z\n" * 3 + "    Z = Z + [1]\n"
D1M = "    d = {}\n    for a in range(8):\n        for k in range(125000):\n            d[a * 125000 + k] = k\n"


def dict_copies(n, written):
    body = "".join(f"    d{j} = {{**d}}\n" + (f"    d{j}[-1] = 0\n" if written else "") for j in range(n))
    return f"@export\ndef run():\n{D1M}{body}    return len(d)\n"


def dict_updates(n):
    body = "".join(f"    d{j} = {{**d, -1: {j}}}\n" for j in range(n))
    return f"@export\ndef run():\n{D1M}{body}    return len(d)\n"


# name: (source, metered)
CASES = {
    "ints-in-list": (fill(INTS, "L + []"), False),
    "big-ints": (fill(R, "[2 ** 100 + @ + k for k in R]"), False),
    "big-ints-wide": (fill("", "[2 ** 65536 + @ + k for k in range(512)]"), False),
    "texts-16": (fill(R, "[str(10 ** 15 + @ * 65536 + k) for k in R]"), False),
    "texts-100": (fill("    R = range(32768)\n" + "    t = 'x' * 84\n", "[t + str(10 ** 15 + @ * 32768 + k) for k in R]"), False),
    "texts-large": (fill("    t = 'x' * 131072\n" + "    t = t + t\n" * 4, "t + str(@)"), False),
    "one-byte-texts": (fill("    t = 'abcdefgh' * 16384\n    t = t + t\n", "list(t)"), False),
    "tuples-1": (fill(R, "[(@ + k,) for k in R]"), False),
    "tuples-2": (fill(R, "[(@, k) for k in R]"), False),
    "sets": (fill(INTS, "set(L)"), False),
    "sets-searched": (fill(INTS, "searched(set(L))"), False),
    # Ints past 2^53 and floats: every item an entry of a node-based side map.
    "sets-searched-wide": (fill(R, "searched(set([2 ** 60 + @ * 65536 + k for k in R]))"), False),
    "sets-searched-floats": (fill(R, "searched(set([0.5 + @ * 65536 + k for k in R]))"), False),
    # Blocks sized for more items than they keep: sets of a list of
    # repeats, containers emptied or halved item by item, a list appended to
    # one item past a power of two.
    "sets-of-duplicates": (fill(DUPLICATES, "set(Z)", 100), False),
    "frozensets-of-duplicates": (fill(DUPLICATES, "frozenset(Z)", 100), False),
    "lists-of-sets-of-duplicates": (fill(DUPLICATES, "list(set(Z))", 100), False),
    "lists-popped-to-one": (fill(L1M, "popped(L, 1)", 100), False),
    "lists-popped-to-half": (fill(L1M, "popped(L, 524288)"), False),
    "sets-emptied-by-discard": (fill(DISTINCT, "discarded(L)", 100), False),
    # A list of emptied 64-entry dicts (one unit each).
    "dicts-emptied-by-pop": (fill("    K = list(range(64))\n", "[dict_emptied(K) for j in range(8192)]", 60), False),
    "lists-appended-2^17+1": (fill("", "appended(131072)"), False),
    "dicts": (fill(D, "{**d}"), False),
    "dicts-indexed": (fill(D, "written({**d})"), False),
    # The requests the dict weights were amended for (metered).
    "dict-updates-56": (dict_updates(56), True),
    "dict-updates-62": (dict_updates(62), True),
    "dict-copies-written-28": (dict_copies(28, True), True),
}

HELPERS = """
def searched(s):
    for k in range(8):
        if -1 in s:
            return s
    return s


def written(x):
    x[-1] = 0
    return x


def popped(L, keep):
    x = L + []
    while len(x) > keep:
        x.pop()
    return x


def discarded(L):
    s = set(L)
    for k in L:
        s.discard(k)
    return s


def dict_emptied(K):
    d = {}
    for k in K:
        d[k] = k
    for k in K:
        d.pop(k)
    return d


def appended(n):
    x = []
    for k in range(n):
        x.append(k)
    x.append(n)
    return x

"""


def resident_bytes(field):
    for line in pathlib.Path("/proc/self/status").read_text().splitlines():
        if line.startswith(field + ":"):
            return int(line.split()[1]) * 1024
    return 0


def run_case(name):
    from bundle_host import Host
    from py_to_ir import translate
    from veln_vm_core import _native

    source, metered = CASES[name]
    bundle = json.dumps({"con_mem": translate(HELPERS + source, "con_mem")})
    context = {"this": "con_mem", "caller": "bench", "signer": "bench"}
    before = resident_bytes("VmRSS")
    out = _native.execute_bundle(bundle, "con_mem", "run", [], {}, context, Host(), meter=metered,
                                 chi_budget_raw=10 ** 15 if metered else 0)
    peak = resident_bytes("VmHWM")
    outcome = out["result"] if out["status_code"] == 0 else f"failed: {out['result']}"
    print(json.dumps({"held": peak - before, "peak": peak, "outcome": str(outcome)[:60]}))


def child_row(name):
    """Runs one case in a child under a 4 GiB address-space limit: its row,
    or None when the child printed none."""
    limit = (4 << 30, 4 << 30)
    done = subprocess.run([sys.executable, __file__, "--child", name], stdout=subprocess.PIPE, check=False,
                          preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_AS, limit))
    lines = done.stdout.decode().strip().splitlines()
    return (json.loads(lines[-1]) if lines else None), done.returncode


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--child":
        run_case(sys.argv[2])
        return
    print(f"{'case':28} {'held MB':>8} {'/ cap':>6} {'peak MB':>8}  outcome")
    for name in sys.argv[1:] or list(CASES):
        row, code = child_row(name)
        if row is None:
            print(f"{name:28} child ended with status {code}")
        else:
            print(f"{name:28} {row['held'] / 2**20:8.0f} {row['held'] / CAP:6.2f} {row['peak'] / 2**20:8.0f}  "
                  f"{row['outcome']}")


if __name__ == "__main__":
    main()
