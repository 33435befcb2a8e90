"""Failures of the Python host object: a method that raises (the qualified
type name and str() of the exception, or "<exception str() failed>"), returns
the wrong type, or is missing. The call ends with status 1 and the message;
no Python error is left set. Cases: host_errors.txt."""
import json

import pytest

from boundary_values import NAMESPACE, echo_module, missing, storage_module
from bundle_host import Host, StreamingHost
from conftest import read_cases

MODULES = {"con_echo": echo_module(), "con_store": storage_module()}


def host_with(method, behaviour):
    base = StreamingHost if method == "iter_hash_entries" else Host
    namespace = {}
    if isinstance(behaviour, missing):
        error = behaviour.error or AttributeError(f"no {method} here")

        def absent(self):
            raise error

        namespace[method] = property(absent)
    else:
        namespace[method] = staticmethod(behaviour)
    return type("Host", (base,), namespace)(modules=MODULES)


@pytest.mark.parametrize("method,replacement,call,expected", read_cases("host_errors", " ", " | ", " => "))
def test_host_failure_becomes_the_message(native, request, method, replacement, call, expected):
    namespace = dict(NAMESPACE, json=json)
    host = host_with(method, eval(replacement, namespace))
    target, arguments = call.split("(", 1)
    module, function = target.split(".")
    if module == "con_store":
        request.getfixturevalue("storage" if function != "call_host" else "interpreter")
    args = list(eval(f"({arguments[:-1]},)", namespace)) if arguments != ")" else []
    result = native.execute_bundle("{}", module, function, args, {}, {}, host)
    assert (result["status_code"], result["result"]) == (1, expected.encode().decode("unicode_escape"))
