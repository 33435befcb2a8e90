"""validate_module_ir_json and validate_deployment_artifacts_json through Python:
what crosses the boundary (arguments, results, exception classes, messages,
texts with NUL and non-BMP characters). The checks themselves are tested in
C++ (tests/data/ir/*.cases and the module IR fixtures)."""
import copy
import hashlib
import json

import pytest



def sha(text):
    return hashlib.sha256(text.encode("utf-8")).hexdigest()


def span():
    return {"line": 1, "col": 0, "end_line": 1, "end_col": 10}


def minimal_module(module_name="con_example", source="x = 1\n", **changes):
    document = {
        "ir_version": "veln_ir_v1",
        "vm_profile": "veln_vm_v1",
        "host_catalog_version": "veln_vm_v1_host_v1",
        "module_name": module_name,
        "source_hash": sha(source),
        "imports": [],
        "global_declarations": [],
        "functions": [
            {
                "node": "function",
                "span": span(),
                "name": "get",
                "visibility": "export",
                "parameters": [],
                "body": [
                    {
                        "node": "return",
                        "span": span(),
                        "value": {"node": "constant", "span": span(), "value_type": "str", "value": "hi"},
                    }
                ],
            }
        ],
        "module_body": [],
        "host_dependencies": [],
    }
    document.update(changes)
    return document


@pytest.fixture
def validate_ir(native):
    return native.validate_module_ir_json


@pytest.fixture
def validate_artifacts(native):
    return native.validate_deployment_artifacts_json


def ir_error(native, validate_ir, text):
    with pytest.raises(native.VmIrValidationError) as info:
        validate_ir(text)
    error = info.value
    assert type(error) is native.VmIrValidationError
    assert isinstance(error, ValueError)
    assert not isinstance(error, native.VmRuntimeExecutionError)
    assert len(error.args) == 1 and type(error.args[0]) is str
    assert str(error) == error.args[0]
    return error.args[0]


# ---- module IR --------------------------------------------------------------------
def test_valid_module_returns_none(validate_ir):
    assert validate_ir(json.dumps(minimal_module())) is None
    assert validate_ir(module_ir_json=json.dumps(minimal_module())) is None


def test_reader_and_validator_messages_arrive_unchanged(native, validate_ir):
    assert ir_error(native, validate_ir, "   \n  ") == "EOF while parsing a value at line 2 column 2"
    text = json.dumps(minimal_module(module_name=""))
    assert ir_error(native, validate_ir, text) == "module_name must not be empty"


def test_nul_inside_a_string_is_a_control_character(native, validate_ir):
    text = json.dumps(minimal_module()).replace('"con_example"', '"con\0example"')
    message = ir_error(native, validate_ir, text)
    assert message.startswith("control character (\\u0000-\\u001F) found while parsing a string at line 1 column ")


def test_nul_after_the_document_is_trailing(native, validate_ir):
    text = json.dumps(minimal_module()) + "\0"
    assert ir_error(native, validate_ir, text) == f"trailing characters at line 1 column {len(text)}"


def test_text_is_not_cut_at_a_nul(native, validate_ir):
    # A reader that stopped at the NUL would report an empty text instead.
    text = "\0" + json.dumps(minimal_module())
    assert ir_error(native, validate_ir, text) == "expected value at line 1 column 1"


@pytest.mark.parametrize(
    "tag",
    ["veln_ir_v1\0", "\0", "veln_ir_v1\U0001f600", "\U00010348\u00e9\u4e2d", "\U0010ffff"],
)
def test_messages_keep_nul_and_non_bmp_characters(native, validate_ir, tag):
    text = json.dumps(minimal_module(ir_version=tag), ensure_ascii=False)
    assert ir_error(native, validate_ir, text) == f"unsupported ir_version '{tag}'"
    escaped = json.dumps(minimal_module(ir_version=tag), ensure_ascii=True)
    assert ir_error(native, validate_ir, escaped) == f"unsupported ir_version '{tag}'"


def test_non_bmp_module_text_validates(validate_ir):
    document = minimal_module(module_name="con_\U0001f600_\U00010348", docstring="\U0001f4b0 token \0 doc")
    assert validate_ir(json.dumps(document, ensure_ascii=False)) is None
    assert validate_ir(json.dumps(document, ensure_ascii=True)) is None


def test_python_lone_surrogate_is_an_encoding_error(validate_ir):
    with pytest.raises(UnicodeEncodeError) as info:
        validate_ir(json.dumps(minimal_module(docstring="\ud800"), ensure_ascii=False))
    assert info.value.__notes__ == ["while processing 'module_ir_json'"]


# ---- deployment artifacts -----------------------------------------------------------
SOURCE = "def get():\n    return 'hi'\n"


def artifacts(name="con_example", text=SOURCE, profile="veln_vm_v1", input_source=None, **changes):
    """A valid document for module `name` with source `text`; `changes` then
    replace (or, given DELETE, remove) top-level members."""
    vm_ir_json = json.dumps(minimal_module(name, text), separators=(",", ":"))
    document = {
        "format": "veln_contract_artifact_v1",
        "module_name": name,
        "vm_profile": profile,
        "source": text,
        "vm_ir_json": vm_ir_json,
        "hashes": {"source_sha256": sha(text), "vm_ir_sha256": sha(vm_ir_json)},
    }
    if input_source is not None:
        document["hashes"]["input_source_sha256"] = sha(input_source)
    for key, value in changes.items():
        if value is DELETE:
            del document[key]
        else:
            document[key] = value
    return document


DELETE = object()


def artifact_error(native, validate_artifacts, *args, **kwargs):
    with pytest.raises(native.VmRuntimeExecutionError) as info:
        validate_artifacts(*args, **kwargs)
    error = info.value
    assert type(error) is native.VmRuntimeExecutionError
    assert isinstance(error, ValueError)
    assert not isinstance(error, native.VmIrValidationError)
    assert len(error.args) == 1
    assert str(error) == error.args[0]
    return error.args[0]


def test_valid_artifacts_return_source_and_module_ir(validate_artifacts):
    document = artifacts()
    result = validate_artifacts("con_example", json.dumps(document))
    assert type(result) is dict
    assert list(result) == ["source", "vm_ir_json"]
    assert result == {"source": document["source"], "vm_ir_json": document["vm_ir_json"]}
    assert type(result["source"]) is str and type(result["vm_ir_json"]) is str


def test_results_are_new_dicts(validate_artifacts):
    text = json.dumps(artifacts())
    first = validate_artifacts("con_example", text)
    second = validate_artifacts("con_example", text)
    assert first == second and first is not second


def test_profile_defaults_and_explicit_values(native, validate_artifacts):
    text = json.dumps(artifacts())
    expected = validate_artifacts("con_example", text)
    assert validate_artifacts("con_example", text, vm_profile="veln_vm_v1") == expected
    assert validate_artifacts("con_example", text, input_source=None) == expected
    assert validate_artifacts(module_name="con_example", artifacts_json=text) == expected
    message = artifact_error(native, validate_artifacts, "con_example", text, vm_profile="veln_vm_v2")
    assert message == "deployment_artifacts vm_profile does not match the execution profile."


def test_input_source_is_checked_only_when_given(native, validate_artifacts):
    text = json.dumps(artifacts())
    assert validate_artifacts("con_example", text)["source"] == SOURCE
    for given in ["", "input", "\U0001f600"]:
        message = artifact_error(native, validate_artifacts, "con_example", text, input_source=given)
        assert message == "deployment_artifacts hash mismatch for 'input_source_sha256'."
        good = json.dumps(artifacts(input_source=given))
        assert validate_artifacts("con_example", good, input_source=given)["source"] == SOURCE


def test_artifact_failures_are_runtime_errors(native, validate_artifacts):
    message = artifact_error(native, validate_artifacts, "con_example", "[]")
    assert message == "deployment_artifacts must be a dictionary."
    document = artifacts()
    document["hashes"]["vm_ir_sha256"] = document["hashes"]["vm_ir_sha256"].upper()
    message = artifact_error(native, validate_artifacts, "con_example", json.dumps(document))
    assert message == "deployment_artifacts hash mismatch for 'vm_ir_sha256'."


def test_module_ir_failures_arrive_as_runtime_errors(native, validate_artifacts):
    document = artifacts()
    bad_ir = json.dumps(minimal_module(ir_version="veln_ir_v0"))
    document["vm_ir_json"] = bad_ir
    document["hashes"]["vm_ir_sha256"] = sha(bad_ir)
    message = artifact_error(native, validate_artifacts, "con_example", json.dumps(document))
    assert message == "unsupported ir_version 'veln_ir_v0'"


@pytest.mark.parametrize(
    "module_name,source",
    [
        ("con_\U0001f600", "return '\U0001f600'\n"),
        ("con_\u00e9t\u00e9", "x = '\0'\n"),
        ("con_\U00010348", "\U0010ffff" * 3),
    ],
)
def test_nul_and_non_bmp_texts_round_trip(validate_artifacts, module_name, source):
    document = artifacts(name=module_name, text=source)
    for ensure_ascii in (True, False):
        result = validate_artifacts(module_name, json.dumps(document, ensure_ascii=ensure_ascii))
        assert result == {"source": source, "vm_ir_json": document["vm_ir_json"]}


@pytest.mark.parametrize("target", ["con_example\0", "con_exampl", "con_example\U0001f600", "CON_EXAMPLE"])
def test_module_name_compares_every_byte(native, validate_artifacts, target):
    text = json.dumps(artifacts())
    message = artifact_error(native, validate_artifacts, target, text)
    assert message == "deployment_artifacts module_name does not match the target contract."
