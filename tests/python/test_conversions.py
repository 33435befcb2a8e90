"""Values across the boundary both ways, through a contract that returns its
argument: every kind, subclasses, big integers, the host value classes.
Cases: conversions.txt (refusals on the way in are in request_errors.txt)."""
import datetime
import json

import pytest

from boundary_values import NAMESPACE, echo_module
from bundle_host import Host
from conftest import read_cases

ECHO = json.dumps({"con_echo": echo_module()})

pytestmark = pytest.mark.usefixtures("interpreter")


def same(a, b):
    """Equal with the same types all the way down (True is not 1)."""
    if type(a) is not type(b):
        return False
    if isinstance(a, (list, tuple)):
        return len(a) == len(b) and all(same(x, y) for x, y in zip(a, b))
    if isinstance(a, dict):
        return list(a) == list(b) and all(same(a[k], b[k]) for k in a)
    if isinstance(a, float) and a != a:
        return b != b
    return a == b and (not isinstance(a, float) or str(a) == str(b))


def echo(native, value, host=None):
    return native.execute_bundle(ECHO, "con_echo", "echo", [value], {}, {}, host or Host())


@pytest.mark.parametrize("given,expected", read_cases("conversions", " => "))
def test_value_round_trip(native, given, expected):
    namespace = dict(NAMESPACE, datetime=datetime)
    result = echo(native, eval(given, namespace))
    assert result["status_code"] == 0, result["result"]
    assert same(result["result"], eval(expected, namespace))
