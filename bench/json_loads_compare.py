#!/usr/bin/env python3
"""Compares module IR reading and validation with CPython's json.loads.

Builds a module IR document of a few MB (the kitchen-sink fixture with its
functions replicated under fresh names), times json.loads on it, runs
module_ir_bench on the very same text and prints the times and ratios.

usage: bench/json_loads_compare.py [path/to/module_ir_bench]
"""
import json
import os
import pathlib
import subprocess
import sys
import tempfile
import timeit

ROOT = pathlib.Path(__file__).resolve().parents[1]
FIXTURE = ROOT / "tests" / "data" / "module_ir" / "valid" / "kitchen_sink.json"
COPIES = 100


def document() -> str:
    doc = json.loads(FIXTURE.read_text(encoding="utf-8"))
    functions = []
    for copy in range(COPIES):
        for function in doc["functions"]:
            functions.append(dict(function, name=f"{function['name']}_{copy}"))
    doc["functions"] = functions
    return json.dumps(doc, separators=(",", ":"), sort_keys=True, ensure_ascii=False)


def main() -> int:
    bench = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else ROOT / "build" / "bench" / "module_ir_bench"
    text = document()
    runs = 20
    loads_ms = min(timeit.repeat(lambda: json.loads(text), number=1, repeat=runs)) * 1e3
    with tempfile.NamedTemporaryFile("w", suffix=".json", delete=False, encoding="utf-8") as f:
        f.write(text)
        path = f.name
    try:
        out = subprocess.run(
            [str(bench), "--benchmark_format=json", "--benchmark_repetitions=5",
             "--benchmark_report_aggregates_only=true"],
            env=dict(os.environ, VELN_MODULE_IR_BENCH_DOC=path),
            check=True, capture_output=True, text=True).stdout
    finally:
        os.unlink(path)
    results = {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("aggregate_name") == "min" or (b.get("aggregate_name") == "mean" and b["run_name"] not in results):
            scale = {"ms": 1.0, "us": 1e-3, "ns": 1e-6}[b["time_unit"]]
            results[b["run_name"]] = b["real_time"] * scale
    print(f"document: {len(text.encode('utf-8')) / 1e6:.2f} MB")
    print(f"json.loads (CPython {sys.version.split()[0]}): {loads_ms:.2f} ms (best of {runs})")
    for name, ms in results.items():
        print(f"{name}: {ms:.2f} ms  ratio to json.loads: {ms / loads_ms:.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
