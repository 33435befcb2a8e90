#!/usr/bin/env python3
"""Executes the example contracts with veln_vm_core._native.execute_bundle and
prints the result dictionaries.

The host is the in-memory test host (tests/python/bundle_host.py) over a
storage in which alice holds 1000 tokens; the platform's value classes are the
stand-ins under tests/python/host_types. Four calls, each one request:
con_quote.quote (pure arithmetic), con_token.balance_of (a storage read),
con_token.transfer (storage writes and an event, metered with a budget) and
con_registry.register (a cross-contract call into con_token). A contract that
fails is reported with status 1 like any other result; the script exits with
status 1 if the pure call does not succeed.
"""
import json
import pathlib
import pprint
import sys

HERE = pathlib.Path(__file__).resolve().parent
TESTS = HERE.parent / "tests" / "python"
sys.path[:0] = [str(TESTS / "host_types"), str(TESTS)]

from bundle_host import Host  # noqa: E402
from veln_vm_core import _native  # noqa: E402


def bundle(*names):
    return json.dumps({name: json.loads((HERE / "module_ir" / f"{name}.json").read_text()) for name in names})


def context(caller):
    return {"caller": caller, "signer": caller, "submission_name": None, "entry": None,
            "now": None, "block_num": 1, "block_hash": "00" * 32, "chain_id": "veln-example"}


CALLS = [
    ("con_quote", "quote", [1234], {"price": 3}, {"meter": True}),
    ("con_token", "balance_of", ["alice"], {}, {}),
    ("con_token", "transfer", [], {"amount": 10, "to": "bob"}, {"meter": True, "chi_budget_raw": 1_000_000}),
    ("con_registry", "register", ["alice.veln"], {}, {"meter": True}),
]


def main():
    statuses = []
    for module, function, args, kwargs, meter in CALLS:
        host = Host(storage={"con_token.balances:alice": 1000})
        result = _native.execute_bundle(bundle("con_quote", "con_registry", "con_token"), module, function, args,
                                        kwargs, context("alice"), host, **meter)
        print(f"== {module}.{function}(*{args!r}, **{kwargs!r}) {meter or ''}")
        pprint.pprint(result, sort_dicts=False)
        statuses.append(result["status_code"])
    return statuses[0]


if __name__ == "__main__":
    sys.exit(main())
