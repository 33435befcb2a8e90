# The canonical encoding that sizes storage charges and listing bounds,
# checked byte for byte on values returned by contract code.
from gen_contract_cases import call, case

RET, CALL, NAME, CONST, DICT, LIST = 32, 5000, 64, 32, 608, 128
SAME = RET + NAME


def same(value, result, encoded):
    return call("same", value, result=result, encoded=encoded)


CASES = [
    case("encoding", """
def same(x):
    return x

def handle_key():
    return {syscall("contract.import", "m"): 1}

def handle_item():
    return [syscall("contract.import", "m")]

def deltas():
    return [syscall("time.timedelta.new", seconds=-1), syscall("time.timedelta.new", seconds=90000)]

def when():
    return syscall("time.datetime.new", 2024, 1, 2, 3, 4, 5, 6)

def fixed():
    return syscall("numeric.decimal.new", "-1.50")

def later_key_wins():
    return {2: "a", "2": "b", None: [], True: 1.5}

def escapes():
    return "q\\"b\\\\s\\n\\x01\\x7f\\u00e9/"
""", [same(None, "none:None", "null"),
      same(True, "bool:True", "true"),
      same(5, "int:5", "5"),
      same("abc", "str:abc", '"abc"'),
      same([], "list:[]", "[]"),
      same({}, "dict:{}", "{}"),
      same(2**63 - 1, "int:9223372036854775807", "9223372036854775807"),
      same(2**63, "int:9223372036854775808", '{"__big_int__":"9223372036854775808"}'),
      same(-2**63, "int:-9223372036854775808", "-9223372036854775808"),
      same(-2**64 - 1, "int:-18446744073709551617", '{"__big_int__":"-18446744073709551617"}'),
      same(1.0, "float:1.0", "1.0"),
      same(1e16, "float:1e16", "1e16"),
      same(1e15, "float:1000000000000000.0", "1000000000000000.0"),
      same(1e-5, "float:1e-5", "0.00001"),
      same(1.5e-7, "float:1.5e-7", "1.5e-7"),
      same(-0.0, "float:-0.0", "-0.0"),
      same(b"\x00\xff", "bytes:b'\\x00\\xff'", '{"__bytes__":"00ff"}'),
      same(bytearray(b"\x00\xff"), "bytearray:bytearray(b'\\x00\\xff')", '{"__bytearray__":"00ff"}'),
      same({2, 1}, "set:{1, 2}", '{"__set__":[1,2]}'),
      same((1, [2]), "tuple:(1, [2])", "[1,[2]]"),
      same(float("inf"), "float:inf", "error: cannot encode non-finite float"),
      same([1, float("nan")], "list:[1, NaN]", "error: cannot encode non-finite float"),
      same({1.0: 1, 1e20: 2, -0.0: 3, 0.1: 4, float("nan"): 5}, "dict:{1.0: 1, 1e20: 2, -0.0: 3, 0.1: 4, NaN: 5}",
           '{"-0":3,"0.1":4,"1":1,"100000000000000000000":2,"NaN":5}'),
      call("handle_key", result="dict:{<contract:m>: 1}", encoded='{"<contract:m>":1}'),
      call("handle_item", result="list:[<contract:m>]",
           encoded="error: unsupported metering encode value 'contract_handle'"),
      call("deltas", result="list:[-0:00:01, 1 day, 1:00:00]",
           encoded='[{"__delta__":[-1,86399]},{"__delta__":[1,3600]}]'),
      call("when", result="datetime:2024-01-02 03:04:05.000006",
           encoded='{"__time__":[2024,1,2,3,4,5,6]}'),
      call("fixed", result="decimal:-1.5", encoded='{"__fixed__":"-1.5"}'),
      call("later_key_wins", result="dict:{2: a, 2: b, None: [], True: 1.5}",
           encoded='{"2":"b","null":[],"true":{"__fixed__":"1.5"}}'),  # a literal 1.5 is a decimal
      call("escapes", result="str:q\"b\\s\n\x01\x7fé/", encoded='"q\\"b\\\\s\\n\\u0001\x7fé/"')],
         cost=23 * SAME + (RET + DICT + CALL + CONST + CONST) + (RET + LIST + CALL + CONST)
         + (RET + LIST + 2 * (CALL + CONST) + 64)  # -1 is a unary minus (64) on a constant
         + (RET + CALL + 7 * CONST) + (RET + CALL + CONST)
         + (RET + DICT + 4 * CONST + LIST + 3 * CONST) + (RET + CONST)),
]
