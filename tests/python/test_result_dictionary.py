"""The dictionary execute_bundle returns: its keys and their order on success
and failure, the nested records (snapshots, writes, events, costs), and the
result values that cannot cross into Python. Contracts: the examples
(con_token, con_registry) and the boundary test modules."""
import json
import pathlib

import pytest

from boundary_values import echo_module, function, handle_module, module, name, node, ret, storage_module
from bundle_host import Host
from py_to_ir import translate

EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "examples" / "module_ir"
RESULT_KEYS = ["status_code", "result", "snapshots", "storage_writes", "events", "raw_cost", "chi_used",
               "contract_costs"]

pytestmark = pytest.mark.usefixtures("interpreter")


def example_bundle():
    return json.dumps({p.stem: json.loads(p.read_text()) for p in sorted(EXAMPLES.glob("*.json"))})


def run(native, module, function, args=(), kwargs=None, bundle=None, host=None, context=None, **meter):
    host = host or Host(storage={"con_token.balances:alice": 1000})
    context = {"caller": "alice", "signer": "alice"} if context is None else context
    return native.execute_bundle(bundle or example_bundle(), module, function, list(args), kwargs or {}, context,
                                 host, **meter)


@pytest.mark.usefixtures("storage")
def test_success_with_writes_and_an_event(native):
    result = run(native, "con_token", "transfer", kwargs={"amount": 10, "to": "bob"}, meter=True)
    assert list(result) == RESULT_KEYS
    assert result["status_code"] == 0 and result["result"] is None
    assert result["storage_writes"] == {"con_token.balances:alice": 990, "con_token.balances:bob": 10}
    [snapshot] = result["snapshots"]
    assert list(snapshot) == ["contract_name", "variables", "hashes"]
    assert snapshot["contract_name"] == "con_token" and snapshot["variables"] == []
    [balances] = snapshot["hashes"]
    assert list(balances) == ["binding", "default_value", "entries"]
    assert balances == {"binding": "balances", "default_value": 0, "entries": {"alice": 990, "bob": 10}}
    [event] = result["events"]
    assert list(event) == ["contract", "event", "signer", "caller", "data_indexed", "data"]
    assert event == {"contract": "con_token", "event": "Transfer", "signer": "alice", "caller": "alice",
                     "data_indexed": {"sender": "alice", "receiver": "bob"}, "data": {"amount": 10}}
    assert list(event["data_indexed"]) == ["sender", "receiver"]
    assert type(result["raw_cost"]) is int and result["raw_cost"] > 5000
    assert result["chi_used"] == result["raw_cost"] // 1000 + 5
    assert list(result["contract_costs"]) == ["con_token"]


@pytest.mark.usefixtures("storage")
def test_cross_contract_call_is_costed_per_contract(native):
    result = run(native, "con_registry", "register", ["alice-veln"], meter=True)
    assert result["status_code"] == 0, result["result"]
    assert result["storage_writes"] == {"con_registry.names:alice-veln": "alice"}
    assert [s["contract_name"] for s in result["snapshots"]] == ["con_registry"]
    costs = result["contract_costs"]
    assert sorted(costs) == ["con_registry", "con_token"]
    assert costs["con_registry"] + costs["con_token"] > result["raw_cost"] - costs["con_token"]


@pytest.mark.usefixtures("storage")
def test_failure_reports_costs_but_no_effects(native):
    result = run(native, "con_token", "transfer", kwargs={"amount": 5000, "to": "bob"}, meter=True)
    assert list(result) == RESULT_KEYS
    assert result["status_code"] == 1
    assert type(result["result"]) is str and "Not enough coins to send!" in result["result"]
    assert (result["snapshots"], result["storage_writes"], result["events"]) == ([], {}, [])
    assert result["raw_cost"] > 5000 and list(result["contract_costs"]) == ["con_token"]


@pytest.mark.usefixtures("storage")
def test_a_read_only_call_has_no_snapshot(native):
    result = run(native, "con_token", "balance_of", ["alice"])
    assert (result["status_code"], result["result"]) == (0, 1000)
    assert (result["snapshots"], result["storage_writes"], result["events"]) == ([], {}, [])


@pytest.mark.usefixtures("storage")
def test_variables_in_snapshots(native):
    bundle = json.dumps({"con_store": storage_module()})
    result = run(native, "con_store", "set_v", [[1, "x"]], bundle=bundle)
    assert result["status_code"] == 0, result["result"]
    [snapshot] = result["snapshots"]
    assert snapshot["variables"] == [{"binding": "v", "default_value": None, "value": [1, "x"]}]
    assert list(snapshot["variables"][0]) == ["binding", "default_value", "value"]
    assert result["storage_writes"] == {"con_store.v": [1, "x"]}


@pytest.mark.usefixtures("storage")
def test_recorded_none_is_reported_as_none(native):
    bundle = json.dumps({"con_store": storage_module()})
    result = run(native, "con_store", "set_h", ["k", None], bundle=bundle)
    assert result["storage_writes"] == {"con_store.h:k": None}


def test_a_storage_reference_cannot_be_returned(native):
    bundle = json.dumps({"con_store": storage_module()})
    with pytest.raises(TypeError) as info:
        run(native, "con_store", "ref", bundle=bundle)
    assert str(info.value) == (
        'unsupported VM value at Python boundary: StorageRef(VmStorageRef { binding: "v", storage_type: "Variable" })'
    )


def test_a_contract_handle_is_returned_as_its_name(native):
    bundle = json.dumps({"con_handle": handle_module(), "con_echo": echo_module()})
    result = run(native, "con_handle", "handle", bundle=bundle)
    assert (result["status_code"], result["result"]) == (0, "con_echo")


def test_an_unsupported_value_too_large_to_describe_is_refused_with_the_size_message(native):
    # Its diagnostic text escapes every quote: twice the limit of a text.
    build = node("call", func=name("Exception"), args=[name("x")], keywords=[])
    bundle = json.dumps({"con_exc": module("con_exc", functions=[function("exc", ["x"], [ret(build)])])})
    with pytest.raises(TypeError) as info:
        run(native, "con_exc", "exc", ['"' * 4_000_000], bundle=bundle)
    assert str(info.value) == "value exceeds the maximum allowed allocation size"


def test_events_of_several_contracts_and_callers_keep_their_own_fields(native):
    outer = translate("""
import con_inner
Seen = LogEvent(event="Seen", params={"n": {"type": int}})

@export
def f():
    Seen({"n": 1})
    con_inner.g()
    Seen({"n": 2})
""", "con_outer")
    inner = translate("""
Seen = LogEvent(event="Inner", params={"n": {"type": int, "idx": True}})

@export
def g():
    Seen({"n": 3})
""", "con_inner")
    result = run(native, "con_outer", "f", bundle=json.dumps({"con_outer": outer, "con_inner": inner}))
    assert result["status_code"] == 0, result["result"]
    assert result["events"] == [
        {"contract": "con_outer", "event": "Seen", "signer": "alice", "caller": "alice",
         "data_indexed": {}, "data": {"n": 1}},
        {"contract": "con_inner", "event": "Inner", "signer": "alice", "caller": "con_outer",
         "data_indexed": {"n": 3}, "data": {}},
        {"contract": "con_outer", "event": "Seen", "signer": "alice", "caller": "alice",
         "data_indexed": {}, "data": {"n": 2}},
    ]
    assert [list(e) for e in result["events"]] == [["contract", "event", "signer", "caller", "data_indexed",
                                                    "data"]] * 3
