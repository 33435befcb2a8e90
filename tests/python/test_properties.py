"""Property tests: arbitrary texts never crash the module, and each function
only ever answers with its documented result or exception class."""
import json

from hypothesis import given, settings
from hypothesis import strategies as st

# Any code point but lone surrogates (those are refused before the call).
texts = st.text(alphabet=st.characters(blacklist_categories=("Cs",)), max_size=200)
json_values = st.recursive(
    st.none() | st.booleans() | st.integers() | st.floats(allow_nan=False) | texts,
    lambda children: st.lists(children, max_size=4) | st.dictionaries(texts, children, max_size=4),
    max_leaves=20,
)


@settings(max_examples=300, deadline=None)
@given(texts, texts)
def test_policy_is_exact_equality(native, bytecode, schedule):
    expected = bytecode == "vvm-1" and schedule == "vvm-gas-1"
    assert native.supports_execution_policy(bytecode, schedule) is expected


@settings(max_examples=300, deadline=None)
@given(texts)
def test_any_text_is_valid_or_an_ir_error(native, text):
    try:
        assert native.validate_module_ir_json(text) is None
    except native.VmIrValidationError as error:
        assert len(error.args) == 1 and isinstance(error.args[0], str) and error.args[0]


@settings(max_examples=300, deadline=None)
@given(json_values)
def test_any_json_document_is_valid_or_an_ir_error(native, value):
    try:
        native.validate_module_ir_json(json.dumps(value))
    except native.VmIrValidationError as error:
        assert error.args[0]


@settings(max_examples=300, deadline=None)
@given(texts, st.one_of(texts, json_values.map(json.dumps)), st.none() | texts)
def test_any_artifacts_are_a_dict_or_a_runtime_error(native, module_name, text, input_source):
    try:
        result = native.validate_deployment_artifacts_json(module_name, text, input_source=input_source)
    except native.VmRuntimeExecutionError as error:
        assert len(error.args) == 1 and error.args[0]
    else:
        assert list(result) == ["source", "vm_ir_json"]


# Values that cross into contract code and back unchanged (dict keys the
# engine keeps apart that Python would merge, such as 1 and True, are avoided).
keys = st.none() | st.integers() | texts | st.binary(max_size=8)
boundary_values = st.recursive(
    st.none() | st.booleans() | st.integers(min_value=-(2**200), max_value=2**200)
    | st.floats(allow_nan=False) | texts | st.binary(max_size=20),
    lambda children: st.lists(children, max_size=4) | st.tuples(children, children)
    | st.dictionaries(keys, children, max_size=4),
    max_leaves=20,
)


@settings(max_examples=300, deadline=None)
@given(boundary_values)
def test_values_round_trip_through_contract_code(native, interpreter, value):
    from boundary_values import echo_module, same
    from bundle_host import Host

    bundle = json.dumps({"con_echo": echo_module()})
    result = native.execute_bundle(bundle, "con_echo", "echo", [value], {}, {}, Host())
    assert result["status_code"] == 0, result["result"]
    assert same(result["result"], value)
