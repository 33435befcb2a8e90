# Name lookup order (locals, module globals, module functions, builtins, host
# bindings) and the host-binding table.
from gen_contract_cases import call, case

R, A, NAME, CONST, TUPLE, ATTR = 32, 64, 64, 32, 128, 96


def with_host_binding(binding):
    def edit(ir):
        ir["functions"][0]["body"][0]["value"]["host_binding_id"] = binding
    return edit


CASES = [
    case("local_shadows_global_function_builtin", """
len = 1

def g():
    return 2

def f(g):
    return g, len
""", call("f", 5, result="tuple:(5, 1)"), cost=A + CONST + R + TUPLE + 2 * NAME),
    case("global_shadows_function", """
def g():
    return 1

g = 7

def f():
    return g
""", call("f", result="int:7"), cost=A + CONST + R + NAME),
    case("function_reference_and_builtin", """
def g():
    return 1

def f():
    return g, len
""", call("f", result="tuple:(<function:g>, <builtin:len>)"), cost=R + TUPLE + 2 * NAME),
    case("builtin_wins_over_host_binding", """
def f():
    return len
""", call("f", result="builtin:<builtin:len>"), cost=R + NAME, edit=with_host_binding("env.now")),
    case("local_shadows_host_binding", """
def f(now):
    return now
""", call("f", 3, result="int:3"), cost=R + NAME),
    case("host_binding_context_values", """
def f():
    return ctx.caller, ctx.signer, ctx.this, ctx.entry, ctx.owner, ctx.submission_name
""", call("f", result="tuple:(alice, None, con_test, (con_test, f), None, None)"),
         context={"caller": "alice"}, cost=R + 128 + 6 * ATTR),
    case("host_binding_entry_given", """
def f():
    return ctx.entry
""", call("f", result="tuple:(other, main)"), context={"entry": ["other", "main"]}, cost=R + ATTR),
    case("host_binding_env_and_time_units", """
def f():
    return now, seconds, minutes, hours, days, weeks
""", call("f", result="tuple:(None, 0:00:01, 0:01:00, 1:00:00, 1 day, 0:00:00, 7 days, 0:00:00)"),
         cost=R + 128 + 6 * NAME),
    case("host_binding_markers_and_modules", """
def f():
    return hashlib, Any
""", call("f", result="tuple:(<builtin:hashlib>, Any)"), cost=R + 128 + 2 * NAME),
    case("host_binding_type_markers", """
def f():
    return a, b, c
""", call("f", result="tuple:(datetime.datetime, Variable, LogEvent)"), cost=R + 128 + 3 * NAME,
         edit=lambda ir: [e.update(host_binding_id=b) for e, b in zip(
             ir["functions"][0]["body"][0]["value"]["elements"],
             ["time.datetime.strptime", "storage.variable.new", "event.log.new"])]),
    case("host_binding_unsupported", """
def f():
    return thing
""", call("f", error="unsupported host binding 'env.nothing'"), cost=R + NAME,
         edit=with_host_binding("env.nothing")),
    case("host_binding_not_a_string_is_ignored", """
def f():
    return thing
""", call("f", error="unknown name 'thing'"), cost=R + NAME, edit=with_host_binding(5)),
    case("unknown_name", """
def f():
    return missing
""", call("f", error="unknown name 'missing'"), cost=R + NAME),
    case("attribute_with_host_binding_root_unbound", """
def f():
    return ctx.caller
""", call("f", result="str:bob"), context={"caller": "bob"}, cost=R + ATTR),
    case("attribute_with_host_binding_root_is_local", """
def f(ctx):
    return ctx.caller
""", call("f", 1, error="value of type int has no native attribute 'caller'"), cost=R + ATTR + NAME),
    case("attribute_with_host_binding_deep_root", """
def f():
    return ctx.a.caller
""", call("f", result="none:None"), cost=R + ATTR,
         edit=lambda ir: ir["functions"][0]["body"][0]["value"].update(host_binding_id="context.owner")),
    case("name_id_missing", """
def f(x):
    return f'{x}'
""", call("f", 1, error="field 'id' must be a string"), cost=R + 96 + NAME,
         edit=lambda ir: ir["functions"][0]["body"][0]["value"].update(elements=[], values=[{"node": "name"}])),
]
