"""Recursion that nests native frames ends as a contract failure, never a
crash: the build recursion cases of tests/data/contracts/build_recursion.json
(run through execute_bundle with metering off, with a large budget and with
a budget that ends them first), and a host that re-enters execute_bundle
without end (with Python's own recursion limit lifted)."""
import json
import re
import sys
import threading

import pytest

from boundary_values import storage_module
from bundle_host import Host
from conftest import DATA_DIR

LIMIT = "RecursionError('maximum recursion depth exceeded')"
CASES = [c for c in json.loads((DATA_DIR / "contracts" / "build_recursion.json").read_text())["cases"]
         if c["build_error"] == LIMIT]


@pytest.mark.parametrize("meter,expected", [({}, LIMIT), ({"meter": True, "chi_budget_raw": 10**8}, LIMIT),
                                            ({"meter": True, "chi_budget_raw": 10**6}, "Out of chi.")],
                         ids=["unmetered", "large_budget", "small_budget"])
@pytest.mark.parametrize("case", CASES, ids=[c["name"] for c in CASES])
def test_build_recursion_fails_cleanly(native, interpreter, monkeypatch, case, meter, expected):
    for switch in case.get("env", []):
        monkeypatch.setenv(switch, "1")
    name = case["module"]["module_name"]
    bundle = json.dumps({name: case["module"], **case["contracts"]})
    result = native.execute_bundle(bundle, name, "f", [], {}, {}, Host(), **meter)
    assert (result["status_code"], result["result"]) == (1, expected)
    # The call count ends them, not the native stack: a thread with a far
    # larger stack gets the same result, costs included.
    assert on_large_stack(lambda: native.execute_bundle(bundle, name, "f", [], {}, {}, Host(), **meter)) == result


def on_large_stack(run):
    out = []
    previous = threading.stack_size(256 * 1024 * 1024)
    try:
        thread = threading.Thread(target=lambda: out.append(run()))
        thread.start()
        thread.join()
    finally:
        threading.stack_size(previous)
    return out[0]


def test_a_host_re_entering_without_end_fails_cleanly(native, storage):
    bundle = json.dumps({"con_store": storage_module()})
    host = Host(syscalls={"host.echo": lambda x, key: again(x)})

    def again(x):
        result = native.execute_bundle(bundle, "con_store", "call_host", [x], {}, {}, host)
        if result["status_code"] != 0:
            raise RuntimeError(result["result"])
        return result["result"]

    limit = sys.getrecursionlimit()
    sys.setrecursionlimit(10**6)
    try:
        # Each level converts a value nested 250 deep in and out as well.
        deep = 1
        for _ in range(250):
            deep = [deep]
        # The engine's refusal, as a contract failure: Python's own
        # RecursionError says only "maximum recursion depth exceeded".
        with pytest.raises(RuntimeError, match=re.escape(LIMIT)):
            again(deep)
    finally:
        sys.setrecursionlimit(limit)
