# List and dict comprehensions: 224 / 288 for the node, 96 per item drawn at
# every level (filtered items too), the iterable of a level evaluated once per
# run of that level, and the target names restored afterwards.
from gen_contract_cases import call, case

R, A, NAME, CONST, LIST, TUPLE, BIN, CMP, ITEM, LC, DC = 32, 64, 64, 32, 128, 128, 96, 96, 96, 224, 288


def first_return(ir):
    return ir["functions"][0]["body"][-1]["value"]


CASES = [
    case("list_comp_with_filter", """
def f(xs):
    return [x * 2 for x in xs if x > 1]
""", call("f", [1, 2, 3]),
         # per item: 96 + compare 96 + name + constant; kept items: bin_op 96 + name + constant
         cost=R + LC + NAME + 3 * (ITEM + CMP + NAME + CONST) + 2 * (BIN + NAME + CONST)),
    case("nested_generators_reevaluate_inner_iterable", """
def f(xs, ys):
    return [(x, y) for x in xs for y in ys]
""", call("f", [1, 2], [3, 4, 5]),
         # outer: name; inner iterable evaluated per outer item; 96 x (2 + 2 x 3) items; element tuple per pair
         cost=R + LC + NAME + 2 * ITEM + 2 * NAME + 6 * ITEM + 6 * (TUPLE + 2 * NAME)),
    case("empty_iterable", """
def f():
    return [x for x in []], {k: 1 for k in []}
""", call("f"), cost=R + TUPLE + LC + LIST + DC + LIST),
    case("dict_comp_same_key_keeps_position", """
def f(xs):
    return {x % 2: x for x in xs}
""", call("f", [1, 2, 3]), cost=R + DC + NAME + 3 * (ITEM + BIN + NAME + CONST + NAME)),
    case("targets_restored_or_removed", """
def f():
    x = 5
    a = [x for x in [1, 2]]
    b = [y for y in [3]]
    return x, a
""", call("f"),
         cost=A + CONST + A + LC + LIST + 2 * CONST + 2 * (ITEM + NAME) + A + LC + LIST + CONST + ITEM + NAME
         + R + TUPLE + 2 * NAME),
    case("comprehension_target_does_not_leak", """
def f():
    b = [y for y in [3]]
    return y
""", call("f", error="unknown name 'y'"), cost=A + LC + LIST + CONST + ITEM + NAME + R + NAME),
    case("tuple_target", """
def f(pairs):
    return [a + b for a, b in pairs]
""", call("f", [(1, 2), (3, 4)]), cost=R + LC + NAME + 2 * (ITEM + BIN + 2 * NAME)),
    case("not_iterable", """
def f():
    return [x for x in 5]
""", call("f", error="value of type int is not iterable"), cost=R + LC + CONST),
    case("subscript_target_refused_before_items", """
def f(d):
    return [1 for d['k'] in [1, 2]]
""", call("f", {}, error="unsupported comprehension target 'subscript'"), cost=R + LC + LIST + 2 * CONST),
    case("empty_generators", """
def f():
    return [x for x in []]
""", call("f", error="missing list comprehension generator"), cost=R + LC,
         edit=lambda ir: first_return(ir).update(generators=[])),
    case("dict_comp_empty_generators", """
def f():
    return {x: 1 for x in []}
""", call("f", error="missing dict comprehension generator"), cost=R + DC,
         edit=lambda ir: first_return(ir).update(generators=[])),
    case("comprehension_out_of_chi_on_filtered_item", """
def f():
    return [x for x in [1, 2, 3] if False]
""", call("f", error="Out of chi."), budget=R + LC + LIST + 3 * CONST + ITEM + CONST + 50,
         cost=R + LC + LIST + 3 * CONST + 2 * ITEM + CONST),
]
