"""Shared fixtures: the installed extension module and the test data folder."""
import pathlib

import pytest

DATA_DIR = pathlib.Path(__file__).resolve().parents[1] / "data"


@pytest.fixture(scope="session")
def native():
    import veln_vm_core._native as module

    return module
