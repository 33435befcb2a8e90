# Recursion through instance builds: a module body, a declaration's value or
# an event's parameters call a contract whose own build calls back. Each
# build counts as one active call; the 257th fails before its declarations.
# The host builds a new instance for every cross-contract call.
from gen_contract_cases import case

EXPR, RET, CALL, NAME, CONST, DICT = 32, 32, 5000, 64, 32, 608
# The call back: syscall("contract.call", name, "f", {}).
SELF = CALL + 2 * CONST + DICT

LIMIT = "RecursionError('maximum recursion depth exceeded')"
F = """
@export
def f():
    return 1
"""
TRACES = ["VELN_VM_TRACE_CALLS", "VELN_VM_TRACE_STATEMENTS"]
SELF_CALL = 'syscall("contract.call", "{0}", "f", {{}})'


def cycle(body):
    """Two contracts whose bodies reach each other (entry con_a)."""
    return dict(module_name="con_a", source=body.format("con_b") + F,
                contracts={"con_b": body.format("con_a") + F})


def self_call(name, declaration):
    return dict(module_name=name, source=declaration.format(SELF_CALL.format(name)) + F, contracts={})


def recursion(name, parts, cost, error=LIMIT, **options):
    return case(name, calls=[], cost=cost, build_error=error, **parts, **options)


CASES = [
    recursion("module_body_calls_its_own_contract", self_call("con_mb", "{}\n"), 256 * (EXPR + SELF)),
    # A budget may end the chain first; the failed charge counts.
    recursion("module_body_calls_its_own_contract_out_of_chi", self_call("con_mb", "{}\n"),
              10 * (EXPR + SELF) + EXPR, error="Out of chi.", budget=10 * (EXPR + SELF)),
    recursion("static_import_cycle", cycle("import {0}\n{0}.f()\n"), 256 * (EXPR + CALL)),
    recursion("dynamic_import_cycle", cycle('export_call("f", "dynamic_import", syscall("contract.import", "{0}"))\n'),
              256 * (EXPR + CALL + CALL + CONST)),
    recursion("binding_declaration_calls_its_own_contract", self_call("con_s", "X: Binding = {}\n"), 256 * SELF),
    recursion("event_parameters_call_back", self_call("con_e", "E = LogEvent('E', {{'a': {}}})\n"), 256 * (DICT + CONST + SELF)),
    recursion("variable_default_calls_back", self_call("con_v", "v = Variable(default_value={})\n"), 256 * SELF),
    recursion("hash_default_calls_back", self_call("con_h", "h = Hash(default_value={})\n"), 256 * SELF),
    recursion("variable_default_calls_back_traced", self_call("con_v", "v = Variable(default_value={})\n"), 256 * SELF,
              env=TRACES),
    recursion("hash_default_calls_back_traced", self_call("con_h", "h = Hash(default_value={})\n"), 256 * SELF, env=TRACES),
    recursion("factory_called_from_the_module_body", self_call("con_fc", """
def mk():
    return syscall("contract.import", "con_fc")
export_call("f", ("factory_call", "mk"), mk())
"""),
              # the 256th build's body makes the 257th active call: mk() fails before its price
              255 * (EXPR + CALL + CALL + NAME + RET + CALL + CONST) + EXPR + CALL + CALL + NAME),
]
