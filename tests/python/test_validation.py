"""validate_module_ir_json and validate_deployment_artifacts_json through Python:
the fixtures of module IR validation, every step of artifact validation, the
exception classes and messages, and texts with NUL and non-BMP characters."""
import copy
import hashlib
import json

import pytest

from conftest import DATA_DIR

FIXTURES = DATA_DIR / "module_ir"
HASH = "0123456789abcdef" * 4


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


@pytest.mark.parametrize(
    "text,message",
    [
        ("", "EOF while parsing a value at line 1 column 0"),
        ("   \n  ", "EOF while parsing a value at line 2 column 2"),
        ("{}", "missing field `ir_version` at line 1 column 2"),
        ("[]", "invalid length 0, expected struct ModuleIr with 11 elements at line 1 column 2"),
        ("5", "invalid type: integer `5`, expected struct ModuleIr at line 1 column 1"),
    ],
)
def test_reader_messages_arrive_unchanged(native, validate_ir, text, message):
    assert ir_error(native, validate_ir, text) == message


def test_validator_messages_arrive_unchanged(native, validate_ir):
    text = json.dumps(minimal_module(ir_version="veln_ir_v2"))
    assert ir_error(native, validate_ir, text) == "unsupported ir_version 'veln_ir_v2'"
    text = json.dumps(minimal_module(module_name=""))
    assert ir_error(native, validate_ir, text) == "module_name must not be empty"


def fixture_cases(kind):
    folder = FIXTURES / kind
    return sorted(folder.glob("*.json")) if folder.is_dir() else []


@pytest.mark.parametrize("path", fixture_cases("valid"), ids=lambda p: p.stem)
def test_valid_fixtures(validate_ir, path):
    assert validate_ir(path.read_text(encoding="utf-8")) is None


@pytest.mark.parametrize("path", fixture_cases("invalid"), ids=lambda p: p.stem)
def test_invalid_fixtures(native, validate_ir, path):
    expected = path.with_suffix(".expected").read_text(encoding="utf-8")
    assert ir_error(native, validate_ir, path.read_text(encoding="utf-8")) == expected


def test_fixtures_are_there():
    assert len(fixture_cases("valid")) > 10
    assert len(fixture_cases("invalid")) > 10


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


def test_lone_surrogate_escape_is_refused_by_the_reader(native, validate_ir):
    text = json.dumps(minimal_module(docstring="x")).replace('"docstring": "x"', '"docstring": "\\udc00"')
    assert ir_error(native, validate_ir, text).startswith("lone leading surrogate in hex escape at line 1 column ")


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


def test_other_profile_never_succeeds(native, validate_artifacts):
    text = json.dumps(artifacts(profile="veln_vm_v2"))
    message = artifact_error(native, validate_artifacts, "con_example", text, vm_profile="veln_vm_v2")
    assert message == "deployment_artifacts vm_ir_json vm_profile does not match the execution profile."


def test_input_source_is_checked_only_when_given(native, validate_artifacts):
    text = json.dumps(artifacts())
    assert validate_artifacts("con_example", text)["source"] == SOURCE
    for given in ["", "input", "\U0001f600"]:
        message = artifact_error(native, validate_artifacts, "con_example", text, input_source=given)
        assert message == "deployment_artifacts hash mismatch for 'input_source_sha256'."
        good = json.dumps(artifacts(input_source=given))
        assert validate_artifacts("con_example", good, input_source=given)["source"] == SOURCE


ARTIFACT_FAILURES = [
    ("[]", "deployment_artifacts must be a dictionary."),
    ("null", "deployment_artifacts must be a dictionary."),
    ('"text"', "deployment_artifacts must be a dictionary."),
    (json.dumps(artifacts(format=DELETE)), "deployment_artifacts must include a string field 'format'."),
    (json.dumps(artifacts(format=1)), "deployment_artifacts must include a string field 'format'."),
    (json.dumps(artifacts(format="veln_contract_artifact_v2")), "deployment_artifacts has an unsupported format."),
    (json.dumps(artifacts(format=" veln_contract_artifact_v1")), "deployment_artifacts has an unsupported format."),
    (json.dumps(artifacts(module_name=DELETE)), "deployment_artifacts must include a string field 'module_name'."),
    (
        json.dumps(artifacts(module_name="con_other", source=DELETE)),
        "deployment_artifacts module_name does not match the target contract.",
    ),
    (json.dumps(artifacts(vm_profile=None)), "deployment_artifacts must include a string field 'vm_profile'."),
    (json.dumps(artifacts(runtime_code=None)), "deployment_artifacts must not include runtime_code."),
    (json.dumps(artifacts(source="")), "deployment_artifacts must include a non-empty 'source' string."),
    (json.dumps(artifacts(source=DELETE)), "deployment_artifacts must include a string field 'source'."),
    (json.dumps(artifacts(vm_ir_json="")), "deployment_artifacts must include a non-empty 'vm_ir_json' string."),
    (json.dumps(artifacts(vm_ir_json=[])), "deployment_artifacts must include a string field 'vm_ir_json'."),
    (json.dumps(artifacts(hashes=[])), "deployment_artifacts must include a 'hashes' dictionary."),
    (json.dumps(artifacts(hashes={})), "deployment_artifacts hash mismatch for 'source_sha256'."),
]


@pytest.mark.parametrize("text,message", ARTIFACT_FAILURES)
def test_artifact_failures(native, validate_artifacts, text, message):
    assert artifact_error(native, validate_artifacts, "con_example", text) == message


def test_upper_case_digest_is_a_mismatch(native, validate_artifacts):
    document = artifacts()
    document["hashes"]["vm_ir_sha256"] = document["hashes"]["vm_ir_sha256"].upper()
    message = artifact_error(native, validate_artifacts, "con_example", json.dumps(document))
    assert message == "deployment_artifacts hash mismatch for 'vm_ir_sha256'."


def test_runtime_code_hash_is_refused(native, validate_artifacts):
    document = artifacts()
    document["hashes"]["runtime_code_sha256"] = None
    message = artifact_error(native, validate_artifacts, "con_example", json.dumps(document))
    assert message == "deployment_artifacts hashes must not include runtime_code_sha256."


def test_syntax_error_has_the_readers_position(native, validate_artifacts):
    message = artifact_error(native, validate_artifacts, "con_example", '{"format": }')
    assert message == "expected value at line 1 column 12"


def test_module_ir_failures_arrive_as_runtime_errors(native, validate_artifacts):
    document = artifacts()
    bad_ir = json.dumps(minimal_module(ir_version="veln_ir_v0"))
    document["vm_ir_json"] = bad_ir
    document["hashes"]["vm_ir_sha256"] = sha(bad_ir)
    message = artifact_error(native, validate_artifacts, "con_example", json.dumps(document))
    assert message == "unsupported ir_version 'veln_ir_v0'"


def test_module_ir_must_match_the_artifacts(native, validate_artifacts):
    document = artifacts()
    other = json.dumps(minimal_module("con_other", SOURCE))
    document["vm_ir_json"] = other
    document["hashes"]["vm_ir_sha256"] = sha(other)
    message = artifact_error(native, validate_artifacts, "con_example", json.dumps(document))
    assert message == "deployment_artifacts vm_ir_json module_name does not match the target contract."
    upper = minimal_module("con_example", SOURCE)
    upper["source_hash"] = upper["source_hash"].upper()
    document["vm_ir_json"] = json.dumps(upper)
    document["hashes"]["vm_ir_sha256"] = sha(document["vm_ir_json"])
    message = artifact_error(native, validate_artifacts, "con_example", json.dumps(document))
    assert message == "deployment_artifacts vm_ir_json source_hash does not match source."


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


def test_extra_members_are_returned_untouched(validate_artifacts):
    document = artifacts()
    document["compiler"] = {"name": "vc", "flags": [1, 2, 3]}
    document["hashes"]["note"] = "ignored"
    result = validate_artifacts("con_example", json.dumps(document))
    assert result["vm_ir_json"] == document["vm_ir_json"]
