# First cases: a function call, a loop, recursion and the call limit.
from gen_contract_cases import call, case

CASES = [
    case("add", """
def f(a, b):
    return a + b
""", call("f", 1, 2),
         # call price 0 (4 nodes), return 32, bin_op 96, two names 64
         cost=0 + 32 + 96 + 64 + 64, charges=[0, 32, 96, 64, 64]),
    case("loop_sum", """
def f(xs):
    total = 0
    for i in xs:
        total += i
    return total
""", call("f", [1, 2, 3]),
         # assign 64 + constant 32; for 96 + iter name 64; per item 96 + aug 96 + two names 128; return 32 + name 64
         cost=64 + 32 + 96 + 64 + 3 * (96 + 96 + 128) + 32 + 64),
    case("fib", """
def fib(n):
    if n < 2:
        return n
    return fib(n - 1) + fib(n - 2)
""", call("fib", 10),
         # 177 calls; each: if 96 + compare 96 + name 64 + constant 32;
         # 89 leaves: return 32 + name 64; 88 inner: return 32 + bin_op 96 + 2 * (call 5000 + name 64 + bin_op 96 + name 64 + constant 32)
         cost=177 * (96 + 96 + 64 + 32) + 89 * (32 + 64) + 88 * (32 + 96 + 2 * (5000 + 64 + 96 + 64 + 32))),
    case("recursion_limit", """
def f():
    return f()
""", call("f", error="RecursionError('maximum recursion depth exceeded')"),
         # 256 calls run: each return 32 + call 5000 + callee name 64; the 257th fails before its price
         cost=256 * (32 + 5000 + 64)),
]
