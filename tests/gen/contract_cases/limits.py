# Hostile code: values past the size and nesting limits, deep recursion
# through function values, and system calls the host answers.
from gen_contract_cases import call, case

R, A, AUG, NAME, CONST, LIST, BIN, CALL, FOR, ITEM = 32, 64, 96, 64, 32, 128, 96, 5000, 96, 96

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
]
