"""Random requests over large values, timed against the copy loop.

Composes requests at random, reproducibly from --seed, so that a slow
operation is found by generation rather than by a named row (those are in
bench/work_shapes.py): a value shape built near the size limits by
whole-value operations (flat and nested tuples sharing long prefixes,
floats, big integers, decimals, texts with long shared prefixes or wide
code points, dicts keyed by tuples or texts, sets of floats, tuples or mixed
numbers, containers thinned by pops, discards or clears, or built from
duplicates), then one operation over it looped until the request meets its
work allowance. Each request runs metered in a child of its own (4 GiB
address space, --timeout), at the base allowance and again after a plain
loop that pays about 400 chi; its time per allowed step (seconds / (2^22 +
2^16 * chi)) is read against the copy loop `x = L + []` run among the
requests: every operation should stay within 3x. The end lists the worst
ratios with their programs and the failures by class (over 3x, child killed
or crashed, status 0 after more than --slow seconds). With --memory the
requests hold copies made by a generated operation, unmetered, each in a
variable of its own (one list would meet the size limit first) until the
memory cap (2^30) stops them; resident memory above the start over the cap
should stay <= 1.3. Run after staging the extension as scripts/test.sh does:

    PYTHONPATH=build/python-package .venv/bin/python bench/request_generator.py \
        [--seed 1] [--count 300 | --only 3,17] [--jobs 2] [--memory] [--show I]

--show I prints request I's program without running it.
"""
import argparse
import json
import os
import pathlib
import random
import resource
import statistics
import subprocess
import sys
import tempfile
import threading
import time
from collections import Counter
from concurrent.futures import ThreadPoolExecutor

ROOT = pathlib.Path(__file__).resolve().parent.parent
for path in ("tests/tools", "tests/python", "tests/python/host_types", "build/python-package"):
    sys.path.append(str(ROOT / path))

CAP = 1 << 30
REP = 131072  # the largest repetition the language makes
HELD = 1024  # copies a memory request holds at most
# The decimals an argument brings (only to requests that use them): 1024
# distinct values of mixed scale.
DECIMALS = [f"{i}.{i * 7919 % 1000:03d}" if i % 3 else f"-0.{i:06d}" for i in range(1024)]

from memory_layouts import resident_bytes  # noqa: E402
# PAY: plain code that pays about 400 chi (with pay = 1) before the shape is
# built; BIG_LIST: the copy loop's list of 4.1M ints.
from work_shapes import BIG_LIST, PAY, allowed_steps  # noqa: E402


def grow(name, unit, width, total, unit_bytes=1):
    """`name` = `unit` (a list of `width` items, or a text of `width`
    characters in `unit_bytes` bytes) repeated to `total` items: one
    repetition within its cap, then doublings."""
    reps = max(1, min(total // width, REP // (width * unit_bytes)))
    lines, size = [f"{name} = {unit} * {reps}"], reps * width
    while size * 2 <= total:
        lines.append(f"{name} = {name} + {name}")
        size *= 2
    if size < total:
        lines.append(f"{name} = {name} + {name}[:{total - size}]")
    return lines


def loop_build(name, n, make):
    """`name` = the concatenation of `make(a, b)` over chunks [a, b) of range(n)."""
    return [f"{name} = []", f"for a in range(0, {n}, {REP}):", f"    b = min(a + {REP}, {n})",
            f"    {name} = {name} + {make}"]


def texts(n, suffix=""):
    """TX = the texts of 0 .. n-1, each followed by `suffix`."""
    lines = loop_build("N", n, "list(range(a, b))") + ["TX = []", f"for a in range(0, {n}, {REP}):",
                                                        f"    t = str(N[a:a + {REP}])", "    t = t[1:-1]"]
    if suffix:
        lines.append(f"    t = t.replace(', ', '{suffix}, ') + '{suffix}'")
    return lines + ["    TX = TX + t.split(', ')"]


WIDE = ["\u00e9", "\u65e5\u672c", "ab\u00e9", "\U0001f600"]
UNITS = ["ab", "aa", "a ", "0123456789"] + WIDE


def text_unit(unit, chars):
    """The lines building P, `chars` characters of `unit`."""
    return grow("P", repr(unit), len(unit), chars, -(-len(unit.encode()) // len(unit)))


class Shape:
    """Writes the setup of one request: A and a partner B, an item e and,
    over texts, a needle n and a replacement r."""

    def __init__(self, rng):
        self.rng, self.decimals = rng, False

    def pick(self, *items):
        return self.rng.choice(items)

    def items(self, units):
        """Lines building L, a list of about `units` size units, its item tag,
        an item it does not hold, and its length."""
        kind = self.pick("int", "bigint", "float", "float-text", "near-2^53", "decimal", "mixed", "text",
                         "prefix-text", "tuple1", "pair", "float-tuple", "nested", "nested", "dec-tuple")
        n = units // 2
        if kind == "int":
            return loop_build("L", n, "list(range(a, b))"), "num", "-1", n
        if kind in ("bigint", "near-2^53"):
            bits = 53 if kind == "near-2^53" else self.pick(64, 130, 1000, 4000)
            n = units // (2 + bits // 64)
            lines = loop_build("L", n, f"list(range(2 ** {bits} + a, 2 ** {bits} + b))")
            if kind == "near-2^53":  # ints that one double stands for, and that double
                lines += [f"L = L[:{n // 2}] + list(map(float, L[{n // 2}:]))"]
            return lines, "num", f"-(2 ** {bits})", n
        if kind == "float":
            return loop_build("L", n, "list(map(float, range(a, b)))"), "num", "float('-0.5')", n
        if kind == "float-text":
            n = units // 3
            suffix = self.pick("e-35", ".5", "e300", "e-320")
            return texts(n, suffix) + ["L = list(map(float, TX))"], "num", "float('-0.25')", n
        if kind in ("decimal", "dec-tuple"):
            self.decimals = True
            lines = grow("L", "Q", 1024, n)
            if kind == "dec-tuple":
                lines += loop_build("N", n, "list(range(a, b))") + ["L = list(zip(L, N))"]
                return lines, "tuple", "(q, -1)", n
            return lines, "num", "q", n
        if kind == "mixed":
            self.decimals = True
            return (loop_build("L", n // 2, "list(range(a, b))") + grow("P", "[q, float('2.5'), True, 3]", 4, n // 4)
                    + [f"L = L + P + list(map(float, L[:{n // 4}]))"]), "num", "float('-1.5')", n
        if kind in ("text", "prefix-text"):
            if kind == "text":
                n = units // 12
                return texts(n) + ["L = TX"], "text", "'zz'", n
            unit, m = self.pick(*UNITS), self.pick(1, 64, 1024)
            n = max(1, units // (m * len(unit.encode()) // len(unit) + 12))
            lines = texts(n) + text_unit(unit, m) + ["L = (', ' + P).join(TX)", "L = L.split(', ')"]
            return lines, "text", "'zz'", n
        if kind in ("tuple1", "pair", "float-tuple"):
            n = units // (12 if kind == "pair" else 4)
            lines = loop_build("N", n, "list(map(float, range(a, b)))" if kind == "float-tuple" else "list(range(a, b))")
            if kind == "pair":
                return texts(n) + ["L = list(zip(N, TX))"], "tuple", "(-1, 'a')", n
            return lines + ["L = list(zip(N))"], "tuple", "(-1,)", n
        # Nested tuples: a long shared prefix, the leaf differs.
        m, depth, leaves = self.pick(16, 256, 4096), self.pick(1, 2, 3, 4), self.pick("N", "F", "S")
        n = max(1, units // (m * (9 if leaves == "S" else 1) + depth + 3))
        lines = loop_build("N", max(n, m), "list(range(a, b))")
        lines += {"N": [], "F": ["F = list(map(float, N))"], "S": ["S = list(map(str, N))"]}[leaves]
        lines += [f"W = tuple({leaves}[:{m}])"] + ["W = (W,)"] * (depth - 1) + grow("R", "[W]", 1, n)
        return lines + ["L = list(zip(R, N))"], "tuple", "(W, -1)", n

    def container(self, units):
        kind = self.pick("list", "list", "tuple", "set", "set", "frozenset", "dict", "text", "text", "text", "int",
                         "decimal")
        if kind == "text":
            return kind, "text", self.text(units)
        if kind == "int":
            bits = self.pick(4096, 65536, 1000000, 1048500)
            return kind, "num", [f"A = 2 ** {bits} + 12345", self.pick("B = A + 1", f"B = 2 ** {bits} + 12345",
                                                                       "B = A // 3", "B = A")]
        if kind == "decimal":
            digits = self.pick(16, 1024, 65536, 1000000)  # past the 30th fraction digit, read and dropped
            return kind, "num", grow("D", "'1234567890'", 10, digits) + [
                "A = syscall('numeric.decimal.new', '0.' + D)", "B = syscall('numeric.decimal.new', '0.' + D + '1')"]
        built, tag, absent, n = self.items(units)
        partner = self.pick("copy", "rebuilt", "tail", "half")
        lines = built + (["M0 = L"] + built + ["M = L", "L = M0"] if partner == "rebuilt" else
                         [{"copy": "M = L + []", "tail": "M = L[1:] + [L[0]]", "half": "M = L[len(L) // 2:]"}[partner]])
        if self.rng.random() < 0.15:  # duplicates: the first few items over and over
            d = self.pick(1, 2, 7)
            lines += grow("L", f"L[:{d}]", d, n)
        wrap = {"list": "{}", "tuple": "tuple({})", "set": "set({})", "frozenset": "frozenset({})",
                "dict": "dict(zip({0}, {0}))"}[kind]
        lines += ["A = " + wrap.format("L"), "B = " + wrap.format("M"),
                  "e = " + self.pick(absent, "M[len(M) - 1]", "L[len(L) // 2]"), "r = " + self.pick("''", "', '")]
        if kind in ("list", "set", "dict") and self.rng.random() < 0.25:
            lines += self.thin(kind)
        return kind, tag, lines

    def thin(self, kind):
        """Empties A part way or wholly, by pops, discards or a clear."""
        m, how = self.pick(64, 4096), self.pick("pop", "remove", "clear")
        if how == "clear":
            return ["A.clear()", {"list": "A.append(e)", "set": "A.add(e)", "dict": "A[e] = 1"}[kind]]
        if how == "pop" and kind != "dict":
            return [f"for i in range(min({m}, len(A) - 1)):", "    x = A.pop()"]
        verb = {"list": "A.remove(L[i])", "set": "A.discard(L[i])", "dict": "x = A.pop(L[i], 0)"}[kind]
        return [f"for i in range(min({m}, len(L) - 1)):", "    " + verb]

    def text(self, units):
        how, unit = self.pick("unit", "unit", "joined", "prefix"), self.pick(*UNITS)
        chars = units * len(unit) // len(unit.encode())
        if how == "unit":
            lines = text_unit(unit, chars) + ["A = P"]
        elif how == "joined":
            lines = texts(units // 9) + ["A = ', '.join(TX)"]
        else:  # a long prefix, then distinct numbers
            lines = text_unit(unit, chars // 2) + texts(units // 20) + ["A = ', '.join(TX)", "A = P + A"]
        partner = self.pick("copy", "rebuilt", "tail", "half", "same")
        lines += {"copy": ["B = A + ''"], "rebuilt": ["A0 = A"] + lines + ["B = A", "A = A0"],
                  "tail": ["B = A[:len(A) - 1]", "B = B + 'z'"], "half": ["B = A[len(A) // 2:]"],
                  "same": ["B = A[:len(A) - 1]", "B = B + A[len(A) - 1:]"]}[partner]
        needle = self.pick("'abc'", "'a'", "', '", repr(self.pick(*WIDE)), "A[len(A) - 100:]", "A[:4096] + 'z'",
                           "A[:64]")
        return lines + ["n = " + needle, "r = " + self.pick("''", "'x'", "'\\u00e9\\u00e9'", "'abcabc'"), "e = n"]


ALL = "list tuple set frozenset dict text int decimal"
SEQ = "list tuple"
BULK = "list tuple set frozenset dict text"
OPS = [  # (class, expression, containers, item tags it takes or '' for any)
    ("compare", "A < B", "text int decimal set frozenset", ""), ("compare", "A <= B", "text int decimal", ""),
    ("compare", "A > B", "text", ""),
    ("equality", "A == B", ALL, ""), ("equality", "A != B", ALL, ""),
    ("membership", "e in A", SEQ + " set frozenset dict text", ""), ("membership", "e not in B", BULK, ""),
    ("membership", "A in {B: 1}", "tuple frozenset text int decimal", ""),
    ("hashing", "{A: 1}", "tuple frozenset text int decimal", ""), ("hashing", "set(A)", BULK, ""),
    ("hashing", "frozenset(A)", BULK, ""), ("hashing", "dict(zip(A, A))", BULK, ""),
    ("hashing", "{B: 1}[A]", "tuple frozenset text int", ""),
] + [("set-algebra", f"A {op} B", "set frozenset", "") for op in "- & ^ | <= >=".split()] + [
    ("set-algebra", f"A.{m}(B)", "set frozenset", "")
    for m in ("isdisjoint", "union", "intersection", "difference", "symmetric_difference", "issubset")] + [
    ("set-algebra", "set(A) & set(B)", SEQ, ""), ("set-algebra", "set(A) - set(B)", "dict text", ""),
    ("sorting", "sorted(A)", BULK, "num text"), ("sorting", "min(A)", BULK, "num text"),
    ("sorting", "max(A)", BULK, "num text"), ("sorting", "sorted(B)", BULK, "num text"),
    ("copy", "A + []", "list", ""), ("copy", "list(A)", BULK, ""), ("copy", "tuple(A)", BULK, ""),
    ("copy", "A.copy()", "list set frozenset dict", ""), ("copy", "{**A}", "dict", ""), ("copy", "dict(A)", "dict", ""),
    ("copy", "A + ''", "text", ""), ("copy", "A + ()", "tuple", ""), ("copy", "reversed(A)", SEQ, ""),
    ("copy", "list(A.items())", "dict", ""), ("copy", "list(zip(A, B))", BULK, ""), ("copy", "A * 2", SEQ + " text", ""),
    ("slice", "A[1:]", SEQ + " text", ""), ("slice", "A[::-1]", SEQ + " text", ""),
    ("slice", "A[::2]", SEQ + " text", ""), ("slice", "A[len(A) // 2:]", SEQ + " text", ""),
    ("text-form", "str(A)", ALL, ""), ("text-form", "ascii(A)", ALL, ""),
    ("format", "format(A)", "text int decimal", ""), ("format", "'{}'.format(A)", ALL, ""), ("format", "f'{A}'", ALL, ""),
    ("format", "'{0}:{1}'.format(A, B)", ALL, ""), ("format", "f'<{A}|{e}>'", BULK, ""),
    ("format", "format(A, 'x')", "int", ""), ("format", "format(A, 'b')", "int", ""),
    ("search", "A.count(e)", "list", ""), ("search", "A.index(e)", "list", ""),
    ("search", "A.find(n)", "text", ""), ("search", "A.find(B)", "text", ""), ("search", "n in A", "text", ""),
    ("search", "A.startswith(B)", "text", ""), ("search", "A.endswith(n)", "text", ""),
    ("search", "B in A", "text", ""),
    ("split", "A.split(n)", "text", ""), ("split", "A.split()", "text", ""),
    ("split", "str(A).split(', ')", BULK, ""),
    ("replace", "A.replace(n, r)", "text", ""), ("replace", "A.replace(B, r)", "text", ""),
    ("replace", "str(A).replace(', ', ';')", BULK, ""),
    ("join", "r.join(A)", BULK, "text"), ("join", "', '.join(map(str, A))", BULK, ""),
    ("join", "r.join(A.split(n))", "text", ""),
    ("text-ops", "A.upper()", "text", ""), ("text-ops", "A.strip(n)", "text", ""),
    ("text-ops", "A.isalpha()", "text", ""), ("text-ops", "bytes(A, 'utf-8')", "text", ""),
    ("numbers", "A * B", "int decimal", ""), ("numbers", "A // B", "int decimal", ""),
    ("numbers", "A % B", "int decimal", ""), ("numbers", "sum(A)", BULK, "num"), ("numbers", "int(A)", "decimal", ""),
    ("conversion", "int(A)", "text", ""), ("conversion", "float(A)", "text", ""),
    ("conversion", "syscall('numeric.decimal.new', A)", "text", ""), ("conversion", "int(str(A))", "int", ""),
]


def makes_value(op):
    """Whether an operation makes a value of about its operand's size."""
    tests = ("min(", "max(", " in ", "<", ">", ".is", "count", "find", "index", "with", "{A: 1}", "[A]")
    return op[0] not in ("compare", "equality", "membership", "search", "numbers") and not any(
        t in op[1] for t in tests)


def generate(seed, index, memory=False):
    """Request `index` of `seed`: (operation class, label, source, uses decimals)."""
    rng = random.Random(f"{seed}:{index}:{memory}")
    shape = Shape(rng)
    units = rng.choice((1 << 16, 1 << 18)[memory * 2:] + (1 << 20, 1 << 21, 4000000))
    kind, tag, lines = shape.container(units)
    ops = [op for op in OPS if kind in op[2].split() and tag in (op[3] or tag).split()]
    if memory:
        ops = [op for op in ops if makes_value(op)]
    op_class, expression = rng.choice(ops)[:2]
    setup = "".join(f"    {line}\n" for line in lines)
    head = f"@export\ndef run(k: int, pay: int, q: decimal, Q: list):\n{PAY}{setup}"
    if memory:  # each copy in a variable of its own: one list could not hold them, its size is bounded
        source = head + "".join(f"    v{i} = {expression}\n" for i in range(HELD)) + "    return 0\n"
    else:
        source = head + f"    c = 0\n    for j in range(k):\n        x = {expression}\n        c = c + 1\n    return c\n"
    return op_class, f"{kind}/{tag}: {expression}", source, shape.decimals


def run_child():
    from bundle_host import Host
    from py_to_ir import translate
    from veln_runtime_types.decimal import VondrelDecimal
    from veln_vm_core import _native

    job = json.loads(sys.stdin.read())
    try:
        bundle = json.dumps({"con_gen": translate(job["source"], "con_gen")})
    except Exception as error:  # a generator fault, not the engine's
        print(json.dumps({"status": -1, "outcome": f"translation: {error}", "seconds": 0, "chi": 0}))
        return
    decimals = [VondrelDecimal(d) for d in DECIMALS] if job["decimals"] else []
    args = [job["k"], job["pay"], VondrelDecimal("0.25"), decimals]
    context = {"this": "con_gen", "caller": "bench", "signer": "bench"}
    before = resident_bytes("VmRSS")
    start = time.perf_counter()
    out = _native.execute_bundle(bundle, "con_gen", "run", args, {}, context, Host(), meter=job["metered"],
                                 chi_budget_raw=10 ** 15 if job["metered"] else 0)
    print(json.dumps({"seconds": time.perf_counter() - start, "status": out["status_code"], "chi": out["chi_used"],
                      "outcome": str(out["result"])[:100], "held": resident_bytes("VmHWM") - before}))


def run_job(job, timeout):
    """Runs one request in a child: its row, with the child's peak resident
    size; a child killed, crashed or timed out gets a row saying so."""
    limit = (4 << 30, 4 << 30)
    with tempfile.TemporaryFile() as err:
        child = subprocess.Popen([sys.executable, __file__, "--child"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                 stderr=err, preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_AS, limit))
        timer = threading.Timer(timeout, child.kill)
        timer.start()
        start = time.perf_counter()
        child.stdin.write(json.dumps(job).encode())
        child.stdin.close()
        output = child.stdout.read().decode()
        _, status, usage = os.wait4(child.pid, 0)
        child.returncode = status  # reaped here, for the rusage
        timer.cancel()
        wall = time.perf_counter() - start
        err.seek(0)
        tail = err.read().decode(errors="replace").strip().splitlines()[-1:]
    lines = output.strip().splitlines()
    if status != 0 or not lines:
        why = f"timeout after {timeout}s" if wall >= timeout else f"child ended with status {status} {tail}"
        row = {"status": None, "outcome": why, "seconds": wall, "chi": 0, "crash": True}
    else:
        row = json.loads(lines[-1])
    row["peak_mb"] = usage.ru_maxrss / 1024
    return row


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--count", type=int, default=100)
    parser.add_argument("--start", type=int, default=0, help="first request index")
    parser.add_argument("--only", help="request indexes to run, as 3,17,40 (instead of --start/--count)")
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--k", type=int, default=1024, help="turns of the operation loop")
    parser.add_argument("--timeout", type=float, default=60.0, help="seconds before a child is killed")
    parser.add_argument("--slow", type=float, default=10.0, help="status 0 after this many seconds is a finding")
    parser.add_argument("--worst", type=int, default=5, help="worst cases printed with their programs")
    parser.add_argument("--memory", action="store_true")
    parser.add_argument("--show", type=int)
    parser.add_argument("--child", action="store_true")
    opts = parser.parse_args()
    if opts.child:
        return run_child()
    if opts.show is not None:
        print(generate(opts.seed, opts.show, opts.memory)[2])
        return None
    return (memory_mode if opts.memory else work_mode)(opts)


def indexes(opts):
    return [int(i) for i in opts.only.split(",")] if opts.only else range(opts.start, opts.start + opts.count)


def work_mode(opts):
    pays = (0, 1)
    baseline = f"@export\ndef run(k: int, pay: int, q: decimal, Q: list):\n{PAY}{BIG_LIST}    c = 0\n    " \
               f"for j in range(k):\n        x = L + []\n        c = c + 1\n    return c + len(Q)\n"
    requests = {i: generate(opts.seed, i) for i in indexes(opts)}
    # The copy loop runs among the requests (twice first, then every few
    # requests per job), so it meets the same load; each row is read against
    # the median of its last three runs.
    jobs, every = [], 4 * opts.jobs
    for n, i in enumerate(requests):
        if n % every == 0:
            jobs += [("copy", {"source": baseline, "k": 1000, "pay": pay, "decimals": False, "metered": True})
                     for _ in range(2 if n == 0 else 1) for pay in pays]
        jobs += [(i, {"source": requests[i][2], "k": opts.k, "pay": pay, "decimals": requests[i][3],
                      "metered": True}) for pay in pays]
    copies = {pay: [] for pay in pays}
    print(f"{'req':>5} {'pay':>3} {'class':12} {'sec':>6} {'chi':>8} {'ns/step':>8} {'x copy':>7} {'peakMB':>6}"
          "  shape: operation -> outcome", flush=True)
    results = []
    with ThreadPoolExecutor(opts.jobs) as pool:
        for (i, job), row in zip(jobs, pool.map(lambda ij: run_job(ij[1], opts.timeout), jobs)):
            ns = 1e9 * row["seconds"] / allowed_steps(row["chi"])
            if i == "copy":
                copies[job["pay"]].append(ns)
                print(f"{'copy':>5} {job['pay']:3} {'':12} {row['seconds']:6.2f} {row['chi']:8} {ns:8.2f}", flush=True)
                continue
            row.update(index=i, pay=job["pay"], ratio=ns / statistics.median(copies[job["pay"]][-3:]),
                       op_class=requests[i][0], label=requests[i][1])
            results.append(row)
            print(f"{i:5} {job['pay']:3} {row['op_class']:12} {row['seconds']:6.2f} {row['chi']:8} {ns:8.2f} "
                  f"{row['ratio']:7.2f} {row['peak_mb']:6.0f}  {row['label']} -> {row['outcome'][:70]}", flush=True)
    print("copy loop ns/step, min / median / max: " + ", ".join(
        f"pay {p}: {min(c):.1f} / {statistics.median(c):.1f} / {max(c):.1f}" for p, c in copies.items()))
    report(opts, results, requests, lambda r: r["ratio"], "x copy")
    classes = {"ratio > 3": [r for r in results if r["ratio"] > 3 and not r.get("crash")],
               "killed/crashed": [r for r in results if r.get("crash")],
               f"status 0 after > {opts.slow}s": [r for r in results if r["status"] == 0 and r["seconds"] > opts.slow],
               "generator faults": [r for r in results if r["status"] == -1]}
    print(f"\n{len(requests)} requests, {len(results)} runs (seed {opts.seed}, jobs {opts.jobs})")
    for name, rows in classes.items():
        print(f"{name}: {len(rows)} {dict(Counter(r['op_class'] for r in rows)) if rows else ''}")
        for r in sorted(rows, key=lambda r: -r["ratio"]):
            print(f"    #{r['index']} pay {r['pay']} {r['op_class']:12} {r['ratio']:7.2f}x {r['seconds']:6.2f}s "
                  f"{r['chi']:7} chi  {r['label']} -> {r['outcome'][:60]}")
    outcomes = Counter(r["outcome"][:50] if r["status"] else "status 0" for r in results)
    print("outcomes:", json.dumps(dict(outcomes.most_common()), indent=1, ensure_ascii=False))


def memory_mode(opts):
    requests = {i: generate(opts.seed, i, memory=True) for i in indexes(opts)}
    jobs = [(i, {"source": requests[i][2], "k": REP, "pay": 0, "decimals": requests[i][3], "metered": False})
            for i in requests]
    print(f"{'req':>5} {'class':12} {'sec':>6} {'heldMB':>7} {'/ cap':>6} {'peakMB':>6}  shape: operation -> outcome")
    results = []
    with ThreadPoolExecutor(opts.jobs) as pool:
        for (i, job), row in zip(jobs, pool.map(lambda ij: run_job(ij[1], opts.timeout), jobs)):
            held = row.get("held", row["peak_mb"] * 2 ** 20)
            row.update(index=i, pay=0, over=held / CAP, op_class=requests[i][0], label=requests[i][1])
            results.append(row)
            print(f"{i:5} {row['op_class']:12} {row['seconds']:6.2f} {held / 2 ** 20:7.0f} {row['over']:6.2f} "
                  f"{row['peak_mb']:6.0f}  {row['label']} -> {row['outcome'][:70]}", flush=True)
    report(opts, results, requests, lambda r: r["over"], "/ cap")
    over = [r for r in results if r["over"] > 1.3]
    print(f"\n{len(results)} requests; held over 1.3 x cap: {len(over)}; killed/crashed: "
          f"{sum(1 for r in results if r.get('crash'))}; status 0: {sum(1 for r in results if r['status'] == 0)}")


def report(opts, results, requests, measure, unit):
    """The worst runs that ended by themselves, then the children killed or
    crashed, each with its full program."""
    ended = sorted((r for r in results if not r.get("crash")), key=measure, reverse=True)[:opts.worst]
    killed = [r for r in results if r.get("crash")][:opts.worst]
    print(f"\nworst {len(ended)} by {unit}, then {len(killed)} killed or crashed:")
    for r in ended + killed:
        print(f"\n#{r['index']} pay {r['pay']} {measure(r):.2f} {unit}, {r['seconds']:.2f}s, {r['op_class']}: "
              f"{r['label']} -> {r['outcome']}\n{requests[r['index']][2]}")


if __name__ == "__main__":
    main()
