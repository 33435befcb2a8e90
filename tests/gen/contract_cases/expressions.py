# Every expression kind with its price, order of evaluation and messages.
# Prices: name 64, constant 32, list/tuple 128, dict 608, call 5000,
# attribute/subscript/slice/bin_op/if_expr/formatted_value 96, unary_op 64,
# compare 96 x max(1, operators), bool_op 96 x max(1, values - 1),
# f_string 96 x max(1, values), list_comp 224, dict_comp 288.
from gen_contract_cases import call, case

R, A, E = 32, 64, 32
NAME, CONST, LIST, DICT, CALL, SUB, BIN, UN, IFX, FMT = 64, 32, 128, 608, 5000, 96, 96, 64, 96, 96


def span_of(ir):
    return ir["functions"][0]["span"]


def return_expr(ir):
    """The value of the first function's first (return) statement."""
    return ir["functions"][0]["body"][0]["value"]


def set_return_value(node):
    def edit(ir):
        node.setdefault("span", span_of(ir))
        ir["functions"][0]["body"][0]["value"] = node
    return edit


def constant(value_type, **members):
    return dict(node="constant", value_type=value_type, **members)


def unvalidated(node):
    """Returns f'{node}' through an f-string whose validated "elements" are
    empty while the evaluated "values" hold `node` (no validator sees it)."""
    def edit(ir):
        span = span_of(ir)
        ir["functions"][0]["body"][0]["value"] = {"node": "f_string", "span": span, "elements": [], "values": [node]}
    return edit


CASES = [
    case("constants", """
def f():
    return [None, True, 12, 'x', b'\\x01\\xab', 10**30]
""", call("f", result="list:[None, True, 12, x, b'\\x01\\xab', 1000000000000000000000000000000]"),
         cost=R + LIST + 5 * CONST + BIN + 2 * CONST),
    case("big_int_constant_as_text", """
def f():
    return 123456789012345678901234567890
""", call("f"), cost=R + CONST),
    case("float_literal_is_decimal", """
def f():
    return 0.1 + 1.5
""", call("f", result="decimal:1.6"), cost=R + BIN + 2 * CONST),
    case("decimal_results_leave_a_shared_operand_as_it_was", """
def f():
    a = 1.5
    b = a * a
    c = (a + 0.25) * 2.0 - a
    d = 2 * (a + 0.5) + 1
    return a, b, c, d
""", call("f", result="tuple:(1.5, 2.25, 2, 5)"),
         cost=A + CONST + A + BIN + 2 * NAME + A + 3 * BIN + 2 * NAME + 2 * CONST + A + 3 * BIN + NAME + 3 * CONST
         + R + LIST + 4 * NAME),
    case("concatenation_leaves_both_operands_as_they_were", """
def f():
    p = 'ab'
    s = p + str(12)
    t = s + s
    u = b'x' + bytes(2)
    return p, s, t, u
""", call("f"), cost=A + CONST + A + BIN + NAME + CALL + NAME + CONST + A + BIN + 2 * NAME + A + BIN + CONST + CALL
         + NAME + CONST + R + LIST + 4 * NAME),
    case("decimal_result_out_of_range_over_an_operand", """
def f():
    a = 1.5
    return a * 1e30 * 1e40
""", call("f", error="decimal value 15000000000000000000000000000000000000000000000000000000000000000000000 exceeds the "
                     "supported decimal range"), cost=A + CONST + R + 2 * BIN + NAME + 2 * CONST),
    case("float_without_literal_uses_shortest_text", """
def f():
    return 0.1
""", call("f", result="str:0.1"), cost=R + 96 + CONST,
         edit=unvalidated(constant("float", value=0.1))),
    case("float_literal_refused", """
def f():
    return 0.1
""", call("f", error="invalid decimal literal 'abc'"), cost=R + 96 + CONST,
         edit=unvalidated(constant("float", value=0.1, literal="abc"))),
    case("int_constant_without_value", """
def f():
    return 1
""", call("f", error="field 'value' must be an int"), cost=R + CONST,
         edit=lambda ir: return_expr(ir).pop("value")),
    case("bool_constant_not_bool", """
def f():
    return True
""", call("f", error="field 'value' must be a bool"), cost=R + CONST,
         edit=lambda ir: return_expr(ir).update(value=1)),
    case("bytes_constant_odd_digits", """
def f():
    return b'\\x01'
""", call("f", error="invalid bytes constant: odd number of hex digits"), cost=R + 96 + CONST,
         edit=unvalidated(constant("bytes", value="123"))),
    case("tuple_and_nested_list", """
def f(a):
    return (a, [a, (a,)], ())
""", call("f", 1), cost=R + 128 + NAME + LIST + NAME + 128 + NAME + 128),
    case("dict_display_keeps_duplicates", """
def f():
    return {'a': 1, 'a': 2}
""", call("f", result="dict:{a: 1, a: 2}"), cost=R + DICT + 4 * CONST),
    case("dict_unpack", """
def f(d):
    return {'x': 0, **d}
""", call("f", {"y": 1}), cost=R + DICT + 2 * CONST + NAME),
    case("dict_unpack_requires_dict", """
def f():
    return {**[1]}
""", call("f", error="dict unpacking requires a dict value"), cost=R + DICT + LIST + CONST),
    case("dict_entry_not_object", """
def f():
    return {'a': 1}
""", call("f", error="dict entry must be an object, got 5"), cost=R + 96 + DICT,
         edit=unvalidated({"node": "dict", "entries": [5]})),
    case("dict_entry_without_value", """
def f():
    return {'a': 1}
""", call("f", error="missing field 'value'"), cost=R + 96 + DICT + CONST,
         edit=unvalidated({"node": "dict", "entries": [{"key": constant("str", value="a")}]})),
    case("subscripts", """
def f(xs, d, s):
    return xs[-1], d['k'], s[1]
""", call("f", [1, 2, 3], {"k": 7}, "abc"), cost=R + 128 + 3 * (SUB + NAME) + CONST + CONST + UN + CONST),
    case("subscript_out_of_range", """
def f(xs):
    return xs[5]
""", call("f", [1], error="sequence index out of bounds"), cost=R + SUB + NAME + CONST),
    case("slices", """
def f(xs):
    return xs[1:], xs[:2], xs[::-1], xs[True:3:1]
""", call("f", [1, 2, 3, 4]),
         # each subscript 96 + name 64; bounds: 1 / 2 / unary 64 + 1 / True, 3, 1 (the slice node itself is free)
         cost=R + 128 + 4 * (SUB + NAME) + CONST + CONST + UN + CONST + 3 * CONST),
    case("slice_bound_must_be_int", """
def f(xs):
    return xs['a':]
""", call("f", [1], error="expected int-compatible value, got str"), cost=R + SUB + NAME + CONST),
    case("slice_alone_fails_after_its_price", """
def f():
    return 1
""", call("f", error="slice expressions are only supported as subscripts"), cost=R + 96,
         edit=set_return_value({"node": "slice", "lower": None, "upper": None, "step": None})),
    case("attributes_of_time_deltas", """
def f():
    return days.seconds, weeks.days
""", call("f", result="tuple:(86400, 7)"), cost=R + 128 + 2 * (96 + NAME)),
    case("attribute_unsupported", """
def f(x):
    return x.real
""", call("f", 1, error="value of type int has no native attribute 'real'"), cost=R + 96 + NAME),
    case("compare_chain", """
def f(a, b, c):
    return a < b < c, a < b > c, a == a != b
""", call("f", 1, 2, 3),
         # each chain of two links: 192 + left + comparators as evaluated; a < b > c stops nowhere (both hold? 1<2, 2>3 no)
         cost=R + 128 + 3 * (192 + 3 * NAME)),
    case("compare_short_circuit_skips_call", """
def f():
    return 2 < 1 < g()

def g():
    return 3
""", call("f"), cost=R + 192 + 2 * CONST),
    case("compare_in_and_is", """
def f(xs):
    return 1 in xs, 5 not in xs, None is None, 0 is not False
""", call("f", [1, 2]), cost=R + 128 + 4 * (96 + 2 * CONST) + 2 * NAME - 2 * CONST),
    case("compare_empty_yields_true", """
def f():
    return 1 < 2
""", call("f", result="bool:True"), cost=R + 96 + CONST,
         edit=lambda ir: return_expr(ir).update(operators=[], comparators=[])),
    case("compare_count_mismatch_after_left", """
def f():
    return 1 < 2
""", call("f", error="compare operator/comparator count mismatch"), cost=R + 192 + CONST,
         edit=lambda ir: return_expr(ir).update(operators=["lt", "lt"])),
    case("compare_unordered_values", """
def f():
    return [1] < 2
""", call("f", error="values list and int are not order-comparable"), cost=R + 96 + LIST + 2 * CONST),
    case("bool_ops", """
def f(a, b):
    return a or b, a and b, a or b or 3, 0 and g()

def g():
    return 1
""", call("f", 0, 2),
         # or: 96 + a + b; and: 96 + a (stops); or-or: 192 + a + b (stops at b); and: 96 + constant (stops)
         cost=R + 128 + (96 + 2 * NAME) + (96 + NAME) + (192 + 2 * NAME) + (96 + CONST)),
    case("bool_op_empty_values", """
def f():
    return 1 or 2
""", call("f", result="bool:False"), cost=R + 96,
         edit=lambda ir: return_expr(ir).update(values=[])),
    case("bool_op_single_value", """
def f():
    return 1 or 2
""", call("f", result="int:0"), cost=R + 96 + CONST,
         edit=lambda ir: return_expr(ir).update(values=[constant("int", value=0, span=span_of(ir))])),
    case("unary_ops", """
def f(x):
    return not x, -x, +x, ~x
""", call("f", 5), cost=R + 128 + 4 * (UN + NAME)),
    case("unary_neg_of_bool_refused", """
def f():
    return -True
""", call("f", error="unsupported neg operand bool"), cost=R + UN + CONST),
    case("binary_ops", """
def f(a, b):
    return [a + b, a - b, a * b, a // b, a % b, a ** b, a & b, a | b, a ^ b, a << b, a >> b]
""", call("f", 7, 2), cost=R + LIST + 11 * (BIN + 2 * NAME)),
    case("binary_operands_before_operator_check", """
def f():
    return 1 + 2
""", call("f", error="unsupported binary operator 'matmul'"), cost=R + 96 + BIN + 2 * CONST,
         edit=unvalidated({"node": "bin_op", "operator": "matmul", "left": constant("int", value=1),
                           "right": constant("int", value=2)})),
    case("division_by_zero", """
def f(a):
    return a // 0
""", call("f", 1, error="division by zero"), cost=R + BIN + NAME + CONST),
    case("string_concat_and_repeat", """
def f(s):
    return s + '!' * 3
""", call("f", "hi"), cost=R + 2 * BIN + NAME + 2 * CONST),
    case("if_expr_evaluates_one_branch", """
def f(x):
    return g() if x else 2

def g():
    return 1
""", [call("f", True), call("f", False)],
         cost=(R + IFX + NAME + CALL + NAME + 0 + R + CONST) + (R + IFX + NAME + CONST)),
    case("f_strings", """
def f(x):
    return f'x={x}!', f'{x}', f''
""", call("f", [1, 'a'], result="tuple:(x=[1, a]!, [1, a], )"),
         # 3 values: 288 + 2 constants + formatted 96 + name; 1 value: 96 + formatted + name; none: 96
         cost=R + 128 + (288 + 2 * CONST + FMT + NAME) + (96 + FMT + NAME) + 96),
    case("f_string_conversion_refused", """
def f(x):
    return f'{x!r}'
""", call("f", 1, error="f-string conversions are not supported in veln-vm-core"), cost=R + 96 + FMT),
    case("f_string_format_spec_refused", """
def f(x):
    return f'{x:>3}'
""", call("f", 1, error="f-string format specifications are not supported in veln-vm-core"), cost=R + 96 + FMT),
    case("f_string_values_are_not_validated", """
def f(x):
    return f'{x}'
""", call("f", 1, error="unsupported expression node 'mystery'"), cost=R + 192 + FMT + NAME,
         edit=lambda ir: return_expr(ir).update(elements=[], values=return_expr(ir)["values"] + [{"node": "mystery"}])),
    case("f_string_reads_values_not_elements", """
def f(x):
    return f'{x}'
""", call("f", 1, result="str:1"), cost=R + 96 + FMT + NAME,
         edit=lambda ir: return_expr(ir).update(elements=[])),
    case("list_reads_elements", """
def f():
    return [1]
""", call("f", error="field 'elements' must be an array"), cost=R + LIST,
         edit=lambda ir: return_expr(ir).update(values=return_expr(ir).pop("elements"))),
    case("unknown_expression_kind_charges_nothing", """
def f(x):
    return f'{x}'
""", call("f", 1, error="unsupported expression node 'nope'"), cost=R + 96,
         edit=unvalidated({"node": "nope"})),
    case("expression_not_an_object", """
def f(x):
    return f'{x}'
""", call("f", 1, error='expression must be an object, got [1,"a"]'), cost=R + 96,
         edit=unvalidated([1, "a"])),
    case("expression_node_not_string", """
def f(x):
    return f'{x}'
""", call("f", 1, error="field 'node' must be a string"), cost=R + 96,
         edit=unvalidated({"node": 5})),
    case("compare_price_error_before_charge", """
def f(x):
    return f'{x}'
""", call("f", 1, error="field 'operators' must be an array"), cost=R + 96,
         edit=unvalidated({"node": "compare", "left": 1})),
]
