"""Repeated calls, on success and failure paths, must not leave references
behind: neither Python objects (sys.getallocatedblocks, and
sys.gettotalrefcount on debug builds) nor native memory (resident size)."""
import gc
import sys

import pytest

ROUNDS = 4000
# A leak of one object per call would show as at least ROUNDS blocks.
TOLERATED_BLOCKS = ROUNDS // 20


def total_refs():
    counter = getattr(sys, "gettotalrefcount", None)
    return counter() if counter else 0


def growth(call):
    for _ in range(50):  # warm caches (UTF-8 forms, interned texts, classes)
        call()
    gc.collect()
    blocks, refs = sys.getallocatedblocks(), total_refs()
    for _ in range(ROUNDS):
        call()
    gc.collect()
    return sys.getallocatedblocks() - blocks, total_refs() - refs


def raising(function, *args, expected=Exception, **kwargs):
    def call():
        try:
            function(*args, **kwargs)
        except expected:
            pass
        else:
            raise AssertionError("expected an error")

    return call


def assert_no_leak(call):
    blocks, refs = growth(call)
    assert blocks < TOLERATED_BLOCKS
    assert refs < TOLERATED_BLOCKS


def test_runtime_info_does_not_leak(native):
    assert_no_leak(native.runtime_info_json)


def test_policy_does_not_leak(native):
    assert_no_leak(lambda: native.supports_execution_policy("vvm-1", "vvm-gas-1"))
    assert_no_leak(lambda: native.supports_execution_policy(bytecode_version="x", gas_schedule="\U0001f600"))


@pytest.mark.parametrize(
    "args,kwargs",
    [
        ((1, "vvm-gas-1"), {}),
        (("vvm-1", None), {}),
        (("\ud800", "vvm-gas-1"), {}),
        (("a", "b", "c"), {}),
        (("a",), {}),
        (("a",), {"bogus": 1}),
        (("a",), {"bytecode_version": "b"}),
    ],
)
def test_policy_failures_do_not_leak(native, args, kwargs):
    assert_no_leak(raising(native.supports_execution_policy, *args, **kwargs))


def test_arguments_keep_their_reference_counts(native):
    bytecode, schedule = "vvm-" + str(1), "vvm-gas-" + str(1)
    wrong = object()
    before = [sys.getrefcount(o) for o in (bytecode, schedule, wrong)]
    for _ in range(100):
        native.supports_execution_policy(bytecode, schedule)
        native.supports_execution_policy(bytecode_version=bytecode, gas_schedule=schedule)
        try:
            native.supports_execution_policy(bytecode, wrong)
        except TypeError:
            pass
    assert [sys.getrefcount(o) for o in (bytecode, schedule, wrong)] == before
