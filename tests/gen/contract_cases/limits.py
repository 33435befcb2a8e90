# Hostile code: values past the size and nesting limits, deep recursion
# through function values, and system calls the host answers.
from gen_contract_cases import call, case

R, A, AUG, NAME, CONST, LIST, BIN, CALL, FOR, ITEM = 32, 64, 96, 64, 32, 128, 96, 5000, 96, 96
FV, ASSERT, RAISE, DICT = 96, 96, 96, 608
STRS = BIN + LIST + BIN + 2 * CONST + CONST
JOIN = CALL + CONST + STRS


def fstring(values):
    return 96 * max(values, 1)


CASES = [
    case("repetition_past_the_limit", """
def f():
    return 'a' * 1000000
""", call("f", error="string repetition exceeds the maximum allowed allocation size"),
         cost=R + BIN + 2 * CONST),
    case("nesting_past_the_limit", """
def f(n):
    x = []
    for i in n:
        x = [x]
    return 1
""", call("f", list(range(300)), error="value exceeds the maximum allowed nesting depth"),
         # x = []; the for; 256 items build a depth of 257 at the 256th [x]
         cost=A + LIST + FOR + NAME + 256 * (ITEM + A + LIST + NAME)),
    case("recursion_through_a_function_value", """
def f():
    g = f
    return g()
""", call("f", error="RecursionError('maximum recursion depth exceeded')"),
         cost=256 * (A + NAME + R + CALL + NAME)),
    case("host_answers_an_unknown_system_call", """
def f(x):
    return syscall("ledger.lookup", x, 2)
""", call("f", 1, result="str:found"), cost=R + CALL + NAME + CONST,
         syscall_answers={"ledger.lookup": ["found"]}, host_calls=["handle_syscall ledger.lookup 1 2"]),
    case("host_system_call_failure_passes_through", """
def f():
    return syscall("ledger.lookup")
""", call("f", error="ValueError: no ledger"), cost=R + CALL,
         syscall_answers={"ledger.lookup": [{"error": "ValueError: no ledger"}]}),
    # Text forms over values within the size limit whose texts are not: each
    # fails the moment its text would pass the limit. STRS builds the list of
    # 131072 strs of 30 bytes, JOIN a text of 31 (17) pieces of 131072 bytes.
    case("fstring_over_a_list_of_long_strs", """
def f():
    xs = ['a' * 30] * 131072
    return f'items: {xs}'
""", call("f", error="value exceeds the maximum allowed allocation size"), cost=A + STRS + R + fstring(2) + CONST + FV + NAME),
    case("fstring_joining_pieces_past_the_limit", """
def f():
    a = ''.join(['a' * 131072] * 17)
    return f'{a}{a}'
""", call("f", error="value exceeds the maximum allowed allocation size"), cost=A + JOIN + R + fstring(2) + 2 * (FV + NAME)),
    case("assert_with_a_huge_message", """
def f():
    t = ''.join(["'" * 131072] * 31)
    assert False, t
""", call("f", error="value exceeds the maximum allowed allocation size"), cost=A + JOIN + ASSERT + CONST + NAME),
    case("assert_with_a_huge_non_str_message", """
def f():
    assert False, ['a' * 30] * 131072
""", call("f", error="value exceeds the maximum allowed allocation size"), cost=ASSERT + CONST + STRS),
    case("raise_with_a_huge_argument", """
def f():
    raise Exception(''.join(['\\\\' * 131072] * 31))
""", call("f", error="value exceeds the maximum allowed allocation size"), cost=RAISE + CALL + NAME + JOIN),
    case("float_of_a_text_at_the_limit", """
def f():
    return float(''.join(['x' * 131072] * 31) + 'x' * 131071)
""", call("f", error="value exceeds the maximum allowed allocation size"), cost=R + CALL + NAME + JOIN + 2 * BIN + 2 * CONST),
    case("keyword_name_quoted_past_the_limit", """
def g(a):
    return a

def f():
    k = ''.join(['"' * 131072] * 31)
    return g(1, **{k: 1})
""", call("f", error="value exceeds the maximum allowed allocation size"), cost=A + JOIN + R + CALL + 2 * (NAME + CONST) + DICT),
]
