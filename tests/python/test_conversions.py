"""Values across the boundary both ways, through a contract that returns its
argument: every kind, subclasses, big integers, the host value classes.
Cases: conversions.txt (refusals on the way in are in request_errors.txt)."""
import datetime
import json

import pytest

from boundary_values import (NAMESPACE, Datetime, SideEffectDecimal, Timedelta, VondrelDecimal, VondrelFrozenSet,
                             VondrelSet, echo_module, same, storage_module)
from bundle_host import Host
from conftest import read_cases

ECHO = json.dumps({"con_echo": echo_module()})

pytestmark = pytest.mark.usefixtures("interpreter")


def echo(native, value, host=None):
    return native.execute_bundle(ECHO, "con_echo", "echo", [value], {}, {}, host or Host())


@pytest.mark.parametrize("given,expected", read_cases("conversions", " => "))
def test_value_round_trip(native, given, expected):
    namespace = dict(NAMESPACE, datetime=datetime)
    result = echo(native, eval(given, namespace))
    assert result["status_code"] == 0, result["result"]
    assert same(result["result"], eval(expected, namespace))


def test_lists_are_converted_from_a_snapshot(native):
    # Items added by Python code that the conversion runs are not converted.
    value = []
    value.append(SideEffectDecimal(lambda: value.append(object())))
    result = echo(native, value)
    assert (result["status_code"], result["result"]) == (0, [VondrelDecimal("1")])
    assert len(value) == 2


def test_keyword_arguments_keep_their_order(native):
    from py_to_ir import translate

    source = "@export\ndef keywords(**kwargs):\n    return kwargs\n"
    bundle = json.dumps({"con_kw": translate(source, "con_kw")})
    given = {"z": [1, (2,)], "a": VondrelSet([2, 1]), "m": None}
    result = native.execute_bundle(bundle, "con_kw", "keywords", [], given, {}, Host())
    assert same(result["result"], {"z": [1, (2,)], "a": VondrelSet([1, 2]), "m": None})


def test_host_values_convert_both_ways(native):
    # The host gets the engine's value back as the platform's classes and its
    # answer is converted in.
    host = Host(syscalls={"host.echo": lambda x, key: [x, key]})
    bundle = json.dumps({"con_store": storage_module()})
    value = [VondrelDecimal("2.5"), Datetime(2024, 1, 2), Timedelta(seconds=3), VondrelFrozenSet([2, 1]), 2**70]
    result = native.execute_bundle(bundle, "con_store", "call_host", [value], {}, {}, host)
    assert result["status_code"] == 0, result["result"]
    expected = [VondrelDecimal("2.5"), Datetime(2024, 1, 2, 0, 0, 0, microsecond=0), Timedelta(seconds=3),
                VondrelFrozenSet([1, 2]), 2**70]
    assert same(result["result"], [expected, expected])
    [(_, name, args, kwargs)] = [c for c in host.calls if c[0] == "handle_syscall"]
    assert name == "host.echo" and same(args, [expected]) and same(kwargs, {"key": expected})


@pytest.mark.usefixtures("storage")
def test_host_storage_values_are_converted_in(native):
    host = Host(storage={"con_store.v": {"b": [VondrelSet([3, 3])]}, "con_store.h:k": 2**64})
    bundle = json.dumps({"con_store": storage_module()})
    result = native.execute_bundle(bundle, "con_store", "get_v", [], {}, {}, host)
    assert same(result["result"], {"b": [VondrelSet([3])]})
    result = native.execute_bundle(bundle, "con_store", "get_h", ["k"], {}, {}, host)
    assert same(result["result"], 2**64)
