# Building an instance: validation, static imports, global declarations in
# order (each evaluated against a copy of the globals as they stand), storage
# states and the module body, whose scope becomes the module globals.
from gen_contract_cases import call, case

R, A, NAME, CONST, TUPLE, DICT, CALL = 32, 64, 64, 32, 128, 608, 5000


def declaration(ir, index):
    return ir["global_declarations"][index]


CASES = [
    case("static_imports", """
import con_token
import con_other as other

def f():
    return con_token, other
""", call("f", result="tuple:(<contract:con_token>, <contract:con_other>)"), cost=R + TUPLE + 2 * NAME),
    case("declarations_in_order", """
import con_token
LIMIT: Binding = 10
DOUBLE: Binding = LIMIT * 2
balances = Hash(default_value=LIMIT)
supply = Variable()
Transfer = LogEvent("Transfer", {"amount": LIMIT, "to": con_token})

def f():
    return LIMIT, DOUBLE, balances, supply, Transfer
""", call("f", result="tuple:(10, 20, <storage:balances>, <storage:supply>, <event:Transfer>)"),
         # LIMIT constant; DOUBLE bin_op + name + constant; default name; params dict + 2 constants + 2 names
         cost=CONST + 96 + NAME + CONST + NAME + DICT + 2 * CONST + 2 * NAME + R + 128 + 5 * NAME),
    case("declaration_replaces_import_handle", """
import con_token
con_token: Binding = 3

def f():
    return con_token
""", call("f", result="int:3"), cost=CONST + R + NAME),
    case("declarations_do_not_see_module_body", """
x = 1
Y: Binding = x
""", [], cost=NAME, build_error="unknown name 'x'"),
    case("module_body_assignments_become_globals", """
a = 1
b = a + 1

def f():
    return a, b
""", call("f", result="tuple:(1, 2)"), cost=A + CONST + A + 96 + NAME + CONST + R + TUPLE + 2 * NAME),
    case("module_body_calls_see_globals_before_the_body", """
x = 1
y = g()

def g():
    return x
""", [], cost=A + CONST + A + CALL + NAME + 0 + R + NAME, build_error="unknown name 'x'"),
    case("foreign_variable_positional_arguments", """
fv = ForeignVariable(0, 0, 'con_other', 'total')
fh = ForeignHash(0, 0, foreign_contract='con_other', foreign_name='balances', default_value=5)

def f():
    return fv, fh
""", call("f", result="tuple:(<storage:fv>, <storage:fh>)"),
         # fv: positional 2 and 3; fh: default_value first, then the two keywords
         cost=2 * CONST + 3 * CONST + R + TUPLE + 2 * NAME),
    case("foreign_variable_requires_contract", """
fv = ForeignVariable(0, 0)
""", [], cost=0, build_error="ForeignVariable 'fv' requires foreign_contract"),
    case("foreign_variable_requires_name", """
fv = ForeignVariable(0, 0, 'con_other')
""", [], cost=CONST, build_error="ForeignVariable 'fv' requires foreign_name"),
    case("foreign_hash_contract_must_be_str", """
fh = ForeignHash(foreign_contract=1, foreign_name='x')
""", [], cost=CONST, build_error="expected string value, got int"),
    case("foreign_positional_error_is_absence", """
fv = ForeignVariable(0, 0, missing, 'x')
""", [], cost=NAME, build_error="ForeignVariable 'fv' requires foreign_contract"),
    case("foreign_variable_ignores_default", """
fv = ForeignVariable(foreign_contract='c', foreign_name='n', default_value=missing)
""", [], cost=2 * CONST),
    case("variable_default_error_fails_build", """
v = Variable(default_value=missing)
""", [], cost=NAME, build_error="unknown name 'missing'"),
    case("unsupported_storage_type", """
h = Hash()
""", [], cost=0, build_error="unsupported storage declaration type 'Tree'",
         edit=lambda ir: declaration(ir, 0).update(storage_type="Tree")),
    # Variable and hash names enter storage keys, where "." and ":" separate
    # the parts; a name holding one is refused before its default is read.
    case("variable_name_with_a_dot_is_refused", """
v = Variable(default_value=missing)
""", [], cost=0, build_error="invalid storage name 'x.y'",
         edit=lambda ir: declaration(ir, 0).update(name="x.y")),
    case("hash_name_with_a_colon_is_refused_after_earlier_declarations", """
LIMIT: Binding = 10
h = Hash(default_value=LIMIT)
""", [], cost=CONST, build_error="invalid storage name 'h:k'",
         edit=lambda ir: declaration(ir, 1).update(name="h:k")),
    case("foreign_storage_names_may_hold_separators", """
fv = ForeignVariable(foreign_contract='c', foreign_name='n')
fh = ForeignHash(foreign_contract='c', foreign_name='n')

def f():
    return 1
""", call("f", result="int:1"), cost=4 * CONST + R + CONST,
         edit=lambda ir: (declaration(ir, 0).update(name="f.v"), declaration(ir, 1).update(name="f:h"))),
    case("validation_failure_is_the_build_error", """
def f():
    pass

def f():
    pass
""", [], cost=0, build_error="duplicate function 'f'"),
    case("build_charges_stop_at_budget", """
a = 1
b = 2
""", [], cost=A + CONST + A, budget=100, build_error="Out of chi.", env=["VELN_VM_TRACE_STATEMENTS"],
         stderr="[vm-stmt] con_test assign\n"),
    case("entry_set_for_the_call_only", """
def f():
    return ctx.entry
""", [call("f", result="tuple:(con_test, f)"), call("g", error="unknown function 'g'")], cost=R + 96),
    # A function first called from the module body brings its names into the
    # globals as it is lowered; they stay there after the body ends.
    case("names_of_functions_the_module_body_calls_stay_globals", """
def g(k):
    if k:
        return later_name
    return 1

b = g(False)

@export
def kept():
    return b

@export
def f():
    return g(True)
""", [call("kept", result="int:1"), call("f", error="unknown name 'later_name'")],
         # body: assign, call of g (its name 64), constant, then g: if, name, return, constant;
         # kept: return, name; f: return, call of g, constant, then g: if, name, return, name
         cost=A + CALL + NAME + CONST + 96 + NAME + R + CONST + R + NAME + R + CALL + NAME + CONST + 96 + NAME + R
         + NAME),
]
