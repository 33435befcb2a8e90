# Every statement kind: its charge, its order of work, loops and their
# per-iteration charge, break/continue/else, raise and assert messages.
# Costs are sums of the price tables: statements (expr/pass/return/break/
# continue 32, assign 64, aug_assign/if/for/while/raise/assert 96), names 64,
# constants 32, bin_op/compare/subscript/attribute 96, list/tuple 128,
# call 5000, 96 per loop iteration; a function call adds its size price
# (0 up to 40 nodes).
from gen_contract_cases import call, case

S, E, P, R, A, AUG, IF, FOR, WHILE, RAISE, ASSERT = 32, 32, 32, 32, 64, 96, 96, 96, 96, 96, 96
NAME, CONST, BIN, CMP, SUB, LIST, CALL, ITEM = 64, 32, 96, 96, 96, 128, 5000, 96

# Every loop form: a target that is a name, a tuple or a subscript; a body of
# pass, continue or break. Run in a function and in the module body; the
# subscript target reads its container (a name, 64) and index (32).
LOOP_FORMS = ["xs = [0]", "for j in [1, 2]:", "    pass", "for j in [3, 4]:", "    continue", "for j in [5, 6]:",
              "    break", "for a, b in [(8, 9)]:", "    pass", "for xs[0] in [7]:", "    pass"]
LOOP_FORMS_COST = (A + LIST + CONST + 3 * (FOR + LIST + 2 * CONST) + 2 * (ITEM + P) + 2 * (ITEM + 32) + (ITEM + 32)
                   + FOR + LIST + 128 + 2 * CONST + ITEM + P + FOR + LIST + CONST + ITEM + NAME + CONST + P
                   + R + LIST + 4 * NAME)

CASES = [
    case("expr_pass_return_none", """
def f():
    1
    pass
""", call("f"), cost=E + CONST + P, charges=[0, 32, 32, 32]),
    case("return_without_value", """
def f():
    return
""", call("f"), cost=R),
    case("assign_several_targets", """
def f():
    a = b = [1]
    b.append(2)
    return a, b
""", call("f", result="tuple:([1], [1, 2])"),
         # assign 64 + list 128 + constant 32; expr 32 + call 5000 + receiver name 64 + constant 32;
         # return 32 + tuple 128 + two names
         cost=A + LIST + CONST + E + CALL + NAME + CONST + R + 128 + 2 * NAME),
    case("aug_assign_name_and_subscript", """
def f(d):
    n = 1
    n += 10
    d['k'] += n
    return d, n
""", call("f", {"k": 5}, result="tuple:({k: 16}, 11)"),
         # n = 1: 96; n += 10: aug 96 + name 64 + constant 32; d['k'] += n: aug 96 + subscript 96 + name 64
         # + constant 32 + name 64; return 32 + tuple 128 + two names
         cost=A + CONST + AUG + NAME + CONST + AUG + SUB + NAME + CONST + NAME + R + 128 + 2 * NAME),
    case("aug_assign_unbound_name", """
def f():
    n += 1
""", call("f", error="unknown name 'n'"), cost=AUG + NAME),
    case("aug_assign_global_writes_local", """
total = 5

def f():
    total += 1
    return total

def g():
    return total
""", [call("f", result="int:6"), call("g", result="int:5")],
         # module body: assign 64 + constant 32; f: aug 96 + name 64 + constant 32, return 32 + name 64; g: return 32 + name 64
         cost=A + CONST + AUG + NAME + CONST + R + NAME + R + NAME),
    case("if_branches", """
def f(x):
    if x:
        return 1
    else:
        return 2
""", [call("f", True), call("f", 0)], cost=2 * (IF + NAME + R + CONST)),
    case("if_return_skips_rest", """
def f():
    if True:
        return 1
    x = 2
""", call("f"), cost=IF + CONST + R + CONST),
    case("for_else_runs_after_items", """
def f(xs):
    out = []
    for x in xs:
        out.append(x)
    else:
        out.append(0)
    return out
""", call("f", [1, 2]),
         # out = []: 64 + 128; for 96 + name 64; per item 96 + expr 32 + call 5000 + 2 names; else: expr + call + name + constant
         cost=A + LIST + FOR + NAME + 2 * (ITEM + E + CALL + 2 * NAME) + E + CALL + NAME + CONST + R + NAME),
    case("for_empty_runs_else", """
def f():
    for x in []:
        return 1
    else:
        return 2
""", call("f"), cost=FOR + LIST + R + CONST),
    case("for_break_skips_else", """
def f(xs):
    n = 0
    for x in xs:
        if x == 2:
            break
        n += x
    else:
        n = 100
    return n
""", call("f", [1, 2, 3]),
         # n = 0: 96; for 96 + name 64; item 1: 96 + if 96 + compare 96 + name + constant + aug 96 + 2 names;
         # item 2: 96 + if 96 + compare 96 + name + constant + break 32; return 32 + name
         cost=A + CONST + FOR + NAME + (ITEM + IF + CMP + NAME + CONST + AUG + 2 * NAME)
         + (ITEM + IF + CMP + NAME + CONST + 32) + R + NAME),
    case("for_continue", """
def f(xs):
    n = 0
    for x in xs:
        if x == 2:
            continue
        n += x
    return n
""", call("f", [1, 2, 3]),
         cost=A + CONST + FOR + NAME + 2 * (ITEM + IF + CMP + NAME + CONST + AUG + 2 * NAME)
         + (ITEM + IF + CMP + NAME + CONST + 32) + R + NAME),
    case("break_in_else_ends_outer_loop", """
def f():
    n = 0
    for a in [1, 2]:
        for b in []:
            pass
        else:
            break
        n = 5
    return n
""", call("f"),
         # outer for 96 + list 128 + 2 constants; one item 96; inner for 96 + list 128; else: break 32
         cost=A + CONST + FOR + LIST + 2 * CONST + ITEM + FOR + LIST + 32 + R + NAME),
    case("for_destructures_target", """
def f(pairs):
    total = 0
    for a, b in pairs:
        total += a * b
    return total
""", call("f", [(1, 2), (3, 4)]),
         cost=A + CONST + FOR + NAME + 2 * (ITEM + AUG + NAME + BIN + 2 * NAME) + R + NAME),
    case("for_over_string_dict_bytes", """
def f(s, d, b):
    out = []
    for c in s:
        out.append(c)
    for k in d:
        out.append(k)
    for x in b:
        out.append(x)
    return out
""", call("f", "ab", {"x": 1, "y": 2}, b"\x01\xff"),
         cost=A + LIST + 3 * (FOR + NAME) + 6 * (ITEM + E + CALL + 2 * NAME) + R + NAME),
    case("for_over_int_fails", """
def f():
    for x in 5:
        pass
""", call("f", error="value of type int is not iterable"), cost=FOR + CONST),
    case("for_iterates_snapshot", """
def f():
    xs = [1, 2]
    for x in xs:
        xs.append(x)
    return xs
""", call("f", result="list:[1, 2, 1, 2]"),
         cost=A + LIST + 2 * CONST + FOR + NAME + 2 * (ITEM + E + CALL + 2 * NAME) + R + NAME),
    case("for_over_range", """
def f(n, low, step):
    out = []
    for i in range(n):
        out.append(i)
    for i in range(n, low, step):
        out.append(i)
    for i in range(9223372036854775805, 9223372036854775807):
        out.append(i)
    return out
""", call("f", 3, -3, -2),
         # each for: 96, the call 5000, its name 64 and its arguments; 8 items of 96 + expr 32 + call 5000 + 2 names
         cost=A + LIST + 3 * (FOR + CALL + NAME) + 4 * NAME + 2 * CONST + 8 * (ITEM + E + CALL + 2 * NAME) + R + NAME),
    case("for_over_range_past_its_limit", """
def f(n):
    for i in range(n):
        pass
""", call("f", 131073, error="range() exceeds the maximum allowed allocation size"), cost=FOR + CALL + 2 * NAME),
    case("for_over_range_at_its_limit", """
def f(n):
    for i in range(1, n, 65536):
        pass
    for i in range(n):
        pass
""", call("f", 131072), cost=2 * (FOR + CALL + NAME) + 2 * NAME + CONST * 2 + 131074 * (ITEM + P)),
    case("for_over_range_bound_to_a_value", """
def f():
    range = 5
    for i in range(2):
        pass
""", call("f", error="value of type int is not callable"), cost=A + CONST + FOR + CALL + CONST + NAME),
    case("for_over_range_out_of_chi_at_its_name", """
def f(n):
    for i in range(n):
        pass
""", call("f", 2, error="Out of chi."), budget=FOR + CALL + NAME + 63, cost=FOR + CALL + 2 * NAME),
    case("loop_forms_in_function", "\ndef f():\n" + "".join("    " + line + "\n" for line in LOOP_FORMS)
         + "    return [j, a, b, xs]\n", call("f"),
         # 44 nodes: a size price of 150 for each node past 40
         cost=LOOP_FORMS_COST + 4 * 150),
    case("loop_forms_in_module_body", "\n" + "".join(line + "\n" for line in LOOP_FORMS)
         + "\ndef f():\n    return [j, a, b, xs]\n", call("f", result="list:[5, 8, 9, [7]]"), cost=LOOP_FORMS_COST),
    case("while_loop", """
def f(n):
    i = 0
    while i < n:
        i += 1
    else:
        i += 10
    return i
""", call("f", 2),
         # each test: compare 96 + 2 names; true: 96 + aug 96 + name + constant
         cost=A + CONST + WHILE + 3 * (CMP + 2 * NAME) + 2 * (ITEM + AUG + NAME + CONST) + AUG + NAME + CONST
         + R + NAME),
    case("while_false_at_once", """
def f():
    while False:
        pass
    return 1
""", call("f"), cost=WHILE + CONST + R + CONST),
    case("while_break_continue", """
def f():
    i = 0
    while True:
        i += 1
        if i < 3:
            continue
        break
    return i
""", call("f"),
         cost=A + CONST + WHILE + 3 * (CONST + ITEM + AUG + NAME + CONST + IF + CMP + NAME + CONST) + 2 * 32 + 32
         + R + NAME),
    case("raise_exception_value_class", """
def f():
    raise Exception

def g():
    raise ValueError
""", [call("f", error="Exception()"), call("g", error="unknown name 'ValueError'")], cost=2 * (RAISE + NAME)),
    case("raise_int", """
def f():
    raise 5
""", call("f", error="TypeError('exceptions must derive from BaseException, got int')"), cost=RAISE + CONST),
    case("raise_other_builtin", """
def f():
    raise len
""", call("f", error="TypeError('exceptions must derive from BaseException, got builtin')"), cost=RAISE + NAME),
    case("raise_with_cause_evaluates_cause_first", """
def f():
    raise 1 from g()

def g():
    return 2
""", call("f", error="TypeError('exceptions must derive from BaseException, got int')"),
         cost=RAISE + CALL + NAME + 0 + R + CONST + CONST),
    case("assert_true_skips_message", """
def f():
    assert True, g()
    return 1

def g():
    return 2
""", call("f"), cost=ASSERT + CONST + R + CONST),
    case("assert_messages", """
def f(x):
    assert x, "it's \\\\ here"

def g():
    assert False

def h():
    assert 0, [1, 'a']
""", [call("f", False, error="AssertionError('it\\'s \\\\ here')"), call("g", error="AssertionError()"),
      call("h", error="AssertionError([1, a])")],
         cost=ASSERT + NAME + CONST + ASSERT + CONST + ASSERT + CONST + LIST + 2 * CONST),
    case("statement_trace_lines", """
def f():
    x = 1
    return x
""", call("f"), cost=A + CONST + R + NAME, env=["VELN_VM_TRACE_STATEMENTS"],
         stderr="[vm-stmt] con_test assign\n[vm-stmt] con_test return\n"),
    case("statement_trace_after_failed_charge_is_absent", """
def f():
    x = 1
    return x
""", call("f", error="Out of chi."), cost=A + CONST + R, budget=A + CONST + 31, env=["VELN_VM_TRACE_STATEMENTS"],
         stderr="[vm-stmt] con_test assign\n"),
    # while 96, then its test: compare 96, the left name 64, the right operand
    case("loop_test_runs_out_of_chi_at_its_second_name", """
def f(n):
    i = 0
    while i < n:
        i += 1
    return i
""", call("f", 3, error="Out of chi."), cost=A + CONST + 96 + CMP + 2 * NAME, budget=A + CONST + 96 + CMP + NAME + 63),
    case("loop_test_runs_out_of_chi_at_its_constant", """
def f():
    i = 0
    while i < 3:
        i += 1
    return i
""", call("f", error="Out of chi."), cost=A + CONST + 96 + CMP + NAME + CONST,
         budget=A + CONST + 96 + CMP + NAME + 31),
    case("statement_trace_before_a_failed_operand_charge", """
def f():
    x = 1
    return x
""", call("f", error="Out of chi."), cost=A + CONST + R + NAME, budget=A + CONST + R + 63, env=["VELN_VM_TRACE_STATEMENTS"],
         stderr="[vm-stmt] con_test assign\n[vm-stmt] con_test return\n"),
    case("module_body_return_fails", """
x = 1
return_value = 2
""", [], cost=2 * (A + CONST) + R + CONST, build_error="module body cannot return or break execution",
         edit=lambda ir: ir["module_body"].append(
             {"node": "return", "span": ir["module_body"][0]["span"],
              "value": {"node": "constant", "value_type": "int", "value": 3, "span": ir["module_body"][0]["span"]}})),
    case("module_body_break_outside_loop", """
x = 1
""", [], cost=A + CONST + 32, build_error="module body cannot return or break execution",
         edit=lambda ir: ir["module_body"].append({"node": "break", "span": ir["module_body"][0]["span"]})),
    case("function_leaks_loop_control", """
def f():
    pass
""", call("f", error="function 'f' leaked loop control"), cost=P + 32,
         edit=lambda ir: ir["functions"][0]["body"].append({"node": "continue",
                                                            "span": ir["functions"][0]["body"][0]["span"]})),
    case("out_of_chi_keeps_failed_charge", """
def f():
    x = 1
    y = 2
""", call("f", error="Out of chi."), cost=A + CONST + A, budget=A + CONST + 10, charges=[0, 64, 32, 64]),
    case("loop_without_end_stops_at_budget", """
def f():
    while True:
        pass
""", call("f", error="Out of chi."), cost=WHILE + 5 * (CONST + ITEM + P) + CONST + ITEM, budget=1000),
]
