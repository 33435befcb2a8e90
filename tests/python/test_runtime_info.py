"""runtime_info_json and supports_execution_policy through Python."""
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


# The policy check itself is tested in C++; these cross the boundary with
# NUL and characters beyond ASCII and the BMP.
REJECTED = [
    ("vvm-1\0", "vvm-gas-1"),
    ("vvm-1", "vvm-gas-1\0"),
    ("vvm\u20111", "vvm-gas-1"),
    ("vvm-1", "vvm-gas-\U0001d7ed"),
    ("\U0001f600", "\U0001f600"),
]


def test_the_supported_policy(native):
    assert native.supports_execution_policy("vvm-1", "vvm-gas-1") is True


@pytest.mark.parametrize("bytecode,schedule", REJECTED)
def test_other_policies_are_refused(native, bytecode, schedule):
    assert native.supports_execution_policy(bytecode, schedule) is False
