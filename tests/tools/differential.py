"""Differential test of the engine against CPython.

Each seed gives one generated contract program (program_generator). It runs
under CPython with the engine's deliberate departures encoded
(cpython_oracle) and, translated to module IR (py_to_ir), through
execute_bundle with metering on. Results must be equal (kinds and order
included), failures must be of the same kind (the engine's message mapped to
a Python exception class).

Run many programs locally, with reduced reproductions of every discrepancy:
    PYTHONPATH=build/python-package .venv/bin/python tests/tools/differential.py \
        --count 20000 [--start 0] [--reduce]
"""

import argparse
import collections
import copy
import json
import pathlib
import sys

HERE = pathlib.Path(__file__).resolve().parent
for path in (HERE, HERE.parent / "python", HERE.parent / "python" / "host_types",
             HERE.parents[1] / "build" / "python-package"):
    if str(path) not in sys.path:
        sys.path.append(str(path))

import cpython_oracle as oracle  # noqa: E402
from program_generator import generate  # noqa: E402
from py_to_ir import translate  # noqa: E402

MODULE = "con_diff"
BUDGET = 50_000_000


def canon(v):
    """A comparable form of a result: kinds kept apart, sets in their stored order."""
    t = type(v)
    name = t.__name__
    if t is float:
        return ("float", oracle.float_text(v))
    if t in (list, tuple):
        return (name, tuple(canon(x) for x in v))
    if t is dict:
        return ("dict", tuple((canon(k), canon(x)) for k, x in v.items()))
    if t in (set, frozenset):
        return (name, tuple(canon(x) for x in oracle.set_order(v)))
    if name in ("VondrelSet", "VondrelFrozenSet"):
        return ("set" if name == "VondrelSet" else "frozenset", tuple(canon(x) for x in v))
    return (name, v)


def run_engine(native, source, entry, args):
    from bundle_host import Host

    bundle = json.dumps({MODULE: translate(source, MODULE)})
    try:
        result = native.execute_bundle(bundle, MODULE, entry, copy.deepcopy(args), {}, {}, Host(), meter=True,
                                       chi_budget_raw=BUDGET)
    except TypeError as error:  # a result Python cannot hold, such as a dict with a list key
        return "skip", f"result not convertible: {error}"
    if result["status_code"] == 0:
        return "ok", result["result"]
    message = result["result"]
    kind = oracle.engine_error_kind(message)
    if kind in ("limit", "nan"):
        return "skip", message
    return "error", kind


def compare(native, source, entry, args):
    return judge(oracle.run(source, entry, args), run_engine(native, source, entry, args))


def judge(expected, actual):
    """None when the two outcomes agree (or the program left the shared subset),
    else a (signature, details) pair describing the discrepancy."""
    if "skip" in (expected[0], actual[0]):
        return None
    if expected[0] == actual[0] == "ok":
        if canon(expected[1]) == canon(actual[1]):
            return None
        return ("result",), f"CPython {expected[1]!r}\nengine  {actual[1]!r}"
    if expected == actual:
        return None
    return (expected[0], str(expected[1])[:40], actual[0], str(actual[1])[:60]), \
        f"CPython {expected[0]} {str(expected[1])[:300]}\nengine  {actual[0]} {str(actual[1])[:300]}"


def outcome(native, seed, ill_typed=0.015):
    """'agree-ok', 'agree-error', 'skip' or a discrepancy tuple, for one seed."""
    source, entry, args = generate(seed, ill_typed)
    expected = oracle.run(source, entry, args)
    actual = run_engine(native, source, entry, args)
    if "skip" in (expected[0], actual[0]):
        return "skip", (expected if expected[0] == "skip" else actual)[1]
    found = judge(expected, actual)
    if found is None:
        return ("agree-ok" if expected[0] == "ok" else "agree-error"), None
    return "discrepancy", (source, entry, args, found)


def reduce(native, source, entry, args, signature):
    """Deletes blocks and lines while the same discrepancy remains."""
    lines = source.splitlines()

    def indent(line):
        return len(line) - len(line.lstrip())

    changed = True
    while changed:
        changed = False
        for i in reversed(range(len(lines))):
            if i >= len(lines) or lines[i].startswith("@export") or lines[i].startswith("def f("):
                continue
            end = i + 1
            while end < len(lines) and lines[end].strip() and indent(lines[end]) > indent(lines[i]):
                end += 1
            for cut in ((i, end), (i, i + 1)):
                candidate = "\n".join(lines[:cut[0]] + lines[cut[1]:]) + "\n"
                try:
                    found = compare(native, candidate, entry, args)
                except Exception:  # noqa: BLE001 - an invalid candidate is simply not smaller
                    continue
                if found is not None and found[0] == signature:
                    lines = lines[:cut[0]] + lines[cut[1]:]
                    changed = True
                    break
    return "\n".join(lines) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--count", type=int, default=1000)
    parser.add_argument("--start", type=int, default=0)
    parser.add_argument("--reduce", action="store_true", help="reduce each discrepancy to fewer lines")
    parser.add_argument("--show", type=int, default=20, help="discrepancies printed in full")
    parser.add_argument("--seed", type=int, help="print one program and both outcomes")
    parser.add_argument("--ill-typed", type=float, default=0.015, help="share of deliberately ill-typed operands")
    options = parser.parse_args()
    import veln_vm_core._native as native

    if options.seed is not None:
        source, entry, args = generate(options.seed, options.ill_typed)
        print(f"{source}\n{entry}{tuple(args)!r}")
        print("CPython:", oracle.run(source, entry, args))
        from bundle_host import Host
        bundle = json.dumps({MODULE: translate(source, MODULE)})
        print("engine: ", native.execute_bundle(bundle, MODULE, entry, args, {}, {}, Host())["result"])
        return 0

    tally = collections.Counter()
    skips = collections.Counter()
    groups = collections.defaultdict(list)
    for seed in range(options.start, options.start + options.count):
        status, detail = outcome(native, seed, options.ill_typed)
        tally[status] += 1
        if status == "skip":
            skips[str(detail)[:60]] += 1
        elif status == "discrepancy":
            groups[detail[3][0]].append((seed, detail))
    print(f"programs: {options.count} (seeds {options.start}..{options.start + options.count - 1})")
    for key in ("agree-ok", "agree-error", "skip", "discrepancy"):
        print(f"  {key}: {tally[key]}")
    for reason, n in skips.most_common(8):
        print(f"    skip {n}: {reason}")
    shown = 0
    for signature, cases in sorted(groups.items(), key=lambda g: -len(g[1])):
        seed, (source, entry, args, (_, details)) = cases[0]
        print(f"\n=== {len(cases)} x {signature} (first seed {seed}, args {args!r})")
        if shown < options.show:
            shown += 1
            print(reduce(native, source, entry, args, signature) if options.reduce else source)
            print(details)
    return 1 if groups else 0


if __name__ == "__main__":
    sys.exit(main())
