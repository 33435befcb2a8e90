# Declared storage: reads with the recorded-write, instance, host and default
# precedence charged on the value returned; writes recorded then charged
# with the same key and value; foreign declarations; hash listings merged in
# key order and bounded.
from gen_contract_cases import call, case, set_fields

RET, EXPR, CALL, NAME, CONST, SUB, BINOP, FOR, ITEM = 32, 32, 5000, 64, 32, 96, 96, 96, 96
GET, SET, ALL = 1280, 5120, 4096          # system-call fixed charges
STORAGE_GET, STORAGE_SET = 1280, 5120      # storage_get expression, storage_set statement


VARIABLE = """
total = Variable(default_value=5)

def get():
    return total.get()

def put(x):
    total.set(x)
"""
GET_V = RET + CALL + GET
PUT_V = EXPR + CALL + NAME + SET

HASH = """
bal = Hash(default_value=0)

def get(k):
    return bal[k]

def put(k, v):
    bal[k] = v

def add(k, v):
    bal[k] += v

def listing():
    return bal.all()

def under(p):
    return bal.all(p)
"""
GET_H = RET + STORAGE_GET + NAME
PUT_H = STORAGE_SET + NAME + NAME
LIST_H = RET + CALL + ALL
UNDER_H = RET + CALL + NAME + ALL

# Keys a loop cycles through, more than are kept composed at once: ints and
# strs interleaved, so kept keys are replaced and found again many times.
CYCLED_KEYS = [k for i in range(60) for k in (i % 80, "k%d" % (i % 50), (i * 7) % 80)]


def cycled_sum(rounds):
    return "int:%d" % (rounds * (CYCLED_KEYS.count(0) + CYCLED_KEYS.count(79) + CYCLED_KEYS.count("k7")))


CASES = [
    case("variable_precedence", VARIABLE, [
        call("get", result="int:7", storage={"con_test.total": 7}),
        call("get", result="int:7", storage={"con_test.total": 8}),   # the instance's value over the host's
        call("get", result="int:9", recorded={"con_test.total": 9}),  # a recorded write over the instance's
        call("put", 11, result="none:None"),
        call("get", result="int:11"),
    ], cost=CONST + 4 * GET_V + PUT_V,
         host_calls=["read_variable con_test.total", "charge_storage_read con_test.total 7",
                     "charge_storage_read con_test.total 7",
                     "charge_storage_read con_test.total 9",
                     "record_storage_write con_test.total", "charge_storage_write con_test.total 11",
                     "charge_storage_read con_test.total 11"]),
    case("variable_default_asks_the_host_every_time", VARIABLE, [
        call("get", result="int:5"),
        call("get", result="int:5"),
        call("get", result="none:None", recorded={"con_test.total": None}),  # a recorded None is a value
    ], cost=CONST + 3 * GET_V,
         host_calls=["read_variable con_test.total", "charge_storage_read con_test.total 5",
                     "read_variable con_test.total", "charge_storage_read con_test.total 5",
                     "charge_storage_read con_test.total None"]),
    case("variable_set_arguments", """
total = Variable()

def two():
    total.set(1, 2)
    return total.get()

def none_given():
    total.set()

def ignored():
    return total.get(1, k=2)
""", [call("two", result="int:1"),
      call("none_given", error="Variable.set expects one argument"),
      call("ignored", result="int:1")],
         cost=(EXPR + CALL + 2 * CONST + SET + RET + CALL + GET) + (EXPR + CALL + SET) + (RET + CALL + 2 * CONST + GET),
         charges=[0, EXPR, CALL, CONST, CONST, SET, RET, CALL, GET,
                  0, EXPR, CALL, SET,
                  0, RET, CALL, CONST, CONST, GET],
         host_calls=["record_storage_write con_test.total", "charge_storage_write con_test.total 1",
                     "charge_storage_read con_test.total 1", "charge_storage_read con_test.total 1"]),
    case("variable_unknown_binding_after_the_charge", VARIABLE,
         [call("get", error="unknown variable binding 'nope'"),
          call("put", 1, error="unknown variable binding 'nope'")],
         cost=CONST + GET_V + PUT_V, charges=[CONST, 0, RET, CALL, GET, 0, EXPR, CALL, NAME, SET], host_calls=[],
         edit=set_fields(receiver_binding="nope")),
    case("foreign_variable_declaration", """
fv = ForeignVariable(foreign_contract="other", foreign_name="x", default_value=3)

def get():
    return fv.get()

def put():
    fv.set(1)
""", [call("get", result="none:None"),  # the declared default is not used
      call("get", result="int:4", storage={"other.x": 4}),
      call("get", result="int:4", storage_removed=["other.x"]),  # the read cache keeps what was read
      call("put", error="cannot set foreign variable 'fv'")],
         cost=2 * CONST + 3 * GET_V + (EXPR + CALL + CONST + SET),
         host_calls=["read_variable other.x", "charge_storage_read other.x None",
                     "read_variable other.x", "charge_storage_read other.x 4",
                     "read_variable other.x", "charge_storage_read other.x 4"]),
    case("hash_precedence", HASH, [
        call("get", "a", result="int:7", storage={"con_test.bal:a": 7}),
        call("get", "a", result="int:7", storage={"con_test.bal:a": 8}),
        call("get", "a", result="int:9", recorded={"con_test.bal:a": 9}),
        call("get", "b", result="int:0"),
        call("put", 1, "one", result="none:None"),
        call("get", "1", result="str:one"),  # the int key 1 and the str key 1 are one entry
        call("add", "c", 5, result="none:None"),
        call("get", ("x", 2), result="int:0"),
    ], cost=CONST + 6 * GET_H + PUT_H + (STORAGE_SET + NAME + NAME),
         host_calls=["read_hash con_test.bal:a", "charge_storage_read con_test.bal:a 7",
                     "charge_storage_read con_test.bal:a 7",
                     "charge_storage_read con_test.bal:a 9",
                     "read_hash con_test.bal:b", "charge_storage_read con_test.bal:b 0",
                     "record_storage_write con_test.bal:1", "charge_storage_write con_test.bal:1 one",
                     "charge_storage_read con_test.bal:1 one",
                     "read_hash con_test.bal:c", "charge_storage_read con_test.bal:c 0",
                     "record_storage_write con_test.bal:c", "charge_storage_write con_test.bal:c 5",
                     "read_hash con_test.bal:x:2", "charge_storage_read con_test.bal:x:2 0"]),
    case("hash_key_errors_come_first", """
bal = Hash()

def deep():
    return bal[(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17)]

def delimiter():
    bal["a:b"] = 1

def unknown():
    return bal[1]
""", [call("deep", error="Too many dimensions (17) for hash. Max is 16"),
      call("delimiter", error="Illegal delimiter in key."),
      call("unknown", error="unknown hash binding 'nope'")],
         cost=(RET + STORAGE_GET + 128 + 17 * CONST) + (STORAGE_SET + 2 * CONST) + (RET + STORAGE_GET + CONST),
         host_calls=[],
         edit=lambda ir: ir["functions"][2]["body"][0]["value"].update(binding="nope")),
    case("foreign_hash_declaration", """
fh = ForeignHash(foreign_contract="other", foreign_name="bal", default_value=7)

def get(k):
    return fh[k]

def put(k):
    fh[k] = 1

def listing():
    return fh.all()
""", [call("get", "a", result="none:None"),  # the declared default is not used
      call("get", "a", result="int:3", storage={"other.bal:a": 3}),
      call("put", "a", error="cannot set foreign hash 'fh'"),
      call("listing", result="list:[3, 4]", storage={"other.bal:b": 4})],
         cost=3 * CONST + 2 * GET_H + (STORAGE_SET + NAME + CONST) + LIST_H,
         host_calls=["read_hash other.bal:a", "charge_storage_read other.bal:a None",
                     "read_hash other.bal:a", "charge_storage_read other.bal:a 3",
                     "scan_hash_entries_metered other.bal:", "charge_storage_read other.bal:a 3",
                     "charge_storage_read other.bal:b 4"],
         # A write through the declaration (the IR's storage_type is not what decides).
         edit=lambda ir: ir["functions"][1]["body"][0].update(storage_type="Hash")),
    case("hash_listing", HASH, [
        call("put", "a", "A", result="none:None"),
        # The held entry keyed exactly by the prefix joins the host's rows under it.
        call("under", "a", result="list:[A, a1]"),
        call("listing", result="list:[ten, nine, A, a1, ab]"),  # key bytes: 10 before 9
        call("put", "9", None, result="none:None"),
        call("listing", result="list:[ten, A, a1, ab]"),  # a None row is not listed
    ], cost=CONST + 2 * PUT_H + UNDER_H + 2 * LIST_H,
         storage={"con_test.bal:10": "ten", "con_test.bal:9": "nine", "con_test.bal:a": "a0",
                  "con_test.bal:a:1": "a1", "con_test.bal:ab": "ab"},
         host_calls=["record_storage_write con_test.bal:a", "charge_storage_write con_test.bal:a A",
                     "scan_hash_entries_metered con_test.bal:a:", "charge_storage_read con_test.bal:a:1 a1",
                     "charge_storage_read con_test.bal:a A",
                     "scan_hash_entries_metered con_test.bal:",
                     "charge_storage_read con_test.bal:10 ten", "charge_storage_read con_test.bal:9 nine",
                     "charge_storage_read con_test.bal:a A", "charge_storage_read con_test.bal:a:1 a1",
                     "charge_storage_read con_test.bal:ab ab",
                     "record_storage_write con_test.bal:9", "charge_storage_write con_test.bal:9 None",
                     "scan_hash_entries_metered con_test.bal:",
                     "charge_storage_read con_test.bal:10 ten", "charge_storage_read con_test.bal:9 None",
                     "charge_storage_read con_test.bal:a A", "charge_storage_read con_test.bal:a:1 a1",
                     "charge_storage_read con_test.bal:ab ab"]),
    case("hash_listing_charges_held_entries_in_key_order", HASH, [
        call("get", "b", result="int:2"),
        call("get", "a", result="int:1"),
        call("listing", result="list:[1, 2]", storage_removed=["con_test.bal:a", "con_test.bal:b"]),
    ], cost=CONST + 2 * GET_H + LIST_H, storage={"con_test.bal:a": 1, "con_test.bal:b": 2},
         host_calls=["read_hash con_test.bal:b", "charge_storage_read con_test.bal:b 2",
                     "read_hash con_test.bal:a", "charge_storage_read con_test.bal:a 1",
                     "scan_hash_entries_metered con_test.bal:",
                     "charge_storage_read con_test.bal:a 1", "charge_storage_read con_test.bal:b 2"]),
    case("hash_listing_unknown_binding_after_the_charge", HASH, call("listing", error="unknown hash binding 'nope'"),
         cost=CONST + LIST_H, host_calls=[], edit=set_fields(receiver_binding="nope")),
    case("hash_keys_cycled_through_by_a_loop", """
h = Hash(default_value=0)

def cycle(keys):
    for k in keys:
        h[k] += 1
    return h[0] + h[79] + h['k7']
""", [call("cycle", CYCLED_KEYS, result=cycled_sum(1)), call("cycle", CYCLED_KEYS[::-1], result=cycled_sum(2))],
         cost=CONST + 2 * (FOR + NAME + len(CYCLED_KEYS) * (ITEM + STORAGE_SET + NAME + CONST)
                           + RET + 2 * BINOP + 3 * (STORAGE_GET + CONST))),
    case("hash_listing_size_limit", """
big = Hash()

def fill(n):
    big["a"] = "x" * n

def first():
    return big.all()[0][0:3]
""", [call("fill", 131069, result="none:None"),
      # key "a" (1 byte) and the encoded text (131069 + 2 quotes): exactly 131072
      call("first", result="str:xxx"),
      call("fill", 131070, result="none:None"),
      call("first", error="hash scan result exceeds allocation limit")],
         cost=2 * (STORAGE_SET + CONST + BINOP + CONST + NAME)
         + (RET + SUB + SUB + CALL + ALL + CONST + CONST + CONST) + (RET + SUB + SUB + CALL + ALL)),
    case("hash_listing_encodes_each_value", """
big = Hash()

def handle():
    big["h"] = syscall("contract.import", "m")
    return big.all()
""", call("handle", error="unsupported metering encode value 'contract_handle'"),
         cost=STORAGE_SET + CONST + CALL + CONST + RET + CALL + ALL),
]
