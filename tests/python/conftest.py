"""Shared fixtures: the installed extension module, the test data folder and
the reader of line-per-case data files; the stand-in host value classes
(host_types/) on the import path."""
import pathlib
import sys

import pytest

DATA_DIR = pathlib.Path(__file__).resolve().parents[1] / "data"
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent / "host_types"))
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "tools"))  # py_to_ir, the test translator


def read_cases(name, *separators):
    """The cases of tests/data/python_boundary/<name>.txt: one per line (blank
    lines and "#" comments skipped), split at each separator in turn."""
    path = DATA_DIR / "python_boundary" / f"{name}.txt"
    cases = []
    for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        if line.strip() and not line.startswith("#"):
            fields = []
            for separator in separators:
                field, line = line.split(separator, 1)
                fields.append(field)
            cases.append(pytest.param(*fields, line, id=f"{name}:{number}"))
    return cases


@pytest.fixture(scope="session")
def native():
    import veln_vm_core._native as module

    return module


@pytest.fixture(scope="session")
def interpreter(native):
    """Skips tests that run contract code while the build has no interpreter."""
    from boundary_values import echo_module
    from bundle_host import Host

    bundle = __import__("json").dumps({"con_echo": echo_module()})
    result = native.execute_bundle(bundle, "con_echo", "echo", [1], {}, {}, Host())
    if result["result"] == "the interpreter is not built":
        pytest.skip("the interpreter is not built")


@pytest.fixture(scope="session")
def storage(native, interpreter):
    """Skips tests that use contract storage while the build has none."""
    from boundary_values import storage_module
    from bundle_host import Host

    bundle = __import__("json").dumps({"con_store": storage_module()})
    result = native.execute_bundle(bundle, "con_store", "set_h", ["k", 1], {}, {}, Host())
    if result["status_code"] and result["result"].startswith("unsupported "):
        pytest.skip("contract storage is not built")
