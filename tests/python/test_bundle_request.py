"""execute_bundle's request: the checks and conversions of args, kwargs and
context, the reading of the bundle (JSON, members, module names), and the
order in which the first bad input is found. Cases: request_errors.txt."""
import datetime
import json

import pytest

from boundary_values import (NAMESPACE, Datetime, DictLike, StrLike, ListLike, SideEffectDecimal, TupleLike, add_key, changing_dict,
                             module)
from bundle_host import Host
from conftest import read_cases


def request(**changes):
    fields = {"bundle_ir_json": "{}", "entry_module": "con_a", "function_name": "f", "args": [],
              "kwargs": {}, "context": {}, "host": Host()}
    fields.update(changes)
    return fields


@pytest.mark.parametrize("changes,expected", read_cases("request_errors", " => "))
def test_request_errors(native, changes, expected):
    host = Host()
    fields = request(host=host, **eval(changes, dict(NAMESPACE)))
    cls_name, message = expected.split(": ", 1)
    cls = getattr(native, cls_name, None) or __builtins__[cls_name]
    with pytest.raises(Exception) as info:
        native.execute_bundle(**fields)
    assert type(info.value) is cls
    assert info.value.args == (message,)
    assert host.calls == []


def swap_keys_twice(value):
    # Same size at every step, but the walk is shown more entries than it had.
    del value["b"]
    value["c"] = SideEffectDecimal(lambda: (value.pop("a"), value.setdefault("d", 4)))


@pytest.mark.parametrize(
    "change,message",
    [(add_key, "dictionary changed size during iteration"), (swap_keys_twice, "dictionary keys changed during iteration")],
)
@pytest.mark.parametrize("where", ["kwargs", "args", "context"])
def test_a_dict_changed_while_walked_stops_the_request(native, change, message, where):
    value = changing_dict(change)
    fields = {"kwargs": {"kwargs": value}, "args": {"args": [[value]]}, "context": {"context": {"now": value}}}[where]
    with pytest.raises(RuntimeError) as info:
        native.execute_bundle(**request(**fields))
    assert type(info.value) is RuntimeError
    assert str(info.value) == message


def test_context_and_kwargs_subclasses_are_read_as_dicts(native):
    host = Host()
    with pytest.raises(native.VmRuntimeExecutionError, match="context.entry must be a 2-tuple"):
        native.execute_bundle(**request(host=host, args=ListLike([1]), kwargs=DictLike(a=1),
                                        context=DictLike(entry=TupleLike(("a",)))))
    assert host.calls == []


def broken_members():
    without_functions = module("con_a")
    del without_functions["functions"]
    return [
        module("con_a", ir_version="veln_ir_v2"),
        module("con_a", functions=[{"node": "function", "name": 5}]),
        module("con_a", module_body=[{"node": "pass", "span": {"line": "one"}}]),
        module("con_a", imports={"a": 1}),
        without_functions,
        {"module_name": "con_a", "zeta": [1, 2.5, None, "\u00e9\U0001f600"]},
    ]


@pytest.mark.parametrize("member", broken_members())
def test_member_errors_refer_to_the_compact_member_text(native, member):
    # The member is re-serialised compactly (keys in order) before it is read,
    # so the message is the one its compact text gets, whatever the layout.
    compact = json.dumps(member, separators=(",", ":"), sort_keys=True, ensure_ascii=False)
    with pytest.raises(native.VmIrValidationError) as expected:
        native.validate_module_ir_json(compact)
    with pytest.raises(native.VmRuntimeExecutionError) as info:
        native.execute_bundle(**request(bundle_ir_json=json.dumps({"con_a": member}, indent=3)))
    assert str(info.value) == str(expected.value)


def test_members_are_read_in_key_order_and_the_last_duplicate_wins(native):
    good, bad = json.dumps(module("con_b")), json.dumps(module("con_b", ir_version="x"))
    first_bad = '{"con_c": 1, "con_b": %s, "con_b": %s}' % (good, bad)
    with pytest.raises(native.VmRuntimeExecutionError) as info:
        native.execute_bundle(**request(bundle_ir_json=first_bad))
    assert str(info.value) == "unsupported ir_version 'x'"
    last_good = '{"con_c": 1, "con_b": %s, "con_b": %s}' % (bad, good)
    with pytest.raises(native.VmRuntimeExecutionError) as info:
        native.execute_bundle(**request(bundle_ir_json=last_good))
    assert str(info.value) == "invalid type: integer `1`, expected struct ModuleIr at line 1 column 1"


def test_big_integer_literals_reach_the_reader_as_floats(native):
    text = json.dumps({"con_a": module("con_a")}).replace('"source_hash": "' + "0" * 64 + '"',
                                                          '"source_hash": 18446744073709551616')
    with pytest.raises(native.VmRuntimeExecutionError) as info:
        native.execute_bundle(**request(bundle_ir_json=text))
    assert str(info.value).startswith("invalid type: floating point `")


CONTEXT_SOURCE = """
@export
def context():
    return [ctx.this, ctx.caller, ctx.signer, ctx.owner, ctx.submission_name, ctx.entry,
            now, block_num, block_hash, chain_id]
"""


@pytest.mark.usefixtures("interpreter")
def test_context_reaches_the_contract(native):
    from py_to_ir import translate

    bundle = json.dumps({"con_ctx": translate(CONTEXT_SOURCE, "con_ctx")})
    given = {"this": "ignored", "caller": "alice", "signer": StrLike("sig"), "submission_name": None,
             "entry": TupleLike(("con_a", "f")), "now": datetime.datetime(2024, 1, 2, 3, 4, 5),
             "block_num": 2**70, "block_hash": b"\x01", "chain_id": None, "unknown": object()}
    host = Host(owners={"con_ctx": "bob"})
    result = native.execute_bundle(bundle, "con_ctx", "context", [], {}, given, host)
    assert result["result"] == ["con_ctx", "alice", "sig", "bob", None, ("con_a", "f"),
                                Datetime(2024, 1, 2, 3, 4, 5, microsecond=0), 2**70, b"\x01", None]
    # No key at all: texts absent, values None, entry set for the call.
    result = native.execute_bundle(bundle, "con_ctx", "context", [], {}, {}, Host())
    assert result["result"] == ["con_ctx", None, None, None, None, ("con_ctx", "context"), None, None, None, None]
    given["owner"] = "carol"
    host = Host(owners={"con_ctx": "bob"})
    result = native.execute_bundle(bundle, "con_ctx", "context", [], {}, given, host)
    assert result["result"][3] == "carol" and host.calls == []


@pytest.mark.usefixtures("interpreter")
@pytest.mark.parametrize("kind,name", [("Variable", "x.y"), ("Hash", "h:k")])
def test_a_storage_name_with_a_key_separator_is_refused_at_build(native, kind, name):
    from py_to_ir import translate

    ir = translate(f"v = {kind}()\n\n@export\ndef f():\n    return 1\n", "con_a")
    ir["global_declarations"][0]["name"] = name
    text = json.dumps(ir)
    assert native.validate_module_ir_json(text) is None
    host = Host()
    result = native.execute_bundle(json.dumps({"con_a": ir}), "con_a", "f", [], {}, {}, host)
    assert (result["status_code"], result["result"]) == (1, f"invalid storage name '{name}'")
