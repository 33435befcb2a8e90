# System calls: the ids the interpreter serves, each with its fixed charge
# made first (also when it then fails); every other id, case and spacing
# included, goes to the host after its explicit metering amount; events are
# checked against their schema, charged field by field and emitted; the
# shuffle's answer is written back where its argument came from.
from gen_contract_cases import call, case, set_fields

RET, EXPR, ASSIGN, CALL, NAME, CONST, SUB, LIST, DICT = 32, 32, 64, 5000, 64, 32, 96, 128, 608
GET, SET, EMIT = 1280, 5120, 8000


EVENTS = """
Transfer = LogEvent("Transfer", {"frm": syscall("event.indexed", str), "to": syscall("event.indexed", str),
                                 "amount": int})
n: Binding = 5

def emit_dict():
    Transfer({"amount": 5, "to": "b", "frm": "a"})

def emit_keywords():
    Transfer(frm="a", to="b", amount=5)

def emit_dict_over_keywords():
    Transfer({"frm": "a", "to": "b", "amount": 5}, extra=1)

def emit_nothing():
    Transfer()

def emit_missing():
    Transfer({"frm": "a", "to": "b"})

def emit_unknown():
    Transfer({})

def emit_int():
    Transfer({})
"""
# dict + three keys + two event.indexed calls over the name str + the name int; the binding 5
EVENTS_BUILD = DICT + 3 * CONST + 2 * (CALL + NAME) + NAME + CONST
PAYLOAD = DICT + 6 * CONST
EMITTED = ("emit_event con_test Transfer signer=alice caller=bob indexed=[frm=a, to=b] data=[amount=5]")
WRITES = ["charge_storage_write frm a", "charge_storage_write to b", "charge_storage_write amount 5"]

# Dict displays given straight to an event: with distinct constant str keys
# or not (a repeated key, a key from a name), each costs what the display
# and its entries cost, and fails as its dict would.
DISPLAYS = """
E = LogEvent("E", {"a": syscall("event.indexed", str), "b": int})

def in_order():
    E({"a": "x", "b": 1})

def out_of_order():
    E({"b": 1, "a": "x"})

def repeated_key():
    E({"a": "x", "b": 1, "b": 2})

def key_from_a_name():
    k = "b"
    E({"a": "x", k: 3})

def extra_key():
    E({"a": "x", "b": 1, "c": 2})

def missing_key():
    E({"b": 1})

def int_key():
    E({"a": "x", 1: 1})
"""
DISPLAYS_BUILD = DICT + 2 * CONST + (CALL + NAME) + NAME


def display_emitted(b):
    return ["charge_storage_write a x", f"charge_storage_write b {b}",
            f"emit_event con_test E signer=alice caller=bob indexed=[a=x] data=[b={b}]"]


# A display's dict past the nesting limit fails when its entry is added:
# before the next key is charged, or before the call's fixed charge.
NESTED = """
E = LogEvent("E", {"a": int, "b": int})
v = Variable()

def first(n):
    x = []
    for i in n:
        x = [x]
    E({"a": x, "b": v.get()})

def last(n):
    x = []
    for i in n:
        x = [x]
    E({"b": 1, "a": x})
"""
FOR, ITEM = 96, 96
# x = []; the for; 255 items build a depth of 256, the dict's 257
NEST = ASSIGN + LIST + FOR + NAME + 255 * (ITEM + ASSIGN + LIST + NAME)

# One instance emitting through several displays and schemas in turn: each
# emission fills its own schema's fields from its own keys, a failed one too.
TURNS = """
A = LogEvent("A", {"x": int, "y": syscall("event.indexed", int)})
B = LogEvent("B", {"y": int, "x": int})

def a(i):
    A({"x": i, "y": 1})

def b():
    B({"x": 0, "y": 2})

def a_swapped(i):
    A({"y": 3, "x": i})

def a_missing(i):
    A({"x": i})
"""
TURNS_BUILD = DICT + 2 * CONST + NAME + (CALL + NAME) + DICT + 2 * CONST + 2 * NAME
A_EMIT = EXPR + CALL + DICT + 2 * CONST + NAME + CONST + EMIT


def a_emitted(y, x):
    return [f"charge_storage_write y {y}", f"charge_storage_write x {x}",
            f"emit_event con_test A signer=alice caller=bob indexed=[y={y}] data=[x={x}]"]


# Displays of up to eight keys give their values unbuilt; longer ones build
# their dict: both fill the schema alike.
WIDE = "".join(f"W{n} = LogEvent(\"W{n}\", {{{', '.join(f'{k!r}: int' for k in 'abcdefghi'[:n])}}})\n"
               for n in (8, 9)) + "".join(f"""
def wide{n}():
    W{n}({{{', '.join(f'{k!r}: {v}' for v, k in enumerate('abcdefghi'[:n]))}}})
""" for n in (8, 9))


def wide_emitted(n):
    pairs = [(k, v) for v, k in enumerate("abcdefghi"[:n])]
    return ([f"charge_storage_write {k} {v}" for k, v in pairs]
            + [f"emit_event con_test W{n} signer=None caller=None indexed=[] data=[{', '.join(f'{k}={v}' for k, v in pairs)}]"])


# A schema naming a field twice fills both fields from the payload's one
# entry: a display's values, given without their dict, fill them as the dict
# would (the same fields, charges and errors, for the display's own cost),
# the second emission of the same keys too.
TWICE = """
E = LogEvent("E", {"a": syscall("event.indexed", str), "a": str, "b": int})

def display():
    E({"a": [1], "b": 2})

def held():
    p = {"a": [1], "b": 2}
    E(p)

def three_keys(i):
    E({"a": [i], "b": 2, "c": 3})

def missing():
    E({"b": 2})
"""
TWICE_BUILD = DICT + 3 * CONST + (CALL + NAME) + 2 * NAME
TWICE_EMIT = EXPR + CALL + DICT + 2 * CONST + LIST + 2 * CONST + EMIT


def twice_emitted(a):
    return [f"charge_storage_write a {a}", f"charge_storage_write a {a}", "charge_storage_write b 2",
            f"emit_event con_test E signer=alice caller=bob indexed=[a={a}] data=[a={a}, b=2]"]


SHUFFLE = """
xs_global = [1, 2, 3]

def local():
    xs = [3, 1, 2]
    syscall("random.shuffle", xs)
    return xs

def global_list():
    syscall("random.shuffle", xs_global)
    xs_global.append(4)
    return xs_global

def read_global():
    return xs_global

def nested():
    d = {"k": [1, 2]}
    syscall("random.shuffle", d["k"])
    return d

def empty():
    syscall("random.shuffle")

def literal():
    syscall("random.shuffle", [1, 2])
"""

CASES = [
    case("events", EVENTS, [
        call("emit_dict", result="none:None"),  # indexed fields first, each in schema order
        call("emit_keywords", result="none:None"),
        call("emit_dict_over_keywords", result="none:None"),
        call("emit_nothing", error="event payload must be a dict, got none"),
        call("emit_missing", error="event payload is missing key 'amount'"),
        call("emit_unknown", error="unknown event binding 'nope'"),
        call("emit_int", error="binding 'n' is not an event reference but int"),
    ], cost=EVENTS_BUILD + (EXPR + CALL + PAYLOAD + EMIT) + (EXPR + CALL + 3 * CONST + EMIT)
         + (EXPR + CALL + PAYLOAD + CONST + EMIT) + (EXPR + CALL + EMIT) + (EXPR + CALL + DICT + 4 * CONST + EMIT)
         + 2 * (EXPR + CALL + DICT + EMIT),
         context={"signer": "alice", "caller": "bob"},
         host_calls=WRITES + [EMITTED] + WRITES + [EMITTED] + WRITES + [EMITTED],
         edit=lambda ir: (set_fields("emit_unknown", event_binding="nope")(ir),
                          set_fields("emit_int", event_binding="n")(ir))),
    case("event_dict_displays", DISPLAYS, [
        call("in_order", result="none:None"),
        call("out_of_order", result="none:None"),
        call("repeated_key", error="event payload has unexpected keys"),  # a display keeps both entries
        call("key_from_a_name", result="none:None"),
        call("extra_key", error="event payload has unexpected keys"),
        call("missing_key", error="event payload is missing key 'a'"),
        call("int_key", error="event payload is missing key 'b'"),
    ], cost=DISPLAYS_BUILD + 2 * (EXPR + CALL + DICT + 4 * CONST + EMIT) + (EXPR + CALL + DICT + 6 * CONST + EMIT)
         + (ASSIGN + CONST + EXPR + CALL + DICT + 3 * CONST + NAME + EMIT) + (EXPR + CALL + DICT + 6 * CONST + EMIT)
         + (EXPR + CALL + DICT + 2 * CONST + EMIT) + (EXPR + CALL + DICT + 4 * CONST + EMIT),
         context={"signer": "alice", "caller": "bob"},
         host_calls=display_emitted(1) + display_emitted(1) + display_emitted(3)),
    case("event_schema_naming_a_field_twice", TWICE, [
        call("display", result="none:None"),
        call("held", result="none:None"),  # one assignment and one name read more
        call("three_keys", 0, result="none:None"),
        call("three_keys", 1, result="none:None"),
        call("missing", error="event payload is missing key 'a'"),
    ], cost=TWICE_BUILD + TWICE_EMIT + (ASSIGN + NAME + TWICE_EMIT)
         # the list's item a name, not a constant; a third key and value
         + 2 * (TWICE_EMIT - CONST + NAME + 2 * CONST)
         + (EXPR + CALL + DICT + 2 * CONST + EMIT),
         context={"signer": "alice", "caller": "bob"},
         host_calls=twice_emitted("[1]") + twice_emitted("[1]") + twice_emitted("[0]") + twice_emitted("[1]")),
    case("event_dict_displays_in_turn", TURNS, [
        call("a", 0, result="none:None"),
        call("a", 1, result="none:None"),
        call("b", result="none:None"),
        call("a", 2, result="none:None"),
        call("a_missing", 5, error="event payload is missing key 'y'"),
        call("a", 3, result="none:None"),
        call("a_swapped", 4, result="none:None"),
    ], cost=TURNS_BUILD + 5 * A_EMIT + (EXPR + CALL + DICT + 4 * CONST + EMIT) + (EXPR + CALL + DICT + CONST + NAME + EMIT),
         context={"signer": "alice", "caller": "bob"},
         host_calls=a_emitted(1, 0) + a_emitted(1, 1)
         + ["charge_storage_write y 2", "charge_storage_write x 0",
            "emit_event con_test B signer=alice caller=bob indexed=[] data=[y=2, x=0]"]
         + a_emitted(1, 2) + a_emitted(1, 3) + a_emitted(3, 4)),
    case("event_dict_displays_of_eight_and_nine_keys", WIDE,
         [call("wide8", result="none:None"), call("wide9", result="none:None")],
         cost=sum(DICT + n * (CONST + NAME) + EXPR + CALL + DICT + 2 * n * CONST + EMIT for n in (8, 9)),
         host_calls=wide_emitted(8) + wide_emitted(9)),
    case("event_dict_display_past_the_nesting_limit", NESTED, [
        call("first", list(range(255)), error="value exceeds the maximum allowed nesting depth"),
        call("last", list(range(255)), error="value exceeds the maximum allowed nesting depth"),
    ], cost=DICT + 2 * (CONST + NAME) + (NEST + EXPR + CALL + DICT + CONST + NAME)
         + (NEST + EXPR + CALL + DICT + 3 * CONST + NAME), host_calls=[]),
    case("event_dict_display_out_of_chi_at_a_key", """
E = LogEvent("E", {"a": int, "b": int})

def f():
    E({"a": 1, "b": 2})
""", call("f", error="Out of chi."), cost=DICT + 2 * (CONST + NAME) + EXPR + CALL + DICT + 3 * CONST,
         budget=DICT + 2 * (CONST + NAME) + EXPR + CALL + DICT + 3 * CONST - 1, host_calls=[]),
    case("event_contract_is_this_and_storage_keys_the_module", """
E = LogEvent("E", {"a": int})
v = Variable()

def f():
    v.set(1)
    E(a=1)
""", call("f", result="none:None"), cost=NAME + CONST + DICT + (EXPR + CALL + CONST + SET) + (EXPR + CALL + CONST + EMIT),
         context={"this": "alias"},
         host_calls=["record_storage_write con_test.v", "charge_storage_write con_test.v 1",
                     "charge_storage_write a 1", "emit_event alias E signer=None caller=None indexed=[] data=[a=1]"]),
    case("event_indexed", """
def one():
    return syscall("event.indexed", str)

def two():
    return syscall("event.indexed", str, int)

def none_given():
    return syscall("event.indexed", k=1)
""", [call("one", result="dict:{type: str, idx: True}"),  # type markers, not the builtins (<builtin:str>)
      call("two", result="dict:{type: (str, int), idx: True}"),
      call("none_given", result="dict:{type: (), idx: True}")],
         cost=(RET + CALL + NAME) + (RET + CALL + 2 * NAME) + (RET + CALL + CONST)),
    case("fixed_charge_before_out_of_chi", """
total = Variable()

def get():
    return total.get()
""", call("get", error="Out of chi."), cost=RET + CALL + GET, budget=RET + CALL + GET - 1, host_calls=[],
         charges=[0, RET, CALL, GET], edit=set_fields("get", receiver_binding="nope")),
    case("served_pure_calls", """
def digest():
    return syscall("hash.sha256_text", "abc")

def digest_arity():
    return syscall("hash.sha256_text")

def date():
    return syscall("time.datetime.new", 2024, 1, 2)

def delta():
    return syscall("time.timedelta.new", days=1)

def key():
    return syscall("crypto.key_is_valid", "0123456789abcdefABCDEF0123456789abcdef0123456789abcdef0123456789")

def decimal():
    return syscall("numeric.decimal.new", "1.50")

def decimal_keyword():
    return syscall("numeric.decimal.new", "1.50", k=1)

def decimal_list():
    return syscall("numeric.decimal.new", [])
""", [call("digest", result="str:ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"),
      call("digest_arity", error="hashlib.sha256_text() expects one argument"),
      call("date", result="datetime:2024-01-02 00:00:00"),
      call("delta", result="timedelta:1 day, 0:00:00"),
      call("key", result="bool:True"),
      call("decimal", result="decimal:1.5"),
      call("decimal_keyword", error="decimal() expects one argument"),
      call("decimal_list", error="expected decimal-compatible value, got list")],
         cost=(RET + CALL + CONST) + (RET + CALL) + (RET + CALL + 3 * CONST) + (RET + CALL + CONST)
         + (RET + CALL + CONST) + (RET + CALL + CONST) + (RET + CALL + 2 * CONST) + (RET + CALL + LIST),
         host_calls=[]),
    case("host_path", """
def custom():
    return syscall("custom.thing", 1, k=2)

def cased():
    return syscall("Hash.sha256_text", "abc")

def spaced():
    return syscall("hash.sha256_text ", "abc")

def zk():
    return syscall("zk.shielded_command_binding", 1)

def zk_cased():
    return syscall("ZK.shielded_command_binding", 1)

def zk_arguments():
    return syscall("zk.verify_groth16", 1)

def failing():
    return syscall("custom.thing")
""", [call("custom", result="int:42"),
      call("cased", result="str:h1"),
      call("spaced", result="str:h2"),
      call("zk", result="bool:True"),
      call("zk_cased", result="bool:False"),
      call("zk_arguments", error="zk.verify_groth16() expects three positional arguments"),
      call("failing", error="boom")],
         cost=(RET + CALL + 2 * CONST) + 2 * (RET + CALL + CONST) + (RET + CALL + CONST + 100000)
         + 2 * (RET + CALL + CONST) + RET + CALL,
         charges=[0, RET, CALL, CONST, CONST, 0, RET, CALL, CONST, 0, RET, CALL, CONST,
                  0, RET, CALL, CONST, 100000, 0, RET, CALL, CONST, 0, RET, CALL, CONST, 0, RET, CALL],
         syscall_answers={"custom.thing": [42, {"error": "boom"}], "Hash.sha256_text": ["h1"],
                          "hash.sha256_text ": ["h2"], "zk.shielded_command_binding": [True],
                          "ZK.shielded_command_binding": [False]},
         host_calls=["handle_syscall custom.thing 1 k=2", "handle_syscall Hash.sha256_text abc",
                     "handle_syscall hash.sha256_text  abc", "handle_syscall zk.shielded_command_binding 1",
                     "handle_syscall ZK.shielded_command_binding 1", "handle_syscall custom.thing"]),
    case("shuffle_writes_back", SHUFFLE, [
        call("local", result="list:[2, 3, 1]"),
        call("global_list", result="list:[3, 2, 1, 4]"),
        call("read_global", result="list:[3, 2, 1, 4]"),  # the module global alone was written
        call("nested", result="dict:{k: [2, 1]}"),
        call("empty", error="random.shuffle() expects one argument"),
        call("literal", error="unsupported assignment target 'list'"),
    ], cost=(ASSIGN + LIST + 3 * CONST)
         + (ASSIGN + LIST + 3 * CONST + EXPR + CALL + NAME + RET + NAME)
         + (EXPR + CALL + NAME + EXPR + CALL + CONST + NAME + RET + NAME)
         + (RET + NAME)
         # the argument d["k"], then the target's root d and index "k" resolved again
         + (ASSIGN + DICT + CONST + LIST + 2 * CONST + EXPR + CALL + SUB + NAME + CONST + NAME + CONST + RET + NAME)
         + (EXPR + CALL) + (EXPR + CALL + LIST + 2 * CONST),
         syscall_answers={"random.shuffle": [[2, 3, 1], [3, 2, 1], [2, 1]]},
         host_calls=["handle_syscall random.shuffle [3, 1, 2]", "handle_syscall random.shuffle [1, 2, 3]",
                     "handle_syscall random.shuffle [1, 2]"]),
]
