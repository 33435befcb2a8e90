# References to another contract's storage made at run time: construction
# checks, reads through the host charged 1280 (4096 for a listing) and then
# as storage reads, and every write refused.
from gen_contract_cases import call, case

RET, EXPR, ASSIGN, CALL, NAME, CONST, SUB = 32, 32, 64, 5000, 64, 32, 96
GET, ALL = 1280, 4096
NEW_KEYWORDS = CALL + 2 * CONST  # a constructor with two keyword arguments

READS = """
def var():
    r = syscall("storage.foreign_variable.new", foreign_contract="other", foreign_name="x")
    return r.get()

def positional():
    r = syscall("storage.foreign_variable.new", 1, None, "other", "x")
    return r.get()

def entry(k):
    r = syscall("storage.foreign_hash.new", foreign_contract="other", foreign_name="bal")
    return r[k]

def listing():
    r = syscall("storage.foreign_hash.new", foreign_contract="other", foreign_name="bal")
    return r.all()

def under(p):
    r = syscall("storage.foreign_hash.new", foreign_contract="other", foreign_name="bal")
    return r.all(p)
"""
VAR_READ = ASSIGN + NEW_KEYWORDS + RET + CALL + NAME + GET   # r.get(): the call, the receiver r, 1280
HASH_NEW = ASSIGN + NEW_KEYWORDS

REFUSALS = """
def hash_get():
    r = syscall("storage.foreign_hash.new", foreign_contract="other", foreign_name="bal")
    return r.get()

def var_get_argument():
    r = syscall("storage.foreign_variable.new", foreign_contract="other", foreign_name="x")
    return r.get(1)

def var_all():
    r = syscall("storage.foreign_variable.new", foreign_contract="other", foreign_name="x")
    return r.all()

def var_set():
    r = syscall("storage.foreign_variable.new", foreign_contract="other", foreign_name="x")
    return r.set(1)

def hash_pop():
    r = syscall("storage.foreign_hash.new", foreign_contract="other", foreign_name="bal")
    return r.pop("a")

def keyword_first():
    r = syscall("storage.foreign_hash.new", foreign_contract="other", foreign_name="bal")
    return r.update(k=1)

def subscript_variable():
    r = syscall("storage.foreign_variable.new", foreign_contract="other", foreign_name="x")
    return r["a"]

def assign_entry():
    r = syscall("storage.foreign_hash.new", foreign_contract="other", foreign_name="bal")
    r["a"] = 1
"""

CASES = [
    case("reads", READS, [
        call("var", result="none:None"),  # never written: None, still charged
        call("var", result="int:4", storage={"other.x": 4}),
        call("positional", result="int:4"),  # the first two arguments are not used
        call("entry", "a", result="none:None"),
        call("entry", ("a", 1), result="int:5", storage={"other.bal:a:1": 5}),
        call("listing", result="list:[5, 6]", storage={"other.bal:b": 6, "other.bal:c": None}),
        call("listing", result="list:[6]", recorded={"other.bal:a:1": None}),  # a recorded None is left out
        call("under", "b", result="list:[7]", storage={"other.bal:b:1": 7}),
    ], cost=2 * VAR_READ + (ASSIGN + CALL + 4 * CONST + RET + CALL + NAME + GET)
         + 2 * (HASH_NEW + RET + SUB + NAME + NAME + GET)
         + 2 * (HASH_NEW + RET + CALL + NAME + ALL) + (HASH_NEW + RET + CALL + NAME + NAME + ALL),
         host_calls=["read_variable other.x", "charge_storage_read other.x None",
                     "read_variable other.x", "charge_storage_read other.x 4",
                     "read_variable other.x", "charge_storage_read other.x 4",
                     "read_hash other.bal:a", "charge_storage_read other.bal:a None",
                     "read_hash other.bal:a:1", "charge_storage_read other.bal:a:1 5",
                     "scan_hash_entries_metered other.bal:", "charge_storage_read other.bal:a:1 5",
                     "charge_storage_read other.bal:b 6", "charge_storage_read other.bal:c None",
                     "scan_hash_entries_metered other.bal:", "charge_storage_read other.bal:a:1 None",
                     "charge_storage_read other.bal:b 6", "charge_storage_read other.bal:c None",
                     "scan_hash_entries_metered other.bal:b:", "charge_storage_read other.bal:b:1 7"]),
    case("refusals", REFUSALS, [
        call("hash_get", error="unsupported foreign storage method 'get'"),
        call("var_get_argument", error="unsupported foreign storage method 'get'"),
        call("var_all", error="unsupported foreign storage method 'all'"),
        call("var_set", error="cannot write to foreign storage"),
        call("hash_pop", error="cannot write to foreign storage"),
        call("keyword_first", error="foreign storage reads do not accept keyword arguments"),
        call("subscript_variable", error="ForeignVariable is not subscriptable"),
        call("assign_entry", error="cannot write to foreign storage"),
    ], cost=8 * (ASSIGN + NEW_KEYWORDS) + (RET + CALL + NAME) + (RET + CALL + CONST + NAME) + (RET + CALL + NAME)
         + 3 * (RET + CALL + CONST + NAME) + (RET + SUB + NAME + CONST)
         + (ASSIGN + CONST + NAME + CONST),  # the value, then the target's root and index
         host_calls=[]),
    case("construction", """
def duplicate():
    return syscall("storage.foreign_variable.new", 1, 2, "other", foreign_contract="other")

def unknown_keyword():
    return syscall("storage.foreign_hash.new", foreign_contract="other", foreign_name="x", default_value=1)

def five():
    return syscall("storage.foreign_variable.new", 1, 2, 3, 4, 5, k=1)

def no_contract():
    return syscall("storage.foreign_hash.new", foreign_name="")

def no_name():
    return syscall("storage.foreign_hash.new", foreign_contract="other")

def empty_name():
    return syscall("storage.foreign_hash.new", foreign_contract="other", foreign_name="")

def digit_name():
    return syscall("storage.foreign_hash.new", foreign_contract="other", foreign_name="1abc")

def accented_contract():
    return syscall("storage.foreign_hash.new", foreign_contract="caf\u00e9", foreign_name="x")

def int_name():
    return syscall("storage.foreign_variable.new", foreign_contract="other", foreign_name=1)

def made():
    return syscall("storage.foreign_hash.new", foreign_contract="_o9", foreign_name="B_1")
""", [call("duplicate", error="invalid or duplicate ForeignVariable() argument 'foreign_contract'"),
      call("unknown_keyword", error="invalid or duplicate ForeignHash() argument 'default_value'"),
      call("five", error="ForeignVariable() expects at most four positional arguments"),
      call("no_contract", error="ForeignHash() requires foreign_contract"),
      call("no_name", error="ForeignHash() requires foreign_name"),
      call("empty_name", error="invalid foreign_name identifier"),
      call("digit_name", error="invalid foreign_name identifier"),
      call("accented_contract", error="invalid foreign_contract identifier"),
      call("int_name", error="expected string value, got int"),
      call("made", result="foreign_storage_ref:<foreign-storage:_o9.B_1>")],
         cost=(RET + CALL + 4 * CONST) + (RET + CALL + 3 * CONST) + (RET + CALL + 6 * CONST) + (RET + CALL + CONST)
         + (RET + CALL + CONST) + 5 * (RET + CALL + 2 * CONST),
         host_calls=[]),
]
