"""Shared fixture: the extension module under test."""
import pytest


@pytest.fixture(scope="session")
def native():
    import veln_vm_core._native as module

    return module
