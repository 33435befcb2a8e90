#!/usr/bin/env python3
"""Runs growth_bench and the same operations under CPython; prints both times
and the ratio (ours / CPython) per operation.

usage: bench/growth_compare.py [path/to/growth_bench] [benchmark filter]
"""
import decimal
import json
import math
import operator
import pathlib
import random
import subprocess
import sys
import timeit

ROOT = pathlib.Path(__file__).resolve().parents[1]
ITEMS = 131072
HAYSTACK = 4000000
NEEDLE = 5000
PROBES = 1000


def mixed_numbers():
    items = [i if i % 2 == 0 else i + 0.5 for i in range(ITEMS)]
    random.Random(7).shuffle(items)
    return items


def wide_ints_and_floats():
    base = 1 << 60
    items = [base + i * 7 + 1 if i % 2 == 0 else math.ldexp(1.0, 60) + i * 4096.0 for i in range(ITEMS)]
    random.Random(8).shuffle(items)
    return items


def decimals_and_floats():
    order = (k * 40503 % ITEMS for k in range(ITEMS))
    return [decimal.Decimal(f"{i}.25") if i % 2 == 0 else i + 0.5 for i in order]


def modular_pow_4096():
    base, exponent, modulus = (1 << 4000) // 3, (1 << 4096) - 3, (1 << 4095) + 12345
    return lambda: pow(base, exponent, modulus)


def int_set_and_float_set():
    ints = {i * 2 for i in range(10000)}
    floats = {i + (5000.0 if i % 2 == 0 else 0.25) for i in range(10000)}
    return ints, floats


def probe_set(make):
    items = {make(i * 2) for i in range(ITEMS)}
    probes = [make(i * 263) for i in range(PROBES)]
    return lambda: sum(map(items.__contains__, probes))


def dict_contains():
    d = dict.fromkeys(range(0, 2000000, 2))
    probes = [i * 1999 for i in range(PROBES)]
    return lambda: sum(map(d.__contains__, probes))


def str_sets():
    a = {f"key-{i * 2}" for i in range(ITEMS)}
    b = {f"key-{i * 3}" for i in range(ITEMS)}
    return lambda: a & b


def mixed_number_tuples():
    half = ITEMS // 2
    return [(i % 97, float(i)) for i in range(half)] + [(i % 97, i) for i in range(half)]


def bool_decimal_tuples():
    half = ITEMS // 2
    return [(i % 2 == 1, decimal.Decimal(i)) for i in range(half)] + [(i % 2, float(i)) for i in range(half)]


def mixed_frozensets():
    half = ITEMS // 2
    return ([frozenset({float(i), float(3 * i + 1)}) for i in range(half)]
            + [frozenset({i, 3 * i + 1}) for i in range(half)])


def tuples_meeting_one_float(base_bits=60):
    b = 1 << base_bits
    f = float(b)
    return ([(b + j, b + k) for j in range(256) for k in range(256)]
            + [(f, b + k) for k in range(ITEMS // 2 - 1)] + [(f, f)])


def frozensets_meeting_one_float(base_bits=60):
    b = 1 << base_bits
    f = float(b)
    half = ITEMS // 2
    return [frozenset({b + i, b + i + 1}) for i in range(half)] + [frozenset({f, 1.5 + i}) for i in range(half)]


def mixed_tuple_sets(shift=ITEMS // 2):
    a = {(i % 97, float(i)) for i in range(ITEMS)}
    b = {(i % 97, i) for i in range(shift, ITEMS + shift)}
    return a, b


def mixed_number_pair(i):
    return (i, i) if i % 3 == 0 else (i % 97, float(i))


def mixed_number_frozenset(i):
    return frozenset({i, 3 * i + 1}) if i % 3 == 0 else frozenset({float(i), float(3 * i + 1)})


def decimal_int_or_float(i):
    if i % 3 == 0:
        return decimal.Decimal(i)
    return i if i % 3 == 1 else i + 0.25


def set_method_calls(method, stride, offset, make=lambda i: i):
    s = {make(i) for i in range(0, 2 * ITEMS, 2)}
    probes = [make((i * stride + offset) % (2 * ITEMS)) for i in range(PROBES)]

    def run():
        t = s.copy()
        call = getattr(t, method)
        for p in probes:
            call(p)
    return run


def on(make, op):
    """A case: the data made once, then op over it in each run."""
    def case():
        data = make()
        return lambda: op(data)
    return case


def on_pair(make, op):
    return on(make, lambda ab: op(*ab))


H = "a" * HAYSTACK
N = "a" * NEEDLE + "b"
HB, NB = H.encode(), N.encode()
CASES = {
    "BM_StrContainsAdversarial": lambda: (lambda: N in H),
    "BM_BytesContainsAdversarial": lambda: (lambda: NB in HB),
    "BM_StrFindAdversarial": lambda: (lambda: H.find(N)),
    "BM_StrSplitAdversarial": lambda: (lambda: H.split(N)),
    "BM_StrReplaceAdversarial": lambda: (lambda: H.replace(N, "x")),
    "BM_SetOfMixedIntsFloats": on(mixed_numbers, set),
    "BM_SetOfWideIntsAndFloats": on(wide_ints_and_floats, set),
    "BM_IntSetAndFloatSet": on_pair(int_set_and_float_set, operator.and_),
    "BM_IntSetOrFloatSet": on_pair(int_set_and_float_set, operator.or_),
    "BM_SortedMixedIntsFloats": on(mixed_numbers, sorted),
    "BM_SortedDecimalsFloats": on(decimals_and_floats, sorted),
    "BM_MinMaxDecimalsFloats": on(decimals_and_floats, lambda items: (min(items), max(items))),
    "BM_ModularPow4096": modular_pow_4096,
    "BM_DictContainsIntKey": dict_contains,
    "BM_FloatSetContains": lambda: probe_set(lambda i: i * 0.37),
    "BM_StrSetContains": lambda: probe_set(lambda i: f"key-{i}"),
    "BM_StrSetIntersection": str_sets,
    "BM_SetOfMixedNumberTuples": on(mixed_number_tuples, set),
    "BM_SetOfBoolDecimalTuples": on(bool_decimal_tuples, set),
    "BM_SetOfMixedFrozensets": on(mixed_frozensets, set),
    "BM_SetOfTuplesMeetingOneFloat": on(tuples_meeting_one_float, set),
    "BM_SetOfWideTuplesMeetingOneFloat": on(lambda: tuples_meeting_one_float(100), set),
    "BM_SetOfFrozensetsMeetingOneFloat": on(frozensets_meeting_one_float, set),
    "BM_SetOfWideFrozensetsMeetingOneFloat": on(lambda: frozensets_meeting_one_float(100), set),
    "BM_MixedTupleSetAnd": on_pair(mixed_tuple_sets, operator.and_),
    "BM_MixedTupleSetOr": on_pair(mixed_tuple_sets, operator.or_),
    "BM_MixedTupleSetSub": on_pair(mixed_tuple_sets, operator.sub),
    "BM_MixedTupleSetXor": on_pair(mixed_tuple_sets, operator.xor),
    "BM_MixedTupleSetEq": on_pair(lambda: mixed_tuple_sets(0), operator.eq),
    "BM_MixedTupleSetLe": on_pair(lambda: mixed_tuple_sets(0), operator.le),
    "BM_SetAddNew": lambda: set_method_calls("add", 2 * 263, 1),
    "BM_SetAddPresent": lambda: set_method_calls("add", 2 * 263, 0),
    "BM_SetDiscard": lambda: set_method_calls("discard", 2 * 263, 0),
    "BM_TupleSetAddNew": lambda: set_method_calls("add", 2 * 263, 1, lambda i: (i // 7, i)),
    "BM_TupleSetDiscard": lambda: set_method_calls("discard", 2 * 263, 0, lambda i: (i // 7, i)),
    "BM_IntFloatSetAddNew": lambda: set_method_calls("add", 2 * 263, 1, lambda i: i if i % 4 == 0 else i + 0.5),
    "BM_MixedTupleSetAddNew": lambda: set_method_calls("add", 2 * 263, 1, mixed_number_pair),
    "BM_MixedTupleSetDiscard": lambda: set_method_calls("discard", 2 * 263, 0, mixed_number_pair),
    "BM_MixedFrozensetSetAddNew": lambda: set_method_calls("add", 2 * 263, 1, mixed_number_frozenset),
    "BM_MixedFrozensetSetDiscard": lambda: set_method_calls("discard", 2 * 263, 0, mixed_number_frozenset),
    "BM_DecimalSetAddNew": lambda: set_method_calls("add", 2 * 263, 1, decimal_int_or_float),
    "BM_StrRepeat": lambda: (lambda: "ab" * 65536),
}


def cpython_ms(make):
    run = make()
    number = 1
    while timeit.timeit(run, number=number) < 0.05 and number < 1 << 20:
        number *= 4
    return min(timeit.repeat(run, number=number, repeat=5)) / number * 1e3


def main() -> int:
    bench = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else ROOT / "build" / "bench" / "growth_bench"
    pattern = sys.argv[2] if len(sys.argv) > 2 else "."
    out = subprocess.run([str(bench), "--benchmark_format=json", f"--benchmark_filter={pattern}"],
                         check=True, capture_output=True, text=True).stdout
    scale = {"ms": 1.0, "us": 1e-3, "ns": 1e-6}
    print(f"{'operation':32} {'ours ms':>12} {'CPython ms':>12} {'ratio':>8}")
    for b in json.loads(out)["benchmarks"]:
        ours = b["real_time"] * scale[b["time_unit"]]
        theirs = cpython_ms(CASES[b["name"]])
        print(f"{b['name']:32} {ours:12.4f} {theirs:12.4f} {ours / theirs:8.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
