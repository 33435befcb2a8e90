"""runtime_info_json and supports_execution_policy."""
import json

import pytest

RUNTIME_INFO = (
    '{"host_catalog_version":"veln_vm_v1_host_v1","ir_version":"veln_ir_v1",'
    '"supported_bytecode_versions":["vvm-1"],"supported_gas_schedules":["vvm-gas-1"],'
    '"vm_profile":"veln_vm_v1"}'
)


def test_runtime_info_text_is_exact(native):
    text = native.runtime_info_json()
    assert type(text) is str
    assert text == RUNTIME_INFO


def test_runtime_info_is_compact_sorted_json(native):
    text = native.runtime_info_json()
    document = json.loads(text)
    assert json.dumps(document, separators=(",", ":"), sort_keys=True) == text
    assert native.runtime_info_json() == text


def test_runtime_info_tags_name_a_supported_policy(native):
    document = json.loads(native.runtime_info_json())
    for bytecode in document["supported_bytecode_versions"]:
        for schedule in document["supported_gas_schedules"]:
            assert native.supports_execution_policy(bytecode, schedule) is True


REJECTED = [
    ("VVM-1", "vvm-gas-1"),
    ("vvm-1", "VVM-GAS-1"),
    ("vvm-1 ", "vvm-gas-1"),
    (" vvm-1", "vvm-gas-1"),
    ("vvm-1", "vvm-gas-1 "),
    ("vvm-1", "vvm-gas-1\n"),
    ("vvm-1\0", "vvm-gas-1"),
    ("vvm-1", "vvm-gas-1\0"),
    ("vvm-2", "vvm-gas-1"),
    ("vvm-1", "vvm-gas-2"),
    ("vvm-gas-1", "vvm-1"),
    ("", ""),
    ("vvm-1", ""),
    ("", "vvm-gas-1"),
    ("vvm", "vvm-gas-1"),
    ("vvm-1", "vvm-gas"),
    ("vvm\u20111", "vvm-gas-1"),
    ("vvm-1", "vvm-gas-\U0001d7ed"),
    ("\U0001f600", "\U0001f600"),
]


def test_the_supported_policy(native):
    assert native.supports_execution_policy("vvm-1", "vvm-gas-1") is True


@pytest.mark.parametrize("bytecode,schedule", REJECTED)
def test_every_other_policy_is_refused(native, bytecode, schedule):
    assert native.supports_execution_policy(bytecode, schedule) is False
