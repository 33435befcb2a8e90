"""Repeated calls, on success and failure paths, must not leave references
behind: neither Python objects (sys.getallocatedblocks, and
sys.gettotalrefcount on debug builds) nor native memory (resident size)."""
import gc
import sys

import pytest

ROUNDS = 4000
# A leak of one object per call would show as at least ROUNDS blocks; a
# twentieth of that is tolerated for caches that fill slowly.


def total_refs():
    counter = getattr(sys, "gettotalrefcount", None)
    return counter() if counter else 0


def growth(call, rounds=ROUNDS):
    for _ in range(max(50, rounds // 10)):  # warm caches (UTF-8 forms, interned texts, classes, free lists)
        call()
    gc.collect()
    blocks, refs = sys.getallocatedblocks(), total_refs()
    for _ in range(rounds):
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


def assert_no_leak(call, rounds=ROUNDS):
    blocks, refs = growth(call, rounds)
    assert blocks < rounds // 20
    assert refs < rounds // 20


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


def module_ir_text():
    from test_validation import minimal_module

    return __import__("json").dumps(minimal_module())


def test_module_ir_validation_does_not_leak(native):
    validate = native.validate_module_ir_json
    text = module_ir_text()
    assert_no_leak(lambda: validate(text))
    assert_no_leak(lambda: validate(module_ir_json=text))
    assert_no_leak(raising(validate, "", expected=native.VmIrValidationError))
    assert_no_leak(raising(validate, text.replace("veln_ir_v1", "v\U0001f600"), expected=native.VmIrValidationError))
    assert_no_leak(raising(validate, 5, expected=TypeError))
    assert_no_leak(raising(validate, "\udc00", expected=UnicodeEncodeError))
    assert_no_leak(raising(validate, text, text, expected=TypeError))


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * 4096


def test_large_documents_do_not_grow_the_process(native):
    validate = native.validate_module_ir_json
    import json

    from test_validation import minimal_module

    big = json.dumps(minimal_module(docstring="d" * (1 << 20)))
    bad = big.replace("veln_ir_v1", "veln_ir_v0")
    for _ in range(5):
        validate(big)
    before = resident_bytes()
    for _ in range(200):
        validate(big)
        try:
            validate(bad)
        except native.VmIrValidationError:
            pass
    # Each call handles over 1 MiB; a leak of the text per call would be 400 MiB.
    assert resident_bytes() - before < 64 << 20


def test_artifact_validation_does_not_leak(native):
    import json

    from test_validation import artifacts

    validate = native.validate_deployment_artifacts_json
    good = json.dumps(artifacts())
    with_input = json.dumps(artifacts(input_source="in\U0001f600"))
    failure = native.VmRuntimeExecutionError
    assert_no_leak(lambda: validate("con_example", good))
    assert_no_leak(lambda: validate("con_example", with_input, input_source="in\U0001f600", vm_profile="veln_vm_v1"))
    assert_no_leak(raising(validate, "con_example", good, input_source="x", expected=failure))
    assert_no_leak(raising(validate, "con_other", good, expected=failure))
    assert_no_leak(raising(validate, "con_example", "[", expected=failure))
    assert_no_leak(raising(validate, "con_example", good, vm_profile=None, expected=TypeError))
    assert_no_leak(raising(validate, "con_example", good, input_source=3, expected=TypeError))
    assert_no_leak(raising(validate, "con_example", expected=TypeError))
    assert_no_leak(raising(validate, "con_example", good, bogus=1, expected=TypeError))


def test_artifact_arguments_keep_their_reference_counts(native):
    import json

    from test_validation import artifacts

    validate = native.validate_deployment_artifacts_json
    name, text, profile = "con_" + "example", json.dumps(artifacts()), "veln_" + "vm_v1"
    before = [sys.getrefcount(o) for o in (name, text, profile)]
    results = [validate(name, text, vm_profile=profile) for _ in range(50)]
    for _ in range(50):
        try:
            validate(name, text, input_source=profile, vm_profile=profile)
        except native.VmRuntimeExecutionError:
            pass
    del results
    assert [sys.getrefcount(o) for o in (name, text, profile)] == before


# ---- execute_bundle: success, contract failure and Python error paths ------------
BUNDLE_ROUNDS = 10_000


def bundle_cases():
    import json

    from boundary_values import (Datetime, Timedelta, VondrelDecimal, VondrelFrozenSet, VondrelSet, add_key,
                                 changing_dict, echo_module, module, storage_module)
    from bundle_host import Host

    echo = json.dumps({"con_echo": echo_module()})
    store = json.dumps({"con_store": storage_module()})
    every_kind = [None, True, 7, 2**100, -(10**5000), 1.5, "t\U0001f600", b"b", bytearray(b"a"), (1, [2]),
                  {"k": {"n": None}}, VondrelDecimal("1.25"), Datetime(2024, 1, 2, 3, 4, 5, microsecond=6),
                  Timedelta(seconds=-3), VondrelSet([2, 1]), VondrelFrozenSet(["a"])]
    modules = {"con_echo": echo_module()}
    context = {"caller": "alice", "signer": "alice", "entry": ("con_echo", "echo"), "now": Datetime(2024, 1, 1),
               "block_num": 5, "block_hash": "ab", "chain_id": "c"}
    return {
        "success": [
            lambda n: n.execute_bundle(echo, "con_echo", "echo", [every_kind], {}, context, Host(modules), meter=True),
            lambda n: n.execute_bundle(echo, "con_echo", "echo", [], {"value": every_kind}, {}, Host(modules)),
            lambda n: n.execute_bundle(store, "con_store", "set_h", ["k", every_kind], {}, {}, Host(modules), meter=True),
        ],
        "contract failure": [
            lambda n: n.execute_bundle("{}", "con_missing", "f", [1], {}, context, Host(modules)),
            lambda n: n.execute_bundle(echo, "con_echo", "nothing", [every_kind], {}, context, Host(modules)),
            lambda n: n.execute_bundle(echo, "con_echo", "echo", [every_kind], {}, {}, Host(modules), meter=True,
                                       chi_budget_raw=6000),
            lambda n: n.execute_bundle("{}", "con_echo", "echo", [1], {}, {}, Host(), meter=True),
        ],
        "python error": [
            lambda n: n.execute_bundle(echo, "con_echo", "echo", (1,), {}, {}, Host(modules)),
            lambda n: n.execute_bundle(echo, "con_echo", "echo", [every_kind, object()], {}, {}, Host(modules)),
            lambda n: n.execute_bundle(echo, "con_echo", "echo", [], {"a": 1, 2: every_kind}, {}, Host(modules)),
            lambda n: n.execute_bundle(echo, "con_echo", "echo", [], {}, {"entry": ("a", "b", "c")}, Host(modules)),
            lambda n: n.execute_bundle(echo, "con_echo", "echo", [[changing_dict(add_key)]], {}, {}, Host(modules)),
            lambda n: n.execute_bundle('{"con_echo": [1, 2', "con_echo", "echo", [every_kind], {}, {}, Host(modules)),
            lambda n: n.execute_bundle(json.dumps({"con_echo": module("con_other")}), "con_echo", "echo", [],
                                       {}, {}, Host(modules)),
            lambda n: n.execute_bundle(store, "con_store", "ref", [], {}, {}, Host(modules)),
            lambda n: n.execute_bundle(echo, "con_echo", "echo", [], {}, {}, Host(modules), chi_budget_raw=-1),
        ],
    }


@pytest.mark.parametrize("path", ["success", "contract failure", "python error"])
def test_execute_bundle_does_not_leak(native, interpreter, path):
    calls = bundle_cases()[path]

    def call():
        for each in calls:
            try:
                each(native)
            except (TypeError, OverflowError, RuntimeError, native.VmRuntimeExecutionError):
                pass

    before = resident_bytes()
    assert_no_leak(call, BUNDLE_ROUNDS)
    # Every call converts a 5000-digit integer and a dozen containers; a leak
    # of them per call would be far above this.
    assert resident_bytes() - before < 32 << 20


def test_execute_bundle_arguments_keep_their_reference_counts(native):
    import json

    from boundary_values import VondrelDecimal, echo_module
    from bundle_host import Host

    echo = json.dumps({"con_echo": echo_module()})
    value, key, context, host = [VondrelDecimal("1"), "x" * 3], "k" + "ey", {"caller": "c" * 2}, Host()
    args, kwargs = [value], {key: value}
    faulty = echo[:-2]  # the bundle's text is held while modules are read from it, also when reading fails
    watched = (value, key, context, host, args, kwargs, value[0], echo, faulty)
    before = [sys.getrefcount(o) for o in watched]
    for _ in range(100):
        native.execute_bundle(echo, "con_echo", "echo", args, kwargs, context, host)
        native.execute_bundle(echo, "con_echo", "echo", args, {}, context, host)
        try:
            native.execute_bundle(echo, "con_echo", "echo", args, {1: value}, context, host)
        except TypeError:
            pass
        try:
            native.execute_bundle(faulty, "con_echo", "echo", args, {}, context, host)
        except native.VmRuntimeExecutionError:
            pass
    assert [sys.getrefcount(o) for o in watched] == before
