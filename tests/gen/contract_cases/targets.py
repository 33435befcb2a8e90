# Assignment targets: names, destructuring, subscript chains written back
# from the innermost level out, and the targets that cannot be written.
# A subscript level read while resolving (every level inside the outermost
# one, and the outermost too in an augmented assignment) costs 96.
from gen_contract_cases import call, case

R, A, AUG, NAME, CONST, LIST, TUPLE, SUB, CALL = 32, 64, 96, 64, 32, 128, 128, 96, 5000

CASES = [
    case("destructure_list_into_names", """
def f():
    a, b = [1, 2]
    return a, b
""", call("f"), cost=A + LIST + 2 * CONST + R + TUPLE + 2 * NAME),
    case("destructure_count_mismatch", """
def f():
    a, b = (1, 2, 3)
    return a
""", call("f", error="destructuring target count does not match value length"), cost=A + TUPLE + 3 * CONST),
    case("destructure_str_refused", """
def f():
    a, b = 'ab'
""", call("f", error="cannot destructure str"), cost=A + CONST),
    case("destructure_nested_in_order", """
def f():
    [a, (b, c)] = (1, [2, 3])
    return a, b, c
""", call("f"), cost=A + TUPLE + CONST + LIST + 2 * CONST + R + TUPLE + 3 * NAME),
    case("nested_subscript_assignment_copies", """
def f():
    d = {'k': [1, 2]}
    old = d['k']
    d['k'][0] = 5
    return d, old
""", call("f", result="tuple:({k: [5, 2]}, [1, 2])"),
         # d = {...}: 64 + dict 608 + constant + list 128 + 2 constants; old = d['k']: 64 + 96 + name + constant;
         # d['k'][0] = 5: 64 + constant; inner level 96 + name + constant; outer index constant
         cost=A + 608 + CONST + LIST + 2 * CONST + A + SUB + NAME + CONST + A + CONST + SUB + NAME + CONST + CONST
         + R + TUPLE + 2 * NAME),
    case("list_item_assignment", """
def f(xs):
    xs[-1] = 9
    return xs
""", call("f", [1, 2]), cost=A + CONST + NAME + 64 + CONST + R + NAME),
    case("list_item_assignment_leaves_a_shared_copy", """
def f():
    xs = [1, 2]
    ys = xs
    xs[0] = 9
    return xs, ys, (7, 8)[-2]
""", call("f", result="tuple:([9, 2], [1, 2], 7)"),
         # values, not references: ys keeps the list it was given; the index -2 is a unary op (64)
         cost=A + LIST + 2 * CONST + A + NAME + A + CONST + NAME + CONST
         + R + TUPLE + 2 * NAME + SUB + TUPLE + 2 * CONST + 64 + CONST),
    case("list_item_assignment_out_of_range", """
def f(xs):
    xs[5] = 9
""", call("f", [1], error="sequence index out of bounds"), cost=A + CONST + NAME + CONST),
    case("subscript_assignment_to_global_writes_local", """
xs = [1, 2]

def f():
    xs[0] = 9
    return xs

def g():
    return xs
""", [call("f", result="list:[9, 2]"), call("g", result="list:[1, 2]")],
         cost=A + LIST + 2 * CONST + (A + CONST + NAME + CONST + R + NAME) + R + NAME),
    case("augmented_nested_subscript", """
def f():
    d = {'a': {'b': 1}}
    d['a']['b'] += 10
    return d
""", call("f"),
         # aug 96; outer level 96, inner level 96, root name 64, 'a' 32, 'b' 32; value 32
         cost=A + 608 + CONST + 608 + 2 * CONST + AUG + SUB + SUB + NAME + 2 * CONST + CONST + R + NAME),
    case("attribute_target_refused", """
def f(x):
    x.y = 1
""", call("f", 1, error="attribute assignment is not yet supported in veln-vm-core"), cost=A + CONST),
    case("call_result_target_refused_after_index", """
def f():
    g()[0] = 5

def g():
    return [1]
""", call("f", error="unsupported assignment target 'call'"),
         cost=A + CONST + CALL + NAME + 0 + R + LIST + CONST + CONST),
    case("call_result_target_assign_error_comes_first", """
def f():
    g()[3] = 5

def g():
    return [1]
""", call("f", error="sequence index out of bounds"),
         cost=A + CONST + CALL + NAME + 0 + R + LIST + CONST + CONST),
    case("slice_target_refused", """
def f(xs):
    xs[1:2] = []
""", call("f", [1, 2, 3], error="slice expressions are only supported as subscripts"),
         cost=A + LIST + NAME + 96),
    case("augmented_attribute_reads_then_refuses", """
def f():
    days.seconds += 1
""", call("f", error="attribute assignment is not yet supported in veln-vm-core"),
         cost=AUG + 96 + NAME + CONST),
    case("augmented_tuple_target_refused", """
def f():
    a = 1
""", call("f", error="unsupported aug-assign target 'tuple_target'"), cost=AUG,
         edit=lambda ir: ir["functions"][0]["body"].__setitem__(0, {
             "node": "aug_assign", "span": ir["functions"][0]["span"], "operator": "add",
             "target": {"node": "tuple_target", "span": ir["functions"][0]["span"], "elements": []},
             "value": {"node": "constant", "span": ir["functions"][0]["span"], "value_type": "int", "value": 1}})),
    case("augmented_assignment_to_str_grows", """
def f(n):
    s = ''
    for x in n:
        s += 'ab'
        s = s + 'c'
    return s
""", call("f", [1, 2]),
         cost=A + CONST + 96 + NAME + 2 * (96 + AUG + NAME + CONST + A + 96 + NAME + CONST) + R + NAME),
]
