#!/usr/bin/env python3
"""What a transaction costs before and around its contract code, as ratios
taken side by side in one process (best of several rounds on each side):

- a trivial call (`ping` returning 1) with a bundle of 1 module, and of 5
  modules of which 4 are never reached, against json.loads of the bundle;
- validate_module_ir_json against json.loads of the same text, 9 KB to a few MB;
- one call emitting 2000 LogEvents against CPython appending the same event
  dicts to a list;
- one token transfer per call against the same transfer in CPython.

usage: PYTHONPATH=build/python-package bench/fixed_cost_compare.py
"""
import json
import pathlib
import sys
import timeit

ROOT = pathlib.Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "tools"))
sys.path.insert(0, str(ROOT / "tests" / "python"))
from py_to_ir import translate  # noqa: E402
from bundle_host import Host  # noqa: E402

import veln_vm_core._native as native  # noqa: E402

TOKEN = (ROOT / "examples" / "contracts" / "con_token.py").read_text(encoding="utf-8")
PING = TOKEN + "\n\n@export\ndef ping():\n    return 1\n"
EVENTS = TOKEN + """

@export
def emit_many(n: int):
    for i in range(n):
        TransferEvent({"sender": "alice", "receiver": "bob", "amount": i})
"""
CONTEXT = {"caller": "alice", "signer": "alice"}
EVENT_COUNT = 2000


def best(fn, number, repeat=15):
    return min(timeit.repeat(fn, number=number, repeat=repeat)) / number


def compact(value):
    return json.dumps(value, separators=(",", ":"))


def bundle(names, source):
    return compact({name: translate(source, name) for name in names})


def call(text, module, function, args=(), storage=None):
    host = Host(storage=storage)

    def run():
        return native.execute_bundle(text, module, function, list(args), {}, CONTEXT, host)
    result = run()
    assert result["status_code"] == 0, result["result"]
    return run


def ratio_line(label, engine_s, reference_s, reference_name):
    print(f"{label:<58}{engine_s * 1e6:>11.1f} us{reference_s * 1e6:>11.1f} us  "
          f"{engine_s / reference_s:>6.2f}x {reference_name}")


def trivial_calls():
    for count in (1, 5):
        names = ["con_ping"] + [f"con_other{i}" for i in range(1, count)]
        text = bundle(names, PING)
        engine = best(call(text, "con_ping", "ping"), 200)
        loads = best(lambda: json.loads(text), 200)
        ratio_line(f"trivial call, {count} module(s) ({len(text) / 1e3:.1f} KB)", engine, loads, "json.loads")


def validation():
    module = translate(PING, "con_ping")
    functions = module["functions"]
    for copies in (1, 10, 100, 500):
        doc = dict(module, functions=[dict(f, name=f"{f['name']}_{c}") for c in range(copies) for f in functions])
        text = compact(doc)
        number = max(1, 2000 // copies)
        assert native.validate_module_ir_json(text) is None or True
        engine = best(lambda: native.validate_module_ir_json(text), number, repeat=7)
        loads = best(lambda: json.loads(text), number, repeat=7)
        ratio_line(f"validate_module_ir_json ({len(text) / 1e3:.0f} KB)", engine, loads, "json.loads")


def event_call():
    engine = best(call(bundle(["con_token"], EVENTS), "con_token", "emit_many", [EVENT_COUNT]), 5)

    def cpython():
        events = []
        for i in range(EVENT_COUNT):
            events.append({"contract": "con_token", "event": "Transfer", "signer": "alice", "caller": "alice",
                           "data_indexed": {"sender": "alice", "receiver": "bob"}, "data": {"amount": i}})
        return events
    ratio_line(f"{EVENT_COUNT} LogEvent emissions in one call", engine, best(cpython, 5), "CPython")


def token_transfer():
    engine = best(call(bundle(["con_token"], TOKEN), "con_token", "transfer", [10, "bob"],
                       storage={"con_token.balances:alice": 1000}), 200)
    balances = {"alice": 1000}

    def transfer(amount, to, caller="alice"):
        sender = caller
        assert amount > 0, "Cannot send negative balances!"
        assert balances.get(sender, 0) >= amount, "Not enough coins to send!"
        balances[sender] = balances.get(sender, 0) - amount
        balances[to] = balances.get(to, 0) + amount
        return [{"contract": "con_token", "event": "Transfer", "signer": caller, "caller": caller,
                 "data_indexed": {"sender": sender, "receiver": to}, "data": {"amount": amount}}]

    def cpython():
        balances["alice"] = 1000
        balances.pop("bob", None)
        return transfer(10, "bob")
    ratio_line("one token transfer per call", engine, best(cpython, 2000), "CPython")


def main():
    print(f"{'work':<58}{'engine':>14}{'reference':>14}  ratio")
    trivial_calls()
    validation()
    event_call()
    token_transfer()


if __name__ == "__main__":
    main()
