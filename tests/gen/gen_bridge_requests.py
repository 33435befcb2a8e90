"""Generates tests/data/bridge_requests.json: whole requests through the
bundle executor. Each contract below is written once and run by several
requests; a request names the bundle members, the modules the host holds
instead, owners, host storage, meter settings, the entry call and what must
come out (status, result, costs, writes, events, snapshots, host calls).

Values in arguments, storage and expectations are written as the C++ value
literals of tests/cpp/value_notation.hpp; results and stored values show as
"kind:python text". Raw costs marked "derived" are sums of the price table;
the others were read from a run and checked against the rules they
illustrate (the comments say which).

Run: python3 tests/gen/gen_bridge_requests.py
"""

import json
import pathlib
import sys

ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "tools"))
from py_to_ir import translate  # noqa: E402

OUT = ROOT / "tests" / "data" / "bridge_requests.json"

CONTRACTS = {
    # A token: balances and approvals in hashes, an event per transfer.
    "con_token": """
balances = Hash(default_value=0)
allowances = Hash(default_value=0)
Transfer = LogEvent("Transfer", {"sender": syscall("event.indexed", str),
                                 "receiver": syscall("event.indexed", str), "amount": int})

@export
def transfer(amount, to):
    sender = ctx.caller
    assert amount > 0, "Cannot send negative balances!"
    assert balances[sender] >= amount, "Not enough coins to send!"
    balances[sender] -= amount
    balances[to] += amount
    Transfer({"sender": sender, "receiver": to, "amount": amount})

@export
def approve(amount, to):
    allowances[ctx.caller, to] += amount

@export
def transfer_from(amount, to, main_account):
    spender = ctx.caller
    assert allowances[main_account, spender] >= amount, "Not enough coins approved!"
    allowances[main_account, spender] -= amount
    assert balances[main_account] >= amount, "Not enough coins to send!"
    balances[main_account] -= amount
    balances[to] += amount
    Transfer({"sender": main_account, "receiver": to, "amount": amount})

@export
def balance_of(account):
    return balances[account]

@export
def holders():
    return balances.all()

def helper():
    return 1
""",
    # Calls the token through a static import, a dynamic import, a local
    # handle and a factory; writes before it checks.
    "con_registry": """
import con_token
import con_owned

names = Hash(default_value=None)

@export
def register(name):
    assert names[name] is None, "Name already taken!"
    names[name] = ctx.caller
    assert con_token.balance_of(account=ctx.caller) > 0, "Only token holders may register!"

@export
def owner_of(name):
    return names[name]

@export
def pay(amount, to):
    con_token.transfer(amount, to)

@export
def pay_twice(amount, to):
    con_token.transfer(amount, to)
    con_token.transfer(amount, to)
    return con_token.balance_of(to)

@export
def approve_and_spend(amount, to):
    con_token.approve(amount, "con_registry")
    con_token.transfer_from(amount, to, "con_registry")

@export
def balance_dynamic(account):
    return export_call("balance_of", "dynamic_import", syscall("contract.import", "con_token"), account)

@export
def pay_local(amount, to):
    t = syscall("contract.import", "con_token")
    return export_call("transfer", ("local_handle", "t"), t, amount, to)

@export
def balance_factory(account):
    return export_call("balance_of", ("factory_call", "make"), syscall("contract.import", "con_token"), account)

@export
def call_owned():
    return con_owned.secret()

@export
def call_private():
    return con_token.helper()

@export
def pay_then_fail(amount, to):
    con_token.transfer(amount, to)
    assert False, "changed my mind"
""",
    # Reads the token's balances through foreign declarations.
    "con_reader": """
import con_token
import con_owned

theirs = ForeignHash(foreign_contract="con_token", foreign_name="balances")
level = ForeignVariable(foreign_contract="con_vault", foreign_name="level")

@export
def read(account):
    return theirs[account]

@export
def listing():
    return theirs.all()

@export
def read_level():
    return level.get()

@export
def transfer_then_read(amount, to):
    con_token.transfer(amount, to)
    return [theirs["con_reader"], theirs[to]]

@export
def cached_then_read(account):
    held = con_token.balance_of(account)
    syscall("test.set_storage", "con_token.balances:" + account, 5)
    return [held, theirs[account]]

@export
def call_owned():
    return con_owned.secret()
""",
    # Owned by con_registry (the host says so).
    "con_owned": """
@export
def secret():
    return [ctx.owner, ctx.caller, ctx.signer]
""",
    # Calls into each other; the module body of con_ping logs itself.
    "con_ping": """
import con_pong

syscall("test.log", "ping body")

@export
def ping(n):
    if n == 0:
        return 0
    return con_pong.pong(n - 1) + 1
""",
    "con_pong": """
import con_ping

@export
def pong(n):
    return con_ping.ping(n)

@export
def twice():
    return con_ping.ping(0) + con_ping.ping(0)
""",
    # Endless recursion across two contracts.
    "con_rec_a": """
import con_rec_b

@export
def f():
    return con_rec_b.g()
""",
    "con_rec_b": """
import con_rec_a

@export
def g():
    return con_rec_a.f()
""",
    # A chain of calls between two contracts, each level calling the host.
    "con_deep_a": """
import con_deep_b

@export
def down(n):
    syscall("test.depth")
    if n == 0:
        return 0
    return con_deep_b.down(n - 1) + 1
""",
    "con_deep_b": """
import con_deep_a

@export
def down(n):
    syscall("test.depth")
    return con_deep_a.down(n)
""",
    # Module bodies that call each other's contract: every build calls the
    # host, then builds the other contract.
    "con_build_a": """
import con_build_b
syscall("test.depth")
con_build_b.f()

@export
def f():
    return 1
""",
    "con_build_b": """
import con_build_a
syscall("test.depth")
con_build_a.f()

@export
def f():
    return 1
""",
    # Writes of a chosen size.
    "con_writer": """
big = Hash()
total = Variable(default_value=0)

@export
def fill(n):
    big["a"] = "x" * n

@export
def count():
    total.set(total.get() + 1)
    return total.get()
""",
    # Pure functions for the meter's framing.
    "con_pure": """
@export
def nothing():
    return None

@export
def add(a, b):
    return a + b

@export
def fail():
    assert False, "nope"
""",
}


def request(name, entry, args="[]", *, bundle=None, host=(), host_texts=None, owners=None, storage=None,
            host_rows=None, meter=(True, 0, 0), kwargs="{}", context=None, stack_limit_bytes=None, **expect):
    module, function = entry
    return {"name": name, "bundle": bundle if bundle is not None else [module], "host_modules": list(host),
            "host_texts": host_texts or {}, "owners": owners or {}, "storage": storage or {},
            "host_rows": host_rows, "meter": list(meter), "entry": [module, function], "args": args,
            "kwargs": kwargs, "context": context or {}, "stack_limit_bytes": stack_limit_bytes, "expect": expect}


TOKEN_HOLDINGS = {"con_token.balances:alice": "1000", "con_token.balances:con_registry": "50",
                  "con_token.balances:con_reader": "70"}
ALICE = {"caller": "alice", "signer": "alice"}

REQUESTS = [
    # --- the meter's framing around one call ---------------------------------------
    # derived: base 5000 + return 32 + constant 32 + encoded None 4; chi raw // 1000 + 5
    request("returns_none", ("con_pure", "nothing"), status=0, result="none:None", raw=5068, chi=10,
            costs={"con_pure": 5068}, writes={}, events=[], snapshots=[],
            host_calls=["get_owner(con_pure)", "get_owner(con_pure)"]),
    # The transaction size is charged first.
    request("transaction_size", ("con_pure", "nothing"), meter=(True, 0, 1234), raw=6302, chi=11,
            costs={"con_pure": 5068}),
    # The base charge fails: no contract code runs, the host is never asked.
    request("base_charge_out_of_chi", ("con_pure", "nothing"), meter=(True, 4999, 0), status=1,
            result="str:Out of chi.", raw=5000, chi=4, costs={"con_pure": 5000}, host_calls=[]),
    # The return charge fails: counted all the same.
    request("return_charge_out_of_chi", ("con_pure", "nothing"), meter=(True, 5067, 0), status=1,
            result="str:Out of chi.", raw=5068, chi=5, costs={"con_pure": 5068}),
    request("budget_met_exactly", ("con_pure", "nothing"), meter=(True, 5068, 0), status=0, raw=5068, chi=5),
    request("metering_off", ("con_pure", "add"), "[1, 2]", meter=(False, 0, 0), status=0, result="int:3",
            raw=0, chi=5, costs={"con_pure": 5000}),
    request("metering_off_with_budget", ("con_pure", "add"), "[1, 2]", meter=(False, 3000, 0), raw=0, chi=3),
    request("contract_failure", ("con_pure", "fail"), status=1, result="str:AssertionError('nope')",
            writes={}, events=[], snapshots=[]),
    request("unknown_function", ("con_pure", "missing"), status=1, result="str:unknown function 'missing'"),
    # The entry module comes from the host when the bundle lacks it.
    request("entry_from_host", ("con_pure", "add"), "[2, 3]", bundle=[], host=["con_pure"], status=0,
            result="int:5", host_calls=["load_module_ir_json(con_pure)", "get_owner(con_pure)",
                                        "get_owner(con_pure)"]),
    request("entry_missing", ("con_nowhere", "f"), bundle=[], status=1,
            result="str:native VM could not load module 'con_nowhere'"),
    # A host module whose IR names another module is refused as a contract failure.
    request("host_module_misnamed", ("con_alias", "add"), "[2, 3]", bundle=[], host_texts={"con_alias": "con_pure"},
            status=1, result="str:module name mismatch: expected 'con_alias', got 'con_pure'"),
    # An owner in the context is used as it is; the host is not asked.
    request("owner_in_context", ("con_owned", "secret"), context={"owner": "someone", "caller": "bob"}, status=0,
            result="list:[someone, bob, None]", host_calls=[]),

    # --- the token ---------------------------------------------------------------------
    request("transfer", ("con_token", "transfer"), "[100, 'bob']", storage=TOKEN_HOLDINGS, context=ALICE,
            raw=44769, costs={"con_token": 44769},  # one contract: its cost is the raw cost
            host_calls=["get_owner(con_token)", "get_owner(con_token)", "read_hash(con_token,balances,alice)",
                        "read_hash(con_token,balances,bob)"],
            status=0, result="none:None",
            writes={"con_token.balances:alice": "int:900", "con_token.balances:bob": "int:100"},
            events=["con_token.Transfer signer=str:alice caller=str:alice indexed=[sender=str:alice, "
                    "receiver=str:bob] data=[amount=int:100]"],
            snapshots=["con_token hashes=[balances default=int:0 {alice=int:900, bob=int:100}]"]),
    request("transfer_too_much", ("con_token", "transfer"), "[2000, 'bob']", storage=TOKEN_HOLDINGS, context=ALICE,
            status=1, result="str:AssertionError('Not enough coins to send!')", writes={}, events=[], snapshots=[]),
    request("transfer_keywords", ("con_token", "transfer"), kwargs="{'to': 'bob', 'amount': 1}",
            storage=TOKEN_HOLDINGS, context=ALICE, status=0,
            writes={"con_token.balances:alice": "int:999", "con_token.balances:bob": "int:1"}),
    request("approve_and_spend", ("con_registry", "approve_and_spend"), "[20, 'carol']",
            bundle=["con_registry", "con_token", "con_owned"], storage=TOKEN_HOLDINGS, context=ALICE, raw=90597,
            # one level of calls: the costs add up to the raw cost
            costs={"con_registry": 35356, "con_token": 55241},
            # the second call finds the token's instance and its recorded allowance
            host_calls=["get_owner(con_registry)", "get_owner(con_registry)", "get_owner(con_token)",
                        "get_owner(con_token)", "get_owner(con_token)",
                        "read_hash(con_token,allowances,(con_registry, con_registry))", "get_owner(con_token)",
                        "get_owner(con_token)", "read_hash(con_token,balances,con_registry)",
                        "read_hash(con_token,balances,carol)"],
            status=0,
            writes={"con_token.allowances:con_registry:con_registry": "int:0",
                    "con_token.balances:carol": "int:20", "con_token.balances:con_registry": "int:30"},
            events=["con_token.Transfer signer=str:alice caller=str:con_registry indexed=[sender=str:con_registry, "
                    "receiver=str:carol] data=[amount=int:20]"]),
    request("holders_listing", ("con_token", "holders"), storage=TOKEN_HOLDINGS, status=0,
            result="list:[1000, 70, 50]"),
    # A listing past the scan budget: 18 bytes a row, 7282 rows pass 131072.
    request("holders_past_the_scan_budget", ("con_token", "holders"), host_rows=["con_token", "balances", 8000],
            status=1, result="str:hash scan result exceeds allocation limit"),

    # --- calls between contracts ------------------------------------------------------
    request("register", ("con_registry", "register"), "['alice']", bundle=["con_registry", "con_owned"],
            host=["con_token"], storage=TOKEN_HOLDINGS, context=ALICE, raw=40427, costs={"con_registry": 28035, "con_token": 12392},
            host_calls=["get_owner(con_registry)", "get_owner(con_registry)", "read_hash(con_registry,names,alice)",
                        "load_module_ir_json(con_token)", "get_owner(con_token)", "get_owner(con_token)",
                        "get_owner(con_token)", "read_hash(con_token,balances,alice)"],
            status=0,
            writes={"con_registry.names:alice": "str:alice"},
            snapshots=["con_registry hashes=[names default=none:None {alice=str:alice}]"]),
    # Writes first, then the token says no: nothing is reported but the costs.
    request("register_without_tokens", ("con_registry", "register"), "['dave']",
            bundle=["con_registry", "con_token", "con_owned"], storage=TOKEN_HOLDINGS,
            context={"caller": "dave", "signer": "dave"}, status=1,
            result="str:AssertionError('Only token holders may register!')", writes={}, events=[], snapshots=[]),
    request("pay", ("con_registry", "pay"), "[10, 'bob']", bundle=["con_registry", "con_token", "con_owned"],
            storage=TOKEN_HOLDINGS, context=ALICE, raw=60256, costs={"con_registry": 20196, "con_token": 40060},
            status=0,
            writes={"con_token.balances:bob": "int:10", "con_token.balances:con_registry": "int:40"}),
    # One load of the token from the host for three calls into it.
    request("pay_twice", ("con_registry", "pay_twice"), "[10, 'bob']", bundle=["con_registry", "con_owned"],
            host=["con_token"], storage=TOKEN_HOLDINGS, context=ALICE, raw=121036, costs={"con_registry": 50450, "con_token": 70586},
            host_calls=["get_owner(con_registry)", "get_owner(con_registry)", "load_module_ir_json(con_token)",
                        "get_owner(con_token)", "get_owner(con_token)", "get_owner(con_token)",
                        "read_hash(con_token,balances,con_registry)", "read_hash(con_token,balances,bob)",
                        "get_owner(con_token)", "get_owner(con_token)", "get_owner(con_token)", "get_owner(con_token)"],
            status=0, result="int:20",
            events=["con_token.Transfer signer=str:alice caller=str:con_registry indexed=[sender=str:con_registry, "
                    "receiver=str:bob] data=[amount=int:10]"] * 2),
    # Events and writes recorded before a failure are not reported.
    request("pay_then_fail", ("con_registry", "pay_then_fail"), "[10, 'bob']",
            bundle=["con_registry", "con_token", "con_owned"], storage=TOKEN_HOLDINGS, context=ALICE, status=1,
            result="str:AssertionError('changed my mind')", writes={}, events=[], snapshots=[]),
    # Metering off: no call charge, no cost records but the entry's.
    request("pay_unmetered", ("con_registry", "pay"), "[10, 'bob']", bundle=["con_registry", "con_token", "con_owned"],
            storage=TOKEN_HOLDINGS, context=ALICE, meter=(False, 0, 0), status=0, raw=0, chi=5,
            costs={"con_registry": 5000}),
    # The call charge passes the budget: it counts for the caller, the callee
    # never runs.
    request("pay_over_budget", ("con_registry", "pay"), "[10, 'bob']", bundle=["con_registry", "con_token", "con_owned"],
            storage=TOKEN_HOLDINGS, context=ALICE, meter=(True, 20000, 0), raw=20192, costs={"con_registry": 20192}, status=1, result="str:Out of chi."),
    request("balance_dynamic", ("con_registry", "balance_dynamic"), "['alice']",
            bundle=["con_registry", "con_token", "con_owned"], storage=TOKEN_HOLDINGS, status=0, result="int:1000",
            writes={}, snapshots=[]),  # reading only: no snapshot
    request("pay_local", ("con_registry", "pay_local"), "[5, 'bob']", bundle=["con_registry", "con_token", "con_owned"],
            storage=TOKEN_HOLDINGS, context=ALICE, status=0,
            writes={"con_token.balances:bob": "int:5", "con_token.balances:con_registry": "int:45"}),
    request("balance_factory", ("con_registry", "balance_factory"), "['con_reader']",
            bundle=["con_registry", "con_token", "con_owned"], storage=TOKEN_HOLDINGS, status=0, result="int:70"),
    request("private_function", ("con_registry", "call_private"), bundle=["con_registry", "con_token", "con_owned"],
            status=1,
            result="str:AssertionError(\"Exported function 'helper' does not exist on contract 'con_token'!\")"),
    # The owner rule: con_owned belongs to con_registry.
    request("owner_calls", ("con_registry", "call_owned"), bundle=["con_registry", "con_token", "con_owned"],
            owners={"con_owned": "con_registry"}, context=ALICE, status=0,
            result="list:[con_registry, con_registry, alice]"),
    request("stranger_calls", ("con_reader", "call_owned"), bundle=["con_reader", "con_token", "con_owned"],
            owners={"con_owned": "con_registry"}, context=ALICE, status=1,
            result="str:Exception(\"Caller is not the owner!\")"),
    # The entry call is not subject to the owner rule.
    request("owner_entry", ("con_owned", "secret"), owners={"con_owned": "con_registry"}, context=ALICE, status=0,
            result="list:[con_registry, alice, alice]", host_calls=["get_owner(con_owned)", "get_owner(con_owned)"]),

    # --- foreign storage: recorded writes, then live instances, then the host -------
    request("foreign_from_host", ("con_reader", "read"), "['alice']", bundle=["con_reader", "con_owned"],
            host=["con_token"], storage=TOKEN_HOLDINGS, status=0, result="int:1000"),
    request("foreign_missing", ("con_reader", "read"), "['nobody']", bundle=["con_reader", "con_owned"],
            host=["con_token"], status=0, result="none:None"),
    request("foreign_after_write", ("con_reader", "transfer_then_read"), "[30, 'bob']",
            bundle=["con_reader", "con_token", "con_owned"], storage=TOKEN_HOLDINGS, status=0, result="list:[40, 30]"),
    request("foreign_from_live_instance", ("con_reader", "cached_then_read"), "['alice']",
            bundle=["con_reader", "con_token", "con_owned"], storage=TOKEN_HOLDINGS, status=0,
            result="list:[1000, 1000]"),
    request("foreign_listing", ("con_reader", "listing"), bundle=["con_reader", "con_token", "con_owned"],
            storage=TOKEN_HOLDINGS, status=0, result="list:[1000, 70, 50]"),
    request("foreign_variable", ("con_reader", "read_level"), bundle=["con_reader", "con_token", "con_owned"],
            storage={"con_vault.level": "7"}, status=0, result="int:7"),

    # --- re-entry and the call limit ---------------------------------------------------
    # ping(2) -> pong -> ping -> pong -> ping(0): every call into con_ping while
    # it runs builds another instance, whose module body runs again.
    request("reentry", ("con_ping", "ping"), "[2]", bundle=["con_ping", "con_pong"], raw=82017,
            # costs two levels down count for their contract and for the frame above their caller
            costs={"con_ping": 83361, "con_pong": 45288},
            host_calls=["get_owner(con_ping)", "handle_syscall(test.log,ping body)", "get_owner(con_ping)",
                        "get_owner(con_pong)", "get_owner(con_pong)", "get_owner(con_pong)",
                        "get_owner(con_ping)", "get_owner(con_ping)", "handle_syscall(test.log,ping body)",
                        "get_owner(con_ping)", "get_owner(con_pong)", "get_owner(con_pong)", "get_owner(con_pong)",
                        "get_owner(con_ping)", "get_owner(con_ping)", "handle_syscall(test.log,ping body)",
                        "get_owner(con_ping)"],
            status=0, result="int:2"),
    # Two calls into con_ping, one after the other: one instance, one module body.
    request("two_calls_one_body", ("con_pong", "twice"), bundle=["con_ping", "con_pong"], status=0, result="int:0",
            host_calls=["get_owner(con_pong)", "get_owner(con_pong)", "get_owner(con_ping)", "get_owner(con_ping)",
                        "handle_syscall(test.log,ping body)", "get_owner(con_ping)", "get_owner(con_ping)",
                        "get_owner(con_ping)"]),
    request("recursion_across_contracts", ("con_rec_a", "f"), bundle=["con_rec_a", "con_rec_b"],
            meter=(False, 0, 0), status=1, result="str:RecursionError('maximum recursion depth exceeded')"),
    request("ping_at_the_limit", ("con_ping", "ping"), "[127]", bundle=["con_ping", "con_pong"],
            meter=(False, 0, 0), status=0, result="int:127"),
    request("ping_past_the_limit", ("con_ping", "ping"), "[128]", bundle=["con_ping", "con_pong"],
            meter=(False, 0, 0), status=1, result="str:RecursionError('maximum recursion depth exceeded')"),

    # 255 active calls, alternating between two contracts: the native stack
    # they take (about 1 MB in an optimised build) stays well inside the
    # 8 MB of a main thread.
    request("deepest_chain", ("con_deep_a", "down"), "[127]", bundle=["con_deep_a", "con_deep_b"],
            meter=(False, 0, 0), stack_limit_bytes=2 * 1024 * 1024, status=0, result="int:127"),

    # 256 builds, each one active call, alternating between two contracts:
    # the 257th fails when it starts. Each build level takes more native
    # stack than a call level (about 5 KB in an optimised build).
    request("deepest_build_chain", ("con_build_a", "f"), bundle=["con_build_a", "con_build_b"],
            meter=(False, 0, 0), stack_limit_bytes=2 * 1024 * 1024, status=1,
            result="str:RecursionError('maximum recursion depth exceeded')",
            # each build calls the host, then the other contract is admitted and built
            host_calls=["get_owner(con_build_a)"] + [line for level in range(256) for line in (
                "handle_syscall(test.depth)", *2 * ["get_owner(con_build_" + "ba"[level % 2] + ")"])]),

    # --- the write cap -----------------------------------------------------------------
    # key "con_writer.big:a" (16 bytes) + the text in quotes: 131071 bytes pass...
    request("writes_below_the_cap", ("con_writer", "fill"), "[131053]", status=0),
    # ... and 131072 fail.
    request("writes_reach_the_cap", ("con_writer", "fill"), "[131054]", status=1,
            result="str:You have exceeded the maximum write capacity per transaction!"),
    request("variable_counter", ("con_writer", "count"), storage={"con_writer.total": "41"}, status=0,
            result="int:42", writes={"con_writer.total": "int:42"},
            snapshots=["con_writer variables=[total default=int:0 value=int:42]"]),
]


def main():
    contracts = {name: translate(source, name) for name, source in CONTRACTS.items()}
    OUT.write_text(json.dumps({"contracts": contracts, "requests": REQUESTS}, indent=1, sort_keys=True) + "\n",
                   encoding="utf-8")


if __name__ == "__main__":
    main()
