"""A host method that calls execute_bundle again nests the new request in the
one whose host method runs: its calls count on top of the calls active
there, so a chain of such requests ends at the call limit, with the limit's
message as the innermost request's contract failure, at the same depth
whatever the build and wherever the native stack starts (reentry_chain.py
builds the chains)."""
import json
import os
import pathlib
import subprocess
import sys

import pytest

from reentry_chain import METHODS, run_chain

LIMIT = "RecursionError('maximum recursion depth exceeded')"
ENDLESS = 10**9
CHAIN_SCRIPT = pathlib.Path(__file__).resolve().parent / "reentry_chain.py"


def failed_levels(ends):
    return [level for level, status, _, _ in ends if status != 0]


@pytest.mark.parametrize("via", METHODS)
def test_a_chain_without_end_stops_at_the_limit(native, storage, via):
    ends = run_chain(native, via, 0, ENDLESS)
    # Request n runs its entry call as the n-th active call: the 257th is
    # refused before anything but the request's base charge, and every
    # request around it goes on as if its host method had done nothing else.
    assert ends[0] == [257, 1, LIMIT, 5000]
    assert [end[0] for end in ends] == list(range(257, 0, -1))
    assert failed_levels(ends) == [257]
    assert len({tuple(end[1:]) for end in ends[1:]}) == 1


@pytest.mark.parametrize("via,extra,levels,failed", [
    ("handle_syscall", 0, 256, []),       # 256 requests of one call each: the limit exactly
    ("handle_syscall", 0, 257, [257]),
    ("read_variable", 1, 128, []),        # two calls per request
    ("read_variable", 1, 129, [129]),
    ("handle_syscall", 2, 85, []),        # three calls per request: 255
    ("handle_syscall", 2, 86, [86]),      # the 86th fails at its second call
    # A load or an owner lookup runs before the entry call's code, which
    # counts from the request's start: each request adds one, and its own
    # calls come on top once the requests it started have ended.
    ("load_module_ir_json", 2, ENDLESS, [257, 256, 255]),
    ("get_owner", 0, 256, []),
])
def test_the_calls_of_nested_requests_add_up(native, storage, via, extra, levels, failed):
    ends = run_chain(native, via, extra, levels)
    assert failed_levels(ends) == failed
    assert all(result == LIMIT for _, status, result, _ in ends if status)


def test_a_thread_starts_from_nothing_after_a_chain_fails(native, storage):
    from reentry_chain import Chain, ChainHost

    class Raising(ChainHost):
        def handle_syscall(self, name, args, kwargs):
            super().handle_syscall(name, args, kwargs)
            raise RuntimeError(f"level {self.level}")

    chain = Chain(native, "handle_syscall", 0, 40)
    result = native.execute_bundle("{}", "con_nest", "f", [0, "handle_syscall"], {}, {}, Raising(chain, 39))
    assert (result["status_code"], result["result"]) == (1, "RuntimeError: level 39")
    assert run_chain(native, "handle_syscall", 0, ENDLESS)[0] == [257, 1, LIMIT, 5000]


def test_requests_started_by_argument_conversions_nest_too(native, storage):
    from bundle_host import Host
    from reentry_chain import MODULE

    levels = []

    class Starter:
        """Reading its class, as the conversion does, starts another request."""

        def __init__(self, level):
            self.level = level

        @property
        def __class__(self):
            levels.append(self.level)
            native.execute_bundle("{}", "con_nest", "f", [Starter(self.level + 1), "none"], {}, {},
                                  Host(modules={"con_nest": MODULE}))
            return int

    limit = sys.getrecursionlimit()
    sys.setrecursionlimit(100_000)
    try:
        with pytest.raises(native.VmRuntimeExecutionError):
            native.execute_bundle("{}", "con_nest", "f", [Starter(1), "none"], {}, {},
                                  Host(modules={"con_nest": MODULE}))
    finally:
        sys.setrecursionlimit(limit)
    # A request's entry call counts from its start: the 257th request's
    # conversion starts one past the limit, refused before it converts.
    assert levels == list(range(1, 258))
    assert run_chain(native, "handle_syscall", 0, ENDLESS)[0] == [257, 1, LIMIT, 5000]


def run_chain_script(*arguments, pad=0):
    env = dict(os.environ)
    env["PYTHONPATH"] = os.pathsep.join(filter(None, [env.get("PYTHONPATH"), str(CHAIN_SCRIPT.parent)]))
    # Environment strings sit above the main thread's first frame: padding
    # moves where its stack starts.
    for i in range(pad):
        env[f"VELN_TEST_PAD_{i}"] = "x" * 100_000
    out = subprocess.run([sys.executable, str(CHAIN_SCRIPT), *map(str, arguments)], env=env,
                         capture_output=True, text=True, timeout=600)
    assert out.returncode == 0, out.stderr
    return json.loads(out.stdout)


@pytest.mark.parametrize("via", ["handle_syscall", "load_module_ir_json"])
def test_the_chain_ends_alike_wherever_the_stack_starts(native, storage, via):
    here = run_chain(native, via, 0, ENDLESS)
    assert run_chain_script(via, 0, ENDLESS) == here
    assert run_chain_script(via, 0, ENDLESS, pad=10) == here
    for stack_bytes in (16 << 20, 256 << 20):
        assert run_chain_script(via, 0, ENDLESS, stack_bytes) == here
