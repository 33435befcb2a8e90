# Calls: evaluation order, the call price by function size, argument binding
# and its wrapped TypeErrors, defaults, the type-check switch, calls through
# values and the call trace lines.
from gen_contract_cases import call, case

R, A, E, P, NAME, CONST, LIST, TUPLE, DICT, CALL = 32, 64, 32, 32, 64, 32, 128, 128, 608, 5000


def assigns(n):
    return "".join("    x%d = 1\n" % i for i in range(n))


CASES = [
    case("arguments_before_callee", """
def f():
    return g(h(1), k=h(2))

def g(a, k):
    return a + k

def h(x):
    return x
""", call("f", result="int:3"),
         # f: return 32 + call 5000; args: call 5000 + name h 64 + constant + h (0 + return 32 + name 64);
         # keyword value likewise; callee name g 64; g: 0 + return 32 + bin_op 96 + 2 names
         cost=R + CALL + 2 * (CALL + NAME + CONST + 0 + R + NAME) + NAME + 0 + R + 96 + 2 * NAME,
         charges=[0, 32, 5000, 5000, 32, 64, 0, 32, 64, 5000, 32, 64, 0, 32, 64, 64, 0, 32, 96, 64, 64]),
    case("size_price_40_nodes_free", "def f():\n" + assigns(13) + "    pass\n",
         call("f", result="none:None"), cost=0 + 13 * (A + CONST) + P),
    case("size_price_41_nodes", "def f():\n" + assigns(13) + "    pass\n" * 2,
         call("f", result="none:None"), cost=150 + 13 * (A + CONST) + 2 * P),
    case("size_price_50_nodes", "def f():\n" + assigns(16) + "    pass\n" * 2,
         call("f", result="none:None"), cost=1500 + 16 * (A + CONST) + 2 * P),
    case("size_price_counts_defaults_and_before_binding", "def f(a, b=[1, 2, 3]):\n" + assigns(12) + "    pass\n",
         # 36 + 1 body nodes + 4 default nodes = 41
         call("f", error="TypeError(\"missing required argument 'a'\")"), cost=150),
    case("keywords_and_defaults", """
def f(a, b=2, *, c, d=4):
    return [a, b, c, d]
""", [call("f", 1, kwargs={"c": 3}), call("f", kwargs={"a": 1, "b": 5, "c": 6})],
         # call 1: default b (constant) and d (constant); call 2: default d
         cost=(CONST + CONST + R + LIST + 4 * NAME) + (CONST + R + LIST + 4 * NAME)),
    case("defaults_see_earlier_parameters", """
def f(a, b=a):
    return b
""", call("f", 5, result="int:5"), cost=NAME + R + NAME),
    case("defaults_evaluated_at_every_call", """
def f(a=[]):
    a.append(1)
    return a
""", [call("f", result="list:[1]"), call("f", result="list:[1]")],
         cost=2 * (LIST + E + CALL + NAME + CONST + R + NAME)),
    case("default_changes_stay_in_its_copy", """
def f(a=[1], b=a.append(2)):
    return a, b
""", call("f", result="tuple:([1], None)"),
         cost=LIST + CONST + CALL + NAME + CONST + R + TUPLE + 2 * NAME),
    case("known_function_keywords_and_defaults", """
def f(a, b=2, *, c, d=4):
    return [a, b, c, d]

def g():
    return f(1, c=3), f(d=7, c=6, a=1, b=5)
""", call("g", result="tuple:([1, 2, 3, 4], [1, 5, 6, 7])"),
         cost=R + TUPLE + (CALL + 2 * CONST + NAME + 0 + 2 * CONST + R + LIST + 4 * NAME)
         + (CALL + 4 * CONST + NAME + 0 + R + LIST + 4 * NAME)),
    case("known_function_defaults_see_earlier_parameters", """
def f(a, b=a, c=b):
    return [a, b, c]

def g():
    return f(c=0, a=5)
""", call("g", result="list:[5, 5, 0]"), cost=R + CALL + 2 * CONST + NAME + 0 + NAME + R + LIST + 3 * NAME),
    case("known_function_default_changes_stay_in_its_copy", """
def f(a=[1], b=a.append(2)):
    return a, b

def g():
    return f()
""", call("g", result="tuple:([1], None)"),
         cost=R + CALL + NAME + LIST + CONST + CALL + NAME + CONST + R + TUPLE + 2 * NAME),
    case("rebound_function_name_takes_keywords_by_name", """
def f(a, b=2):
    return a + b

def h(a, b=10):
    return a * b

def g():
    r = f(1, b=3)
    f = h
    return r, f(1, b=3)
""", call("g", result="tuple:(4, 3)"),
         cost=A + (CALL + 2 * CONST + NAME + 0 + R + 96 + 2 * NAME) + A + NAME
         + R + TUPLE + NAME + (CALL + 2 * CONST + NAME + 0 + R + 96 + 2 * NAME)),
    case("known_function_keywords_type_checked", """
@export(typecheck=True)
def f(a: int, b: str = 'x'):
    return b * a

def g():
    return f(b='y', a=2)

def h():
    return f(b='y', a='z')
""", [call("g", result="str:yy"), call("h", error="TypeError(\"Argument 'a' must be <class 'int'>, got str!\")")],
         cost=(R + CALL + 2 * CONST + NAME + 0 + R + 96 + 2 * NAME) + (R + CALL + 2 * CONST + NAME + 0)),
    case("vararg_and_kwarg", """
def f(a, *rest, **more):
    return a, rest, more
""", [call("f", 1), call("f", 1, 2, 3, kwargs={"z": 1, "a0": 2})],
         cost=2 * (R + TUPLE + 3 * NAME)),
    case("kwargs_keep_call_order", """
def f(**kw):
    return kw

def g():
    return f(b=1, a=2, **{'d': 3, 'c': 4})
""", call("g", result="dict:{b: 1, a: 2, d: 3, c: 4}"),
         cost=R + CALL + 2 * CONST + DICT + 4 * CONST + NAME + 0 + R + NAME),
    case("keyword_given_twice_for_positional", """
def f(a):
    return a
""", call("f", 1, kwargs={"a": 2}, error="TypeError(\"__f() got multiple values for keyword argument 'a'\")"),
         cost=0),
    case("keyword_repeated_through_unpack", """
def f(a):
    return a

def g():
    return f(a=1, **{'a': 2})
""", call("g", error="TypeError(\"__f() got multiple values for keyword argument 'a'\")"),
         cost=R + CALL + CONST + DICT + 2 * CONST + NAME + 0),
    case("too_many_positional", """
def f(a, *, b=1):
    return a
""", call("f", 1, 2, kwargs={"zz": 1}, error="TypeError(\"too many positional arguments for 'f'\")"), cost=CONST),
    case("unexpected_keyword", """
def f(a):
    return a
""", call("f", 1, kwargs={"zz": 1, "yy": 2}, error="TypeError(\"unexpected keyword argument 'zz'\")"), cost=0),
    case("missing_keyword_only", """
def f(*, a):
    return a
""", call("f", error="TypeError(\"missing required keyword-only argument 'a'\")"), cost=0),
    case("defaults_before_later_binding_error", """
def f(a=g(), *, b):
    return a

def g():
    return 1
""", call("f", error="TypeError(\"missing required keyword-only argument 'b'\")"),
         cost=0 + CALL + NAME + 0 + R + CONST),
    case("keyword_unpack_requires_dict", """
def f(**k):
    return k

def g():
    return f(**[1])
""", call("g", error="keyword unpacking requires a dict value"), cost=R + CALL + LIST + CONST),
    case("keyword_unpack_key_must_be_str", """
def f(**k):
    return k

def g():
    return f(**{1: 2})
""", call("g", error="expected string value, got int"), cost=R + CALL + DICT + 2 * CONST),
    case("keyword_item_without_node_is_plain", """
def f(a):
    return a

def g():
    return f(a=1)
""", call("g", result="int:1"), cost=R + CALL + CONST + NAME + 0 + R + NAME,
         edit=lambda ir: ir["functions"][1]["body"][0]["value"]["keywords"][0].pop("node")),
    case("unknown_keyword_kind", """
def f(a):
    return a

def g():
    return f(a=1)
""", call("g", error="unsupported keyword node 'star'"), cost=R + 96 + CALL,
         edit=lambda ir: ir["functions"][1]["body"][0]["value"].update(elements=[], values=[{
             "node": "call", "func": {"node": "name", "id": "f"}, "args": [],
             "keywords": [{"node": "star", "value": 1}]}], node="f_string")),
    case("calling_a_non_callable", """
def f():
    x = 5
    return x()
""", call("f", error="value of type int is not callable"), cost=A + CONST + R + CALL + NAME),
    case("calling_through_function_values", """
def g(a):
    return a * 2

def f():
    h = g
    return h(4)
""", call("f", result="int:8"), cost=A + NAME + R + CALL + CONST + NAME + 0 + R + 96 + NAME + CONST),
    case("call_function_unknown", """
def f():
    return 1
""", call("nope", error="unknown function 'nope'"), cost=0, env=["VELN_VM_TRACE_CALLS"],
         stderr="[vm-call] enter con_test.nope caller=None signer=None\n"
                "[vm-call] error con_test.nope -> unknown function 'nope'\n"),
    case("call_trace_lines", """
def f():
    return g()

def g():
    return None
""", call("f", result="none:None"), cost=R + CALL + NAME + R + CONST, env=["VELN_VM_TRACE_CALLS"],
         context={"caller": "alice", "signer": "bob"},
         stderr="[vm-call] enter con_test.f caller=alice signer=bob\n"
                "[vm-call] exit con_test.f -> None (none)\n"),
    case("typecheck_off_ignores_annotations", """
@export
def f(a: 'list[', b: int = 'x') -> 'nope[':
    return a
""", call("f", 1, result="int:1"), cost=CONST + R + NAME),
    case("typecheck_on_reports_unparsed_annotation", """
@export(typecheck=True)
def f(a: 'list['):
    return a
""", call("f", 1, error="unsupported type annotation ''list[''"), cost=0),
    case("typecheck_on_checks_the_return", """
@export(typecheck=True)
def f(a) -> int:
    return a

@export(typecheck=True)
def g() -> 'list[':
    return 1
""", [call("f", 1, result="int:1"), call("f", "x", error="TypeError(\"Return value must be <class 'int'>, got str!\")"),
      call("g", error="unsupported type annotation ''list[''")], cost=2 * (R + NAME) + R + CONST),
    case("typecheck_needs_export_decorator", """
@other(typecheck=True)
def f(a: 'list['):
    return a
""", call("f", 1, result="int:1"), cost=R + NAME),
    case("typecheck_needs_literal_true", """
@export(typecheck=1)
def f(a: 'list['):
    return a
""", call("f", 1, result="int:1"), cost=R + NAME),
    case("native_attempt_rejects_non_object_callee", """
def f():
    return 1
""", call("f", error="callable must be an object, got 7"), cost=R + 96 + CALL,
         edit=lambda ir: ir["functions"][0]["body"][0].update(value={
             "node": "f_string", "span": ir["functions"][0]["span"], "elements": [],
             "values": [{"node": "call", "func": 7, "args": [], "keywords": []}]})),
    case("call_without_func", """
def f():
    return 1
""", call("f", error="missing field 'func'"), cost=R + 96 + CALL + CONST,
         edit=lambda ir: ir["functions"][0]["body"][0].update(value={
             "node": "f_string", "span": ir["functions"][0]["span"], "elements": [],
             "values": [{"node": "call", "args": [{"node": "constant", "value_type": "int", "value": 1}],
                         "keywords": []}]})),
]
