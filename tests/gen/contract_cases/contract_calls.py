# Cross-contract call requests as the interpreter builds them: the
# positional "contract.call" form and its checks, "contract.export_call"
# with each of the four target kinds, "contract.import" handles; the request
# carries the calling contract as caller, the calling context and the count
# of active calls.
from gen_contract_cases import call, case

RET, EXPR, ASSIGN, CALL, NAME, CONST, LIST, DICT = 32, 32, 64, 5000, 64, 32, 128, 608

SOURCE = """
import token as tok

def call_name():
    return syscall("contract.call", "token", "balance")

def call_kwargs():
    return syscall("contract.call", "token", "transfer", {"to": "x", "n": 2})

def call_none():
    return syscall("contract.call", "token", "f", None)

def call_handle():
    return syscall("contract.call", syscall("contract.import", "reg"), "f")

def call_import_binding():
    return syscall("contract.call", tok, "f")

def nested():
    return call_name()

def static():
    return tok.transfer(1, to="x")

def dynamic():
    return export_call("f", "dynamic_import", syscall("contract.import", "reg"), 1)

def local():
    h = syscall("contract.import", name="reg")
    return export_call("f", ("local_handle", "h"), h, k=2)

def factory():
    return export_call("make", ("factory_call", "fac"), tok)

def failing():
    return syscall("contract.call", "token", "f")
"""


def request(target, function, arguments, caller_function, depth=1):
    return ("call_contract " + target + " " + function + " args=" + arguments + " caller=con_test signer=alice"
            " entry=con_test." + caller_function + " submission=sub now=100 depth=" + str(depth))


CASES = [
    case("requests", SOURCE, [
        call("call_name", result="int:1"),
        call("call_kwargs", result="int:2"),
        call("call_none", result="int:3"),
        call("call_handle", result="int:4"),
        call("call_import_binding", result="int:5"),
        call("nested", result="int:6"),
        call("static", result="int:7"),
        call("dynamic", result="int:8"),
        call("local", result="int:9"),
        call("factory", result="str:made"),
        call("failing", error="callee failed"),
    ], cost=(RET + CALL + 2 * CONST) + (RET + CALL + 2 * CONST + DICT + 4 * CONST) + (RET + CALL + 3 * CONST)
         + (RET + CALL + CALL + CONST + CONST) + (RET + CALL + NAME + CONST)
         + (RET + CALL + NAME + RET + CALL + 2 * CONST)
         + (RET + CALL + 2 * CONST) + (RET + CALL + CONST + CALL + CONST)
         + (ASSIGN + CALL + CONST + RET + CALL + CONST + NAME) + (RET + CALL + NAME) + (RET + CALL + 2 * CONST),
         context={"signer": "alice", "caller": "bob", "submission_name": "sub", "now": 100},
         contract_answers=[1, 2, 3, 4, 5, 6, 7, 8, 9, "made", {"error": "callee failed"}],
         host_calls=[
             request("dynamic_import token", "balance", "[]", "call_name"),
             request("dynamic_import token", "transfer", "[] to=x n=2", "call_kwargs"),
             request("dynamic_import token", "f", "[]", "call_none"),
             request("dynamic_import reg", "f", "[]", "call_handle"),
             request("dynamic_import token", "f", "[]", "call_import_binding"),
             request("dynamic_import token", "balance", "[]", "nested", depth=2),
             request("static_import tok=token", "transfer", "[1] to=x", "static"),
             request("dynamic_import reg", "f", "[1]", "dynamic"),
             request("local_handle h=reg", "f", "[] k=2", "local"),
             request("factory_call fac=token", "make", "[]", "factory"),
             request("dynamic_import token", "f", "[]", "failing"),
         ]),
    case("contract_call_checks", """
def kwargs_list():
    return syscall("contract.call", "token", "f", [])

def four():
    return syscall("contract.call", 1, "f", None, 1)

def keyword():
    return syscall("contract.call", 1, "f", k=1)

def empty():
    return syscall("contract.call")

def target_only():
    return syscall("contract.call", "token")

def int_target():
    return syscall("contract.call", 1, "f")

def int_function():
    return syscall("contract.call", "token", 1)

def int_key():
    return syscall("contract.call", "token", "f", {1: 2})
""", [call("kwargs_list", error="contract.call kwargs must be a dict, got list"),
      call("four", error="contract.call expects target, function, and optional kwargs dict"),
      call("keyword", error="contract.call expects target, function, and optional kwargs dict"),
      call("empty", error="contract.call expects a target"),
      call("target_only", error="contract.call expects a function"),
      call("int_target", error="contract.call target must be a contract name or handle, got int"),
      call("int_function", error="expected string value, got int"),
      call("int_key", error="expected string value, got int")],
         cost=(RET + CALL + 2 * CONST + LIST) + (RET + CALL + 4 * CONST) + (RET + CALL + 3 * CONST) + (RET + CALL)
         + (RET + CALL + CONST) + 2 * (RET + CALL + 2 * CONST) + (RET + CALL + 2 * CONST + DICT + 2 * CONST),
         host_calls=[]),
    case("export_call_checks", """
import token as tok

def not_handle():
    return export_call("f", "dynamic_import", "reg")

def unknown_static():
    return tok.f()
""", [call("not_handle", error="expected contract handle, got str"),
      call("unknown_static", error="unknown static import binding 'nope'")],
         cost=(RET + CALL + CONST) + (RET + CALL), host_calls=[],
         edit=lambda ir: ir["functions"][1]["body"][0]["value"]["contract_target"].update(binding="nope")),
    case("contract_import", """
def keywords():
    return syscall("contract.import", "p", name="n", module="m")

def name():
    return syscall("contract.import", "p", name="n")

def positional():
    return syscall("contract.import", "p", "q")

def nothing():
    return syscall("contract.import")

def int_name():
    return syscall("contract.import", 1)
""", [call("keywords", result="contract_handle:<contract:m>"),
      call("name", result="contract_handle:<contract:n>"),
      call("positional", result="contract_handle:<contract:p>"),
      call("nothing", error="contract.import expects a module name"),
      call("int_name", error="expected string value, got int")],
         cost=(RET + CALL + 3 * CONST) + 2 * (RET + CALL + 2 * CONST) + (RET + CALL) + (RET + CALL + CONST),
         host_calls=[]),
]
