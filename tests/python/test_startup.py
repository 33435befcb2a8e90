"""Import, the module's members and their order, and the two exception classes."""
import importlib
import inspect
import subprocess
import sys

import pytest

MEMBERS_IN_ORDER = [
    "VmIrValidationError",
    "VmRuntimeExecutionError",
    "runtime_info_json",
    "supports_execution_policy",
    "validate_module_ir_json",
    "validate_deployment_artifacts_json",
    "execute_bundle",
]

SIGNATURES = {
    "runtime_info_json": "()",
    "supports_execution_policy": "(bytecode_version, gas_schedule)",
    "validate_module_ir_json": "(module_ir_json)",
    "validate_deployment_artifacts_json": (
        '(module_name, artifacts_json, *, input_source=None, vm_profile="veln_vm_v1")'
    ),
    "execute_bundle": (
        "(bundle_ir_json, entry_module, function_name, args, kwargs, context, host, *, meter=False, "
        "chi_budget_raw=0, transaction_size_bytes=0)"
    ),
}

CLASSES = ["VmIrValidationError", "VmRuntimeExecutionError"]


def test_members_are_added_in_registration_order(native):
    own = [name for name in vars(native) if not name.startswith("__")]
    assert own == MEMBERS_IN_ORDER


def test_module_identity(native):
    assert native.__name__ == "veln_vm_core._native"
    assert native.__doc__ == ""
    assert native.__file__.endswith(".abi3.so")


@pytest.mark.parametrize("name", list(SIGNATURES))
def test_function_documentation_is_only_the_signature(native, name):
    function = getattr(native, name)
    assert type(function).__name__ == "builtin_function_or_method"
    assert function.__name__ == name
    assert function.__module__ == "veln_vm_core._native"
    assert function.__text_signature__ == SIGNATURES[name]
    assert function.__doc__ is None


def test_inspect_reads_the_keyword_only_defaults(native):
    signature = inspect.signature(native.validate_deployment_artifacts_json)
    kinds = {p.name: (p.kind, p.default) for p in signature.parameters.values()}
    assert kinds == {
        "module_name": (inspect.Parameter.POSITIONAL_OR_KEYWORD, inspect.Parameter.empty),
        "artifacts_json": (inspect.Parameter.POSITIONAL_OR_KEYWORD, inspect.Parameter.empty),
        "input_source": (inspect.Parameter.KEYWORD_ONLY, None),
        "vm_profile": (inspect.Parameter.KEYWORD_ONLY, "veln_vm_v1"),
    }


@pytest.mark.parametrize("name", CLASSES)
def test_exception_class_shape(native, name):
    cls = getattr(native, name)
    assert cls.__name__ == name
    assert cls.__qualname__ == name
    assert cls.__module__ == "veln_vm_core"
    assert cls.__bases__ == (ValueError,)
    assert cls.__doc__ is None
    assert repr(cls) == f"<class 'veln_vm_core.{name}'>"


def test_exception_classes_are_distinct(native):
    assert native.VmIrValidationError is not native.VmRuntimeExecutionError
    assert not issubclass(native.VmIrValidationError, native.VmRuntimeExecutionError)
    assert not issubclass(native.VmRuntimeExecutionError, native.VmIrValidationError)


def test_a_second_module_object_shares_the_classes(native):
    name = "veln_vm_core._native"
    first = sys.modules.pop(name)
    try:
        second = importlib.import_module(name)
        assert second is not first
        for cls in CLASSES:
            assert getattr(second, cls) is getattr(first, cls)
        assert second.runtime_info_json() == first.runtime_info_json()
    finally:
        sys.modules[name] = first


def test_package_import_exposes_the_native_module():
    import veln_vm_core
    import veln_vm_core._native

    assert veln_vm_core._native.__package__ == "veln_vm_core"


def test_fresh_import_is_clean_in_development_mode():
    # A new process: the classes are created by the import itself, and the
    # import and a first error of each kind raise no warning (-W error).
    code = (
        "import veln_vm_core._native as n\n"
        "try:\n"
        "    n.validate_module_ir_json('')\n"
        "except n.VmIrValidationError as e:\n"
        "    assert str(e) == 'EOF while parsing a value at line 1 column 0'\n"
        "try:\n"
        "    n.validate_deployment_artifacts_json('m', '[]')\n"
        "except n.VmRuntimeExecutionError as e:\n"
        "    assert str(e) == 'deployment_artifacts must be a dictionary.'\n"
        "print(n.VmIrValidationError.__module__, n.VmRuntimeExecutionError.__name__)\n"
    )
    run = subprocess.run(
        [sys.executable, "-X", "dev", "-W", "error", "-c", code], capture_output=True, text=True, timeout=60
    )
    assert run.returncode == 0, run.stderr
    assert run.stdout == "veln_vm_core VmRuntimeExecutionError\n"
    assert run.stderr == ""
