# Method calls on values: the receiver read once (as an assignment target when
# it is a name or a subscript), the method, and the write-back of a changed
# receiver to a local, to a module global, or into its container.
from gen_contract_cases import call, case

R, A, E, NAME, CONST, LIST, TUPLE, DICT, SUB, CALL = 32, 64, 32, 64, 32, 128, 128, 608, 96, 5000
FOR, ITEM, IF, CMP, BIN = 96, 96, 96, 96, 96


def edited_set():
    """A set of 300 ints (large enough to keep its edits pending), the items
    of `if y not in s: s.add(y)` followed by a discard, the set that leaves
    and the number of additions made."""
    s, ys = set(range(0, 600, 2)), [(i * 37) % 700 for i in range(300)]
    edited, added = set(s), 0
    for y in ys:
        if y not in edited:
            edited.add(y)
            added += 1
        edited.discard(y + 3)
    return s, ys, "set:{" + ", ".join(map(str, sorted(edited))) + "}", added


EDITED_SET, EDITED_ITEMS, EDITED_RESULT, EDITED_ADDS = edited_set()

CASES = [
    case("append_to_local", """
def f():
    xs = []
    xs.append(1)
    xs.append(2)
    return xs
""", call("f"), cost=A + LIST + 2 * (E + CALL + CONST + NAME) + R + NAME),
    case("append_to_module_global_twice", """
xs = []

def add(v):
    xs.append(v)
    xs.append(v)
    return xs

def read():
    return xs
""", [call("add", 1, result="list:[1, 1]"), call("add", 2, result="list:[1, 1, 2, 2]"),
      call("read", result="list:[1, 1, 2, 2]")],
         cost=A + LIST + 2 * (2 * (E + CALL + 2 * NAME) + R + NAME) + R + NAME),
    case("append_into_dict_value", """
def f(d):
    d['k'].append(1)
    return d
""", call("f", {"k": [0]}), cost=E + CALL + CONST + SUB + NAME + CONST + R + NAME),
    case("method_on_literal_without_change", """
def f():
    return 'abc'.upper()
""", call("f"), cost=R + CALL + CONST),
    case("str_methods_leave_a_shared_text_as_it_was", """
def f():
    s = str(12) + 'ab'
    t = s.upper()
    u = str(7).replace('7', 'x').upper()
    return s, t, u
""", call("f"), cost=A + BIN + CALL + NAME + 2 * CONST + A + CALL + NAME + A + 3 * CALL + NAME + 3 * CONST + R + TUPLE
         + 3 * NAME),
    case("changing_method_on_literal_refused_after_it_ran", """
def f():
    return [1, 2].pop()
""", call("f", error="unsupported assignment target 'list'"), cost=R + CALL + LIST + 2 * CONST),
    case("changing_method_on_call_result_refused", """
def f():
    return g().pop()

def g():
    return [1]
""", call("f", error="unsupported assignment target 'call'"), cost=R + CALL + CALL + NAME + 0 + R + LIST + CONST),
    case("pop_returns_and_writes_back", """
def f():
    xs = [1, 2, 3]
    y = xs.pop()
    return xs, y
""", call("f"), cost=A + LIST + 3 * CONST + A + CALL + NAME + R + TUPLE + 2 * NAME),
    case("method_on_function_reference", """
def g():
    pass

def f():
    g.append(1)
""", call("f", error="value of type function_ref has no native method 'append()'"), cost=E + CALL + CONST + NAME),
    case("method_on_unknown_name", """
def f():
    xs.append(1)
""", call("f", error="unknown name 'xs'"), cost=E + CALL + CONST + NAME),
    case("keyword_arguments_refused", """
def f():
    xs = []
    xs.append(x=1)
""", call("f", error="native method 'append()' does not accept keyword arguments"),
         cost=A + LIST + E + CALL + CONST + NAME),
    case("failed_method_leaves_nothing_to_write", """
def f():
    xs = []
    xs.pop()
""", call("f", error="pop from empty list"), cost=A + LIST + E + CALL + NAME),
    case("attribute_with_host_binding_is_not_a_method", """
def f():
    return datetime.now()
""", call("f", error="value of type type_marker is not callable"), cost=R + CALL + 96,
         edit=lambda ir: ir["functions"][0]["body"][0]["value"]["func"].update(host_binding_id="time.datetime.new")),
    case("module_body_method_call", """
xs = []
xs.append(1)

def f():
    return xs
""", call("f", result="list:[1]"), cost=A + LIST + E + CALL + CONST + NAME + R + NAME),
    case("set_add_and_dict_pop", """
def f(s, d):
    s.add(3)
    v = d.pop('a')
    return s, d, v
""", call("f", {1}, {"a": 1, "b": 2}, result="tuple:({1, 3}, {b: 2}, 1)"),
         cost=E + CALL + CONST + NAME + A + CALL + CONST + NAME + R + TUPLE + 3 * NAME),
    case("set_edits_between_lookups_on_a_large_set", """
def f(s, ys):
    for y in ys:
        if y not in s:
            s.add(y)
        s.discard(y + 3)
    return s
""", call("f", EDITED_SET, EDITED_ITEMS, result=EDITED_RESULT),
         cost=FOR + NAME + len(EDITED_ITEMS) * (ITEM + IF + CMP + 2 * NAME + E + CALL + BIN + 2 * NAME + CONST)
         + EDITED_ADDS * (E + CALL + 2 * NAME) + R + NAME),
]
