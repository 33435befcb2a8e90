"""Argument binding and conversion of every function.

Binding failures must read exactly as CPython's for a Python function of the
same signature, so each function has a pure-Python twin used as the oracle.
"""
import inspect
import itertools

import pytest


def supports_execution_policy(bytecode_version, gas_schedule):
    pass


def validate_module_ir_json(module_ir_json):
    pass


def validate_deployment_artifacts_json(
    module_name, artifacts_json, *, input_source=None, vm_profile="veln_vm_v1"
):
    pass


def execute_bundle(
    bundle_ir_json,
    entry_module,
    function_name,
    args,
    kwargs,
    context,
    host,
    *,
    meter=False,
    chi_budget_raw=0,
    transaction_size_bytes=0,
):
    pass


TWINS = {
    "supports_execution_policy": supports_execution_policy,
    "validate_module_ir_json": validate_module_ir_json,
    "validate_deployment_artifacts_json": validate_deployment_artifacts_json,
    "execute_bundle": execute_bundle,
}

KEYWORD_POOL = {
    "supports_execution_policy": ["bytecode_version", "gas_schedule", "bogus"],
    "validate_module_ir_json": ["module_ir_json", "bogus"],
    "validate_deployment_artifacts_json": [
        "module_name",
        "artifacts_json",
        "input_source",
        "vm_profile",
        "bogus",
    ],
    "execute_bundle": ["bundle_ir_json", "function_name", "host", "meter", "transaction_size_bytes", "bogus"],
}


def binding_cases(name):
    """Every positional count up to one too many, with every keyword subset."""
    pool = KEYWORD_POOL[name]
    for positional in range(0, len(inspect.signature(TWINS[name]).parameters) + 2):
        for size in range(0, len(pool) + 1):
            for keywords in itertools.combinations(pool, size):
                yield tuple(f"p{i}" for i in range(positional)), {k: f"k_{k}" for k in keywords}


def oracle_error(twin, args, kwargs):
    try:
        twin(*args, **kwargs)
    except TypeError as error:
        return str(error)
    return None


@pytest.mark.parametrize("name", list(TWINS))
def test_binding_errors_match_cpython(native, name):
    function = getattr(native, name)
    checked = 0
    for args, kwargs in binding_cases(name):
        expected = oracle_error(TWINS[name], args, kwargs)
        if expected is None:
            continue
        with pytest.raises(TypeError) as info:
            function(*args, **kwargs)
        assert str(info.value) == expected, (args, kwargs)
        assert not getattr(info.value, "__notes__", None)
        checked += 1
    assert checked > 5


def test_keyword_order_does_not_matter(native):
    assert native.supports_execution_policy(gas_schedule="vvm-gas-1", bytecode_version="vvm-1") is True
    assert native.supports_execution_policy("vvm-1", gas_schedule="vvm-gas-1") is True


def test_keywords_through_a_mapping(native):
    kwargs = {"bytecode_version": "vvm-1", "gas_schedule": "vvm-gas-1"}
    assert native.supports_execution_policy(**kwargs) is True


def test_runtime_info_json_takes_no_arguments(native):
    with pytest.raises(TypeError, match=r"runtime_info_json\(\) takes no arguments \(1 given\)"):
        native.runtime_info_json(1)
    with pytest.raises(TypeError, match=r"runtime_info_json\(\) takes no keyword arguments"):
        native.runtime_info_json(x=1)


class StrSubclass(str):
    pass


WRONG_VALUES = [
    (5, "int"),
    (None, "None"),
    (b"vvm-1", "bytes"),
    (bytearray(b"x"), "bytearray"),
    (["vvm-1"], "list"),
    (1.5, "float"),
    (True, "bool"),
    (object(), "object"),
]


def assert_argument_error(error, function, parameter, expected, type_name):
    assert type(error) is TypeError
    assert str(error) == f"{function}() argument '{parameter}' must be {expected}, not {type_name}"
    assert error.__notes__ == [f"while processing '{parameter}'"]


@pytest.mark.parametrize("value,type_name", WRONG_VALUES)
@pytest.mark.parametrize("position", [0, 1])
def test_policy_rejects_non_str(native, value, type_name, position):
    args = ["vvm-1", "vvm-gas-1"]
    args[position] = value
    parameter = ["bytecode_version", "gas_schedule"][position]
    with pytest.raises(TypeError) as info:
        native.supports_execution_policy(*args)
    assert_argument_error(info.value, "supports_execution_policy", parameter, "str", type_name)


def test_parameters_convert_in_declaration_order(native):
    # Both are wrong; the first declared is reported even when passed last.
    with pytest.raises(TypeError) as info:
        native.supports_execution_policy(gas_schedule=1, bytecode_version=2)
    assert info.value.__notes__ == ["while processing 'bytecode_version'"]


def test_str_subclass_is_accepted(native):
    assert native.supports_execution_policy(StrSubclass("vvm-1"), StrSubclass("vvm-gas-1")) is True


@pytest.mark.parametrize("text", ["\ud800", "vvm-1\udfff", "\udc80abc"])
def test_lone_surrogates_raise_the_encoders_error(native, text):
    with pytest.raises(UnicodeEncodeError) as info:
        native.supports_execution_policy("vvm-1", text)
    assert "surrogates not allowed" in str(info.value)
    assert info.value.__notes__ == ["while processing 'gas_schedule'"]


def test_binding_error_comes_before_conversion(native):
    with pytest.raises(TypeError) as info:
        native.supports_execution_policy(1, 2, 3)
    assert str(info.value) == "supports_execution_policy() takes 2 positional arguments but 3 were given"


@pytest.mark.parametrize("value,type_name", WRONG_VALUES)
def test_module_ir_json_rejects_non_str(native, value, type_name):
    function = native.validate_module_ir_json
    with pytest.raises(TypeError) as info:
        function(value)
    assert_argument_error(info.value, "validate_module_ir_json", "module_ir_json", "str", type_name)


@pytest.mark.parametrize("value,type_name", WRONG_VALUES)
@pytest.mark.parametrize("parameter", ["module_name", "artifacts_json"])
def test_artifacts_reject_non_str(native, value, type_name, parameter):
    function = native.validate_deployment_artifacts_json
    kwargs = {"module_name": "con_token", "artifacts_json": "{}", parameter: value}
    with pytest.raises(TypeError) as info:
        function(**kwargs)
    assert_argument_error(info.value, "validate_deployment_artifacts_json", parameter, "str", type_name)


@pytest.mark.parametrize("value,type_name", [v for v in WRONG_VALUES if v[0] is not None])
def test_input_source_accepts_str_or_none_only(native, value, type_name):
    function = native.validate_deployment_artifacts_json
    with pytest.raises(TypeError) as info:
        function("con_token", "{}", input_source=value)
    assert_argument_error(
        info.value, "validate_deployment_artifacts_json", "input_source", "str or None", type_name
    )


@pytest.mark.parametrize("value,type_name", WRONG_VALUES)
def test_vm_profile_accepts_str_only(native, value, type_name):
    function = native.validate_deployment_artifacts_json
    with pytest.raises(TypeError) as info:
        function("con_token", "{}", vm_profile=value)
    assert_argument_error(info.value, "validate_deployment_artifacts_json", "vm_profile", "str", type_name)


def test_artifact_parameters_convert_in_declaration_order(native):
    function = native.validate_deployment_artifacts_json
    with pytest.raises(TypeError) as info:
        function(vm_profile=None, input_source=1, artifacts_json=2, module_name=3)
    assert info.value.__notes__ == ["while processing 'module_name'"]
    with pytest.raises(TypeError) as info:
        function("m", "{}", vm_profile=None, input_source=1)
    assert info.value.__notes__ == ["while processing 'input_source'"]
    with pytest.raises(UnicodeEncodeError) as info:
        function("m", "{}", vm_profile="\ud800")
    assert info.value.__notes__ == ["while processing 'vm_profile'"]


# ---- execute_bundle's scalar parameters -------------------------------------------
# `args` given as a tuple fails right after the parameters are converted, so a
# call with it shows whether the parameters before it were accepted.
ARGS_REFUSAL = "'tuple' object is not an instance of 'list'"


def bundle_call(native, **changes):
    arguments = {"bundle_ir_json": "{}", "entry_module": "con_x", "function_name": "f", "args": (),
                 "kwargs": {}, "context": {}, "host": None, **changes}
    return native.execute_bundle(**arguments)


@pytest.mark.parametrize("value,type_name", WRONG_VALUES)
@pytest.mark.parametrize("parameter", ["bundle_ir_json", "entry_module", "function_name"])
def test_bundle_texts_reject_non_str(native, value, type_name, parameter):
    with pytest.raises(TypeError) as info:
        bundle_call(native, **{parameter: value})
    assert_argument_error(info.value, "execute_bundle", parameter, "str", type_name)


@pytest.mark.parametrize("value,type_name", [(1, "int"), (0, "int"), (None, "None"), ("True", "str"), (1.0, "float")])
def test_meter_accepts_only_bool(native, value, type_name):
    with pytest.raises(TypeError) as info:
        bundle_call(native, meter=value)
    assert_argument_error(info.value, "execute_bundle", "meter", "bool", type_name)


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


@pytest.mark.parametrize("parameter", ["chi_budget_raw", "transaction_size_bytes"])
@pytest.mark.parametrize(
    "value,error",
    [(-1, OverflowError), (2**64, OverflowError), (Index(-5), OverflowError), ("1", TypeError),
     (1.0, TypeError), (None, TypeError), (True, None), (0, None), (2**64 - 1, None), (Index(7), None)],
)
def test_counters_take_unsigned_64_bit_integers(native, parameter, value, error):
    with pytest.raises(error or TypeError) as info:
        bundle_call(native, **{parameter: value})
    if error is None:
        assert str(info.value) == ARGS_REFUSAL
    else:
        assert type(info.value) is error
        assert info.value.__notes__ == [f"while processing '{parameter}'"]


def test_bundle_parameters_convert_in_declaration_order(native):
    with pytest.raises(TypeError) as info:
        bundle_call(native, transaction_size_bytes="x", chi_budget_raw="x", meter=1, function_name=5)
    assert info.value.__notes__ == ["while processing 'function_name'"]
    with pytest.raises(TypeError) as info:
        bundle_call(native, transaction_size_bytes="x", chi_budget_raw="x", meter=1)
    assert info.value.__notes__ == ["while processing 'meter'"]
    with pytest.raises(OverflowError) as info:
        bundle_call(native, transaction_size_bytes="x", chi_budget_raw=-1)
    assert info.value.__notes__ == ["while processing 'chi_budget_raw'"]
