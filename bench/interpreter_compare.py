#!/usr/bin/env python3
"""Runs the interpreter loop benchmarks (interpreter_bench, metered, with the
in-memory test host) and the same contract sources under CPython (plain
function calls, unmetered), and prints ns per loop iteration for both and
their ratio (engine / CPython; below 1 the engine is faster).

usage: bench/interpreter_compare.py [path/to/interpreter_bench]
"""
import json
import pathlib
import subprocess
import sys
import timeit

ROOT = pathlib.Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "bench"))
from interpreter_loops import LOOPS, argument  # noqa: E402

SIZES = {"fib_calls": 20}
DEFAULT_SIZE = 10000
KIND = {"fib_calls": "fib"}


def cpython_ns_per_iteration(name, loop):
    namespace = {}
    exec(compile(loop["source"], name, "exec"), namespace)
    run = namespace["run"]
    n = SIZES.get(name, DEFAULT_SIZE)
    arg = argument(loop["arg"], n)
    number = 5
    seconds = min(timeit.repeat(lambda: run(arg), number=number, repeat=15)) / number
    return seconds * 1e9 / loop["iterations"](n)


def engine_ns_per_iteration(bench):
    # The fastest of several repetitions on both sides: other work on the
    # machine only ever adds time.
    out = subprocess.run([str(bench), "--benchmark_format=json", "--benchmark_filter=Interpreter",
                          "--benchmark_repetitions=7"],
                         check=True, capture_output=True, text=True).stdout
    results = {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("run_type") != "iteration" or b.get("error_occurred") or "items_per_second" not in b:
            continue
        name = b["run_name"].split("/")[0].replace("BM_Interpreter_", "")
        results[name] = min(results.get(name, float("inf")), 1e9 / b["items_per_second"])
    return results


def main():
    bench = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else ROOT / "build" / "bench" / "interpreter_bench"
    engine = engine_ns_per_iteration(bench)
    print(f"{'loop':<20}{'engine ns/it':>14}{'CPython ns/it':>15}{'ratio':>8}")
    for name, loop in LOOPS.items():
        cpy = cpython_ns_per_iteration(name, loop)
        eng = engine.get(name)
        if eng is None:
            print(f"{name:<20}{'(skipped)':>14}{cpy:>15.1f}")
            continue
        print(f"{name:<20}{eng:>14.1f}{cpy:>15.1f}{eng / cpy:>8.2f}")


if __name__ == "__main__":
    main()
