"""Generates tests/data/contracts/*.json from the case groups in
tests/gen/contract_cases/. Each case is contract source (translated to module
IR by tests/tools/py_to_ir.py, optionally edited to hold malformed nodes),
the calls to make, and what must come out: the result (by default computed
by running the same source under CPython) or the error message, and the raw
cost, written in the group files as the sum of the price-table entries it is
made of.

Run: python3 tests/gen/gen_contract_cases.py
"""

import copy
import math
import importlib.util
import json
import pathlib
import sys
import warnings

ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "tools"))
from py_to_ir import translate  # noqa: E402

OUT = ROOT / "tests" / "data" / "contracts"
FUZZ_SEEDS = ROOT / "fuzz" / "seeds" / "interpreter_fuzz"


class Tuple(tuple):
    """Marks a tuple argument in a call."""


def encode_value(v):
    if isinstance(v, float) and not math.isfinite(v):
        return {"float": repr(v)}
    if v is None or isinstance(v, (bool, str, float)):
        return v
    if isinstance(v, int):
        return v if -2**63 <= v < 2**64 else {"int": str(v)}
    if isinstance(v, list):
        return [encode_value(x) for x in v]
    if isinstance(v, tuple):
        return {"tuple": [encode_value(x) for x in v]}
    if isinstance(v, dict):
        return {"dict": [[encode_value(k), encode_value(x)] for k, x in v.items()]}
    if isinstance(v, (set, frozenset)):
        return {"set": [encode_value(x) for x in v]}
    if isinstance(v, bytes):
        return {"bytes": v.hex()}
    if isinstance(v, bytearray):
        return {"bytearray": v.hex()}
    raise ValueError("cannot encode " + repr(v))


def display(v):
    """The engine's display text of a value: str bare at every depth."""
    if v is None:
        return "None"
    if isinstance(v, bool):
        return "True" if v else "False"
    if isinstance(v, (int, str)):
        return str(v)
    if isinstance(v, bytes):
        return repr(v)
    if isinstance(v, list):
        return "[" + ", ".join(display(x) for x in v) + "]"
    if isinstance(v, tuple):
        return "(" + ", ".join(display(x) for x in v) + ("," if len(v) == 1 else "") + ")"
    if isinstance(v, dict):
        return "{" + ", ".join(display(k) + ": " + display(x) for k, x in v.items()) + "}"
    raise ValueError("no display text for " + repr(v))


TYPE_NAMES = {type(None): "none", bool: "bool", int: "int", str: "str", list: "list", tuple: "tuple",
              dict: "dict", bytes: "bytes"}


def show(v):
    return TYPE_NAMES[type(v)] + ":" + display(v)


class _Stub:
    def __init__(self, *a, **k):
        pass


def export(*args, **kwargs):
    if len(args) == 1 and callable(args[0]) and not kwargs:
        return args[0]
    return lambda f: f


def run_cpython(source, function, args, kwargs):
    warnings.filterwarnings("ignore", category=SyntaxWarning)
    namespace = {"export": export, "Hash": _Stub, "Variable": _Stub, "LogEvent": _Stub}
    exec(compile(source, "<contract>", "exec"), namespace)
    return namespace[function](*args, **kwargs)


CPYTHON = "<computed by CPython>"


def call(function, *args, result=CPYTHON, error=None, kwargs=None, encoded=None, storage=None, recorded=None,
         storage_removed=None):
    """A call; `storage`, `storage_removed` and `recorded` change the host's
    storage and recorded writes just before it (as other contracts of the
    request would)."""
    return {"function": function, "args": list(args), "kwargs": kwargs or {}, "result": result, "error": error,
            "encoded": encoded, "storage": storage, "recorded": recorded, "storage_removed": storage_removed}


def case(name, source, calls, cost, *, charges=None, build_error=None, edit=None, budget=None, env=None,
         stderr=None, context=None, storage=None, syscall_answers=None, host_calls=None, module_name="con_test",
         module_text=False, contract_answers=None, contracts=None):
    """`contracts` ({name: source}) are the other contracts a cross-contract
    call reaches: the host builds a new instance of the target (the case's
    own module included) for each call, as the bridge does for a call back
    into a contract that is running."""
    return dict(name=name, source=source, calls=calls if isinstance(calls, list) else [calls], cost=cost,
                charges=charges, build_error=build_error, edit=edit, budget=budget, env=env, stderr=stderr,
                context=context, storage=storage, syscall_answers=syscall_answers, host_calls=host_calls,
                module_name=module_name, module_text=module_text, contract_answers=contract_answers,
                contracts=contracts)


def set_fields(function=None, **fields):
    """An edit: sets `fields` on every node that already has them, in the
    function named `function` or in all functions."""
    def walk(node):
        if isinstance(node, dict):
            for key, value in fields.items():
                if key in node:
                    node[key] = value
            for v in node.values():
                walk(v)
        elif isinstance(node, list):
            for v in node:
                walk(v)
    return lambda ir: walk([f for f in ir["functions"] if function is None or f["name"] == function])


def scripted(answer):
    """A scripted host answer: {"error": message} as it is, else a value."""
    return answer if isinstance(answer, dict) and "error" in answer else {"value": encode_value(answer)}


def build(c):
    ir = translate(c["source"], c["module_name"])
    if c["edit"]:
        c["edit"](ir)
    out = {"name": c["name"]}
    if c["module_text"]:
        out["module_text"] = json.dumps(ir, separators=(",", ":"))
    else:
        out["module"] = ir
    calls = []
    for k in c["calls"]:
        entry = {"function": k["function"], "args": [encode_value(a) for a in k["args"]]}
        if k["kwargs"]:
            entry["kwargs"] = [[n, encode_value(v)] for n, v in k["kwargs"].items()]
        if k["error"] is not None:
            entry["error"] = k["error"]
        elif k["result"] == CPYTHON:
            entry["result"] = show(run_cpython(c["source"], k["function"], copy.deepcopy(k["args"]), k["kwargs"]))
        else:
            entry["result"] = k["result"]
        if k["encoded"] is not None:
            entry["encoded"] = k["encoded"]
        for key in ("storage", "recorded"):
            if k[key] is not None:
                entry[key] = {name: encode_value(v) for name, v in k[key].items()}
        if k["storage_removed"] is not None:
            entry["storage_removed"] = k["storage_removed"]
        calls.append(entry)
    out["calls"] = calls
    out["raw_cost"] = c["cost"]
    for key in ("charges", "build_error", "budget", "env", "stderr", "context", "host_calls"):
        if c[key] is not None:
            out[key] = c[key]
    if c["storage"] is not None:
        out["storage"] = {k: encode_value(v) for k, v in c["storage"].items()}
    if c["syscall_answers"] is not None:
        out["syscall_answers"] = {k: [scripted(a) for a in v] for k, v in c["syscall_answers"].items()}
    if c["contract_answers"] is not None:
        out["contract_answers"] = [scripted(a) for a in c["contract_answers"]]
    if c["contracts"] is not None:
        out["contracts"] = {name: translate(source, name) for name, source in c["contracts"].items()}
    return out


def main():
    OUT.mkdir(parents=True, exist_ok=True)
    FUZZ_SEEDS.mkdir(parents=True, exist_ok=True)
    for path in sorted((ROOT / "tests" / "gen" / "contract_cases").glob("*.py")):
        spec = importlib.util.spec_from_file_location(path.stem, path)
        group = importlib.util.module_from_spec(spec)
        spec.loader.exec_module(group)
        cases = [build(c) for c in group.CASES]
        (OUT / (path.stem + ".json")).write_text(json.dumps({"cases": cases}, indent=1, sort_keys=True) + "\n")
        # Every module that builds seeds the interpreter fuzz target.
        for c in cases:
            if "build_error" in c or "module" not in c:
                continue
            seed = FUZZ_SEEDS / (path.stem + "_" + c["name"] + ".json")
            seed.write_text(json.dumps(c["module"], separators=(",", ":"), sort_keys=True))


if __name__ == "__main__":
    main()
