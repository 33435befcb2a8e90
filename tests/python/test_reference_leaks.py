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
