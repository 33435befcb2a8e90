#!/usr/bin/env python3
"""Writes the module IR fixtures under tests/data/module_ir/.

valid/<case>.json      documents that must pass parse_module_ir
invalid/<case>.json    documents that must fail, with
invalid/<case>.expected the exact failure message (no trailing newline)

Each case starts from a small valid module and changes one thing (or two, for
the cases that pin which of two faults is reported). At the end the script
checks that every message template, with every label it can carry, occurs in
at least one expected message, and that every node kind occurs in a valid
document. Run it from anywhere; it rewrites the whole directory.
"""
import copy
import json
import pathlib
import re
import shutil

OUT = pathlib.Path(__file__).resolve().parent.parent / "data" / "module_ir"
HASH = "0123456789abcdef" * 4


def span(line=1, col=0, end_line=None, end_col=10):
    return {"line": line, "col": col, "end_line": line if end_line is None else end_line, "end_col": end_col}


def node(kind, **members):
    out = {"node": kind, "span": span()}
    out.update(members)
    return out


# ---- expressions -------------------------------------------------------------
def name(ident="x"):
    return node("name", id=ident)


def const(value_type="int", **members):
    if value_type == "int" and "value" not in members:
        members["value"] = 1
    return node("constant", value_type=value_type, **members)


def one():
    return const("int", value=1)


def call(func=None, args=None, keywords=None, **members):
    return node("call", func=func or name("f"), args=args or [], keywords=keywords or [], **members)


def kw(arg="k", value=None, **members):
    out = {"node": "keyword", "span": span(), "arg": arg, "value": value or one()}
    out.update(members)
    return out


def gen(target=None, it=None, ifs=None):
    return {"target": target or name_target(), "iter": it or name("xs"), "ifs": ifs or []}


def static_target(binding="token"):
    return {"kind": "static_import", "span": span(), "binding": binding}


# ---- targets -----------------------------------------------------------------
def name_target(ident="x"):
    return node("name", id=ident)


# ---- statements --------------------------------------------------------------
def expr_stmt(value):
    return node("expr", value=value)


def assign(target=None, value=None):
    return node("assign", targets=[target or name_target()], value=value or one())


def storage_set(**over):
    out = node("storage_set", binding="balances", storage_type="Hash", syscall_id="storage.hash.set",
               key=name("k"), value=one())
    out.update(over)
    return out


def storage_mutate(**over):
    out = node("storage_mutate", binding="balances", storage_type="Hash", write_syscall_id="storage.hash.set",
               read_syscall_id="storage.hash.get", key=name("k"), operator="add", value=one())
    out.update(over)
    return out


def storage_get(**over):
    out = node("storage_get", binding="balances", storage_type="Hash", syscall_id="storage.hash.get", key=name("k"))
    out.update(over)
    return out


# ---- declarations and top level ----------------------------------------------
def storage_decl(decl_name="balances", **over):
    out = node("storage_decl", name=decl_name, storage_type="Hash", syscall_id="storage.hash.declare", args=[],
               keywords=[])
    out.update(over)
    return out


def event_decl(decl_name="Transfer", **over):
    out = node("event_decl", name=decl_name, syscall_id="event.log.declare", event_name="Transfer",
               params=node("dict", entries=[]))
    out.update(over)
    return out


def binding_decl(decl_name="limit", **over):
    out = node("binding_decl", name=decl_name, value=one())
    out.update(over)
    return out


def param(pname="a", kind="positional_or_keyword", **over):
    out = {"name": pname, "kind": kind, "annotation": "int", "span": span()}
    out.update(over)
    return out


def function(fname="f", body=None, **over):
    out = {"node": "function", "span": span(), "name": fname, "visibility": "export", "docstring": None,
           "parameters": [], "returns": None, "body": [node("pass")] if body is None else body}
    out.update(over)
    return out


def decorator(**over):
    out = {"node": "decorator", "span": span(), "name": "export", "args": [], "keywords": []}
    out.update(over)
    return out


def imp(module="token", alias=None, **over):
    out = {"node": "import", "span": span(), "module": module}
    if alias is not None:
        out["alias"] = alias
    out.update(over)
    return out


def dep(binding="ctx", dep_id="context.caller", kind="context_field", category="context"):
    return {"binding": binding, "id": dep_id, "kind": kind, "category": category}


def module(**over):
    out = {"ir_version": "veln_ir_v1", "vm_profile": "veln_vm_v1", "host_catalog_version": "veln_vm_v1_host_v1",
           "module_name": "con_token", "source_hash": HASH, "docstring": None, "imports": [],
           "global_declarations": [], "functions": [], "module_body": [], "host_dependencies": []}
    out.update(over)
    return out


def with_stmt(*stmts):
    return module(functions=[function(body=list(stmts))])


def with_expr(*exprs):
    return with_stmt(*[expr_stmt(e) for e in exprs])


def with_target(target):
    return with_stmt(assign(target=target))


def with_decl(*decls):
    return module(global_declarations=list(decls))


def without(obj, key):
    out = copy.deepcopy(obj)
    del out[key]
    return out


def kitchen_sink():
    """One module using every node kind, every operator and every optional form."""
    binops = ["add", "sub", "mul", "div", "floordiv", "mod", "pow", "bitand", "bitor", "bitxor", "lshift", "rshift"]
    cmpops = ["eq", "not_eq", "gt", "gt_e", "lt", "lt_e", "in", "not_in", "is", "is_not"]
    exprs = [
        name("x"),
        const("none"), const("bool", value=True), const("int", value=-5), const("float", literal="1.5"),
        const("str", value="hi"), const("bytes", value="0aFF"),
        node("list", elements=[one(), name("y")]), node("tuple", elements=[]),
        node("f_string", values=[const("str", value="a"), node("formatted_value", value=name("v"),
                                                              conversion="r", format_spec=const("str", value=">4"))]),
        node("dict", entries=[{"key": const("str", value="k"), "value": one()}, {"unpack": name("other")}]),
        call(name("f"), [one()], [kw("k", one()), node("keyword_unpack", value=name("kw"))]),
        call(name("emit"), syscall_id="event.log.emit", event_binding="Transfer"),
        call(node("attribute", value=name("token"), attr="transfer"), syscall_id="contract.export_call",
             function_name="transfer", contract_target=static_target()),
        call(name("get"), syscall_id="storage.variable.get", receiver_binding="owner", receiver_type="Variable",
             method="get"),
        call(name("set"), syscall_id="storage.variable.set", receiver_binding="owner", receiver_type="Variable",
             method="set"),
        call(name("fget"), syscall_id="storage.foreign_variable.get", receiver_binding="fo",
             receiver_type="ForeignVariable", method="get"),
        call(name("all"), syscall_id="storage.hash.all", receiver_binding="balances", receiver_type="Hash",
             method="all"),
        call(name("fall"), syscall_id="storage.foreign_hash.all", receiver_binding="fh",
             receiver_type="ForeignHash", method="all"),
        call(name("h"), syscall_id="crypto.sha3", contract_target=None),
        call(name("c"), function_name="f", contract_target={"kind": "dynamic_import", "span": span(),
                                                            "source": const("str", value="con_x")}),
        call(name("c"), contract_target={"kind": "local_handle", "span": span(), "binding": "h",
                                         "source": name("h")}),
        call(name("c"), contract_target={"kind": "factory_call", "span": span(), "factory": "make",
                                         "source": name("h")}),
        node("attribute", value=name("ctx"), attr="caller", host_binding_id="context.caller"),
        node("subscript", value=name("xs"), slice=node("slice", lower=one(), upper=None)),
        node("slice", lower=None, upper=None, step=one()),
        node("compare", left=one(), operators=cmpops, comparators=[one()] * len(cmpops)),
        node("bool_op", operator="and", values=[name("a"), name("b")]),
        node("bool_op", operator="or", values=[]),
        *[node("unary_op", operator=op, operand=one()) for op in ["not", "neg", "pos", "invert"]],
        *[node("bin_op", operator=op, left=one(), right=one()) for op in binops],
        node("if_expr", test=name("c"), body=one(), orelse=one()),
        node("list_comp", element=name("x"), generators=[gen(ifs=[name("c")])]),
        node("dict_comp", key=name("k"), value=name("v"), generators=[
            gen(target=node("tuple_target", elements=[name_target("k"), name_target("v")]))]),
        storage_get(),
        storage_get(storage_type="ForeignHash", syscall_id="storage.foreign_hash.get"),
    ]
    stmts = [expr_stmt(e) for e in exprs] + [
        node("pass"), node("break"), node("continue"),
        node("return", value=one()), node("return"),
        assign(name_target("x"), one()),
        node("assign", targets=[], value=one()),
        node("assign", targets=[node("attribute", value=name("self"), attr="a"),
                                node("subscript", value=name("xs"), slice=one()),
                                node("list_target", elements=[name_target("a"), node("tuple_target", elements=[])])],
             value=one()),
        *[node("aug_assign", operator=op, target=name_target("x"), value=one()) for op in binops],
        node("if", test=name("c"), body=[node("pass")], orelse=[]),
        node("while", test=name("c"), body=[], orelse=[node("pass")]),
        node("for", target=name_target("i"), iter=name("xs"), body=[node("continue")], orelse=[]),
        node("raise", exception=call(name("ValueError"), [const("str", value="bad")]), cause=None),
        node("raise"),
        node("assert", test=name("c"), message=const("str", value="m")),
        node("assert", test=name("c")),
        storage_set(),
        *[storage_mutate(operator=op) for op in binops],
    ]
    return module(
        docstring="Token contract.",
        imports=[imp("currency"), imp("currency", alias="cur"), imp("con_x", alias=None)],
        global_declarations=[storage_decl(), storage_decl("owner", storage_type="Variable",
                                                          args=[one()], keywords=[kw("default_value", one())]),
                             event_decl(), binding_decl()],
        functions=[
            function("seed", visibility="construct", body=[node("pass")]),
            function("transfer", body=stmts, decorator=decorator(args=[one()], keywords=[kw()]),
                     parameters=[param("a"), param("b", "keyword_only", default=one()), param("args", "vararg"),
                                 param("kwargs", "kwarg", annotation=None, default=None)], returns="int"),
            function("helper", visibility="private", body=[]),
        ],
        module_body=[assign(name_target("limit"), one())],
        host_dependencies=[dep(), dep("now", "context.now", "value", "time"), dep("sha", "crypto.sha3", "syscall", "x"),
                           dep("env", "env.x", "env_value", "env"), dep("Any", "types.Any", "type_marker", "t")],
    )


VALID = {}
INVALID = {}


def valid(case, doc):
    assert case not in VALID, case
    VALID[case] = doc


def invalid(case, doc, expected):
    assert case not in INVALID, case
    INVALID[case] = (doc, expected)


def raw(text):
    """A document given as exact text (for repeated keys and the like)."""
    return RawText(text)


class RawText(str):
    pass


# ---------------------------------------------------------------------------
# Valid documents
valid("kitchen_sink", kitchen_sink())
valid("empty_module", module())
valid("many_functions", module(functions=[function(f"f{i}") for i in range(40)]))
valid("module_array_form", [ "veln_ir_v1", "veln_vm_v1", "veln_vm_v1_host_v1", "con_a", HASH, None, [], [], [], [], []])
valid("upper_case_hash", module(source_hash=HASH.upper()))
valid("span_columns_free", module(functions=[function(span={"line": 1, "col": 9, "end_line": 1, "end_col": 0})]))
valid("span_as_array", with_stmt({"node": "pass", "span": [3, 4, 3, 10]}))
valid("span_unknown_member_ignored", with_stmt({"node": "pass", "span": dict(span(), extra=[1, {"a": None}])}))
valid("unknown_members_ignored", with_stmt(node("pass", extra={"anything": [1, 2, None]}, value=5)))
valid("function_and_declaration_share_name", module(global_declarations=[binding_decl("f")], functions=[function("f")]))
valid("import_and_function_share_name", module(imports=[imp("f")], functions=[function("f")]))
valid("imports_aliases_differ", module(imports=[imp("a", alias="x"), imp("a", alias="y")]))
valid("import_alias_null_binds_module", module(imports=[imp("a", alias=None), imp("b", alias="c")]))
valid("host_dependencies_same_binding", module(host_dependencies=[dep("b", "id.one"), dep("b", "id.two")]))
valid("repeated_parameters", module(functions=[function(parameters=[param("a", "vararg"), param("a", "vararg")])]))
valid("return_value_null", with_stmt(node("return", value=None)))
valid("list_elements_not_array_uses_values", with_expr(node("list", elements=5, values=[one()])))
valid("tuple_values_only", with_expr(node("tuple", values=[one()])))
valid("dict_unpack_ignores_key", with_expr(node("dict", entries=[{"unpack": name("m"), "key": 5}])))
valid("compare_lengths_differ", with_expr(node("compare", left=one(), operators=["eq", "lt"], comparators=[one()])))
valid("compare_empty", with_expr(node("compare", left=one(), operators=[], comparators=[])))
valid("bytes_constant_empty", with_expr(const("bytes", value="")))
valid("int_constant_without_value", with_expr(node("constant", value_type="int")))
valid("str_constant_value_not_examined", with_expr(node("constant", value_type="str", value=[1])))
valid("keyword_without_node", with_expr(call(keywords=[{"span": span(), "arg": "k", "value": one()}])))
valid("keyword_node_number", with_expr(call(keywords=[{"node": 7, "span": span(), "arg": "k", "value": one()}])))
valid("call_unknown_syscall", with_expr(call(syscall_id="storage.hash.get")))
valid("call_syscall_null", with_expr(call(syscall_id=None)))
valid("call_export_call_target_validated_once", with_expr(
    call(syscall_id="contract.export_call", function_name="f", contract_target=static_target())))
valid("storage_get_hash_with_foreign_id", with_expr(storage_get(storage_type="Hash", syscall_id="storage.foreign_hash.get")))
valid("storage_decl_any_type", with_decl(storage_decl(storage_type="Variable"), storage_decl("b", storage_type="Whatever")))
valid("contract_target_static_without_source", with_expr(call(contract_target=static_target())))
valid("comprehension_without_generators", with_expr(node("list_comp", element=one(), generators=[])))
valid("formatted_value_minimal", with_expr(node("formatted_value", value=one())))
valid("objects_repeated_key_last_wins", raw(
    json.dumps(module()).replace('"functions": []', '"functions": [' + json.dumps(function()) + ']')
    .replace('{"node": "pass", "span":', '{"node": 5, "node": "pass", "span":', 1)))
valid("null_optionals", module(docstring=None, functions=[function(decorator=None, returns=None, docstring=None,
                                                                    parameters=[param(default=None, annotation=None)])]))

# Deepest nesting that still reads: 127 levels counting the outer object.
def nested_unary(levels):
    expr = name("x")
    for _ in range(levels):
        expr = node("unary_op", operator="neg", operand=expr)
    return expr
# module(1) functions(2) function(3) body(4) statement(5) value(6); each unary
# adds one; the innermost name's span is one level below the name.
valid("nesting_127_levels", with_expr(nested_unary(126 - 6)))


def column_of_level(text, level):
    """1-based column of the bracket that opens nesting level `level`."""
    depth, in_string, escaped = 0, False, False
    for i, c in enumerate(text):
        if in_string:
            if escaped:
                escaped = False
            elif c == "\\":
                escaped = True
            elif c == '"':
                in_string = False
        elif c == '"':
            in_string = True
        elif c in "[{":
            depth += 1
            if depth == level:
                return i + 1
        elif c in "]}":
            depth -= 1
    raise ValueError("level not reached")


_too_deep = json.dumps(with_expr(nested_unary(126 - 6 + 1)))
invalid("nesting_128_levels", raw(_too_deep),
        f"recursion limit exceeded at line 1 column {column_of_level(_too_deep, 128)}")
valid("deep_unknown_member_skipped", raw(json.dumps(module())[:-1] + ', "extra": ' + "[" * 5000 + "]" * 5000 + "}"))

# ---------------------------------------------------------------------------
# Module level, in check order
invalid("ir_version", module(ir_version="veln_ir_v2"), "unsupported ir_version 'veln_ir_v2'")
invalid("ir_version_wins_over_everything", module(ir_version="", vm_profile="x", host_catalog_version="y",
                                                   module_name="", source_hash="z"), "unsupported ir_version ''")
invalid("vm_profile_case", module(vm_profile="VELN_vm_v1"), "unsupported vm_profile 'VELN_vm_v1'")
invalid("host_catalog_version", module(host_catalog_version="veln_vm_v1_host_v2", module_name=""),
        "unsupported host_catalog_version 'veln_vm_v1_host_v2'")
invalid("module_name_empty_before_hash", module(module_name="", source_hash="nothex"), "module_name must not be empty")
invalid("source_hash_63", module(source_hash=HASH[:63]), "source_hash must be a 64-character hex string")
invalid("source_hash_65", module(source_hash=HASH + "a"), "source_hash must be a 64-character hex string")
invalid("source_hash_g", module(source_hash=HASH[:63] + "g"), "source_hash must be a 64-character hex string")
invalid("source_hash_empty", module(source_hash=""), "source_hash must be a 64-character hex string")
invalid("source_hash_multibyte", module(source_hash=HASH[:62] + "\u00e9"), "source_hash must be a 64-character hex string")
invalid("source_hash_before_imports", module(source_hash="", imports=[imp(node="x")]),
        "source_hash must be a 64-character hex string")

# Imports
invalid("import_node", module(imports=[imp(node="Import")]), "import node must be 'import'")
invalid("import_node_before_span", module(imports=[imp(node="x", span=span(0))]), "import node must be 'import'")
invalid("import_span_end_line", module(imports=[imp(span=span(5, end_line=4))]), "span.end_line must be >= span.line")
invalid("import_span_zero", module(imports=[imp(span=span(0, end_line=0), module="")]), "span line values must be positive")
invalid("import_module_empty", module(imports=[imp("", alias="")]), "import.module must not be empty")
invalid("import_alias_empty", module(imports=[imp("a", alias="")]), "import.alias must not be empty")
invalid("import_duplicate_alias_module", module(imports=[imp("a"), imp("b", alias="a")]), "duplicate import binding 'a'")
invalid("import_duplicate_module", module(imports=[imp("a"), imp("a")]), "duplicate import binding 'a'")
invalid("import_invalid_second_reports_own_fault", module(imports=[imp("a"), imp("a", alias="")]),
        "import.alias must not be empty")
invalid("import_duplicate_before_function_fault", module(imports=[imp("a"), imp("a")], functions=[function("")]),
        "duplicate import binding 'a'")

# Global declarations
invalid("declaration_not_object", with_decl([1]), "global declaration must be an object")
invalid("declaration_node_missing", with_decl(without(binding_decl(), "node")), "missing required field 'node'")
invalid("declaration_node_not_string", with_decl(binding_decl(node=None)), "node must be a string")
invalid("declaration_span_missing", with_decl(without(binding_decl(), "span")), "missing required field 'span'")
invalid("declaration_span_before_name", with_decl(without(binding_decl(span=None), "name")),
        "invalid type: null, expected struct Span")
invalid("declaration_name_missing", with_decl(without(binding_decl(), "name")), "missing required field 'name'")
invalid("declaration_name_not_string", with_decl(binding_decl(decl_name=3)), "name must be a string")
invalid("declaration_name_empty_unknown_kind", with_decl(binding_decl("", node="function_decl")),
        "global_declaration.name must not be empty")
invalid("declaration_unknown_kind", with_decl(binding_decl(node="const_decl")),
        "unsupported global declaration node 'const_decl'")
invalid("declaration_duplicate", with_decl(binding_decl("a"), storage_decl("a")), "duplicate global declaration 'a'")
invalid("declaration_invalid_second_reports_own_fault", with_decl(binding_decl("a"), storage_decl("a", args=5)),
        "args must be an array")
invalid("storage_decl_type_missing", with_decl(without(storage_decl(), "storage_type")),
        "missing required field 'storage_type'")
invalid("storage_decl_type_empty", with_decl(storage_decl(storage_type="", syscall_id="")),
        "storage_decl.storage_type must not be empty")
invalid("storage_decl_syscall_empty", with_decl(storage_decl(syscall_id="")), "storage_decl.syscall_id must not be empty")
invalid("storage_decl_args_missing", with_decl(without(storage_decl(), "args")), "missing required field 'args'")
invalid("storage_decl_arg_bad", with_decl(storage_decl(args=[5])), "expression must be an object")
invalid("storage_decl_keywords_not_array", with_decl(storage_decl(keywords={})), "keywords must be an array")
invalid("storage_decl_keyword_bad", with_decl(storage_decl(keywords=["k"])), "keyword must be an object")
invalid("event_decl_syscall_empty", with_decl(event_decl(syscall_id="", event_name="")),
        "event_decl.syscall_id must not be empty")
invalid("event_decl_name_empty", with_decl(event_decl(event_name="")), "event_decl.event_name must not be empty")
invalid("event_decl_params_missing", with_decl(without(event_decl(), "params")), "missing required field 'params'")
invalid("event_decl_params_null", with_decl(event_decl(params=None)), "expression must be an object")
invalid("binding_decl_value_missing", with_decl(without(binding_decl(), "value")), "missing required field 'value'")

# Functions, decorators, parameters
invalid("function_node", module(functions=[function(node="def", span=span(0))]), "function node must be 'function'")
invalid("function_span_before_name", module(functions=[function("", span=span(2, end_line=1))]),
        "span.end_line must be >= span.line")
invalid("function_span_zero", module(functions=[function(span=span(0, end_line=0))]), "span line values must be positive")
invalid("function_name_empty", module(functions=[function("", visibility="public")]), "function.name must not be empty")
invalid("function_visibility", module(functions=[function(visibility="public")]),
        "function.visibility has unsupported value 'public'")
invalid("function_visibility_case", module(functions=[function(visibility="Export")]),
        "function.visibility has unsupported value 'Export'")
invalid("decorator_node", module(functions=[function(decorator=decorator(node="deco", name=""))]),
        "decorator node must be 'decorator'")
invalid("decorator_span", module(functions=[function(decorator=decorator(span=span(0), name=""))]),
        "span line values must be positive")
invalid("decorator_name_empty", module(functions=[function(decorator=decorator(name="", args=[5]))]),
        "decorator.name must not be empty")
invalid("decorator_arg", module(functions=[function(decorator=decorator(args=[[]], keywords=[5]))]),
        "expression must be an object")
invalid("decorator_keyword", module(functions=[function(decorator=decorator(keywords=[kw(arg="")]))]),
        "keyword.arg must not be empty")
invalid("decorator_before_parameters", module(functions=[function(decorator=decorator(name=""),
                                                                   parameters=[param("")])]),
        "decorator.name must not be empty")
invalid("parameter_name_empty", module(functions=[function(parameters=[param("", "bad", span=span(0))])]),
        "parameter.name must not be empty")
invalid("parameter_kind_before_span", module(functions=[function(parameters=[param("a", "bad", span=span(0))])]),
        "parameter.kind has unsupported value 'bad'")
invalid("parameter_span", module(functions=[function(parameters=[param(span=span(3, end_line=2), default=5)])]),
        "span.end_line must be >= span.line")
invalid("parameter_default", module(functions=[function(parameters=[param(default=name(""))])]),
        "expression.name.id must not be empty")
invalid("parameters_before_body", module(functions=[function(parameters=[param("")], body=[5])]),
        "parameter.name must not be empty")
invalid("function_body", module(functions=[function(body=[node("nop")])]), "unsupported statement node 'nop'")
invalid("function_duplicate", module(functions=[function("f"), function("f")]), "duplicate function 'f'")
invalid("function_duplicate_seventeenth", module(functions=[function(f"f{i}") for i in range(16)] + [function("f3")]),
        "duplicate function 'f3'")
invalid("function_duplicate_after_many",
        module(functions=[function(f"f{i}") for i in range(20)] + [function("f17"), function("f0")]),
        "duplicate function 'f17'")
invalid("function_invalid_second_reports_own_fault", module(functions=[function("f"), function("f", visibility="x")]),
        "function.visibility has unsupported value 'x'")
invalid("functions_before_module_body", module(functions=[function(visibility="x")], module_body=[5]),
        "function.visibility has unsupported value 'x'")
invalid("module_body_before_host_dependencies", module(module_body=[node("nop")], host_dependencies=[dep("")]),
        "unsupported statement node 'nop'")
invalid("declarations_before_functions", module(global_declarations=[5], functions=[function("")]),
        "global declaration must be an object")

# Host dependencies
invalid("dep_binding_empty", module(host_dependencies=[dep("", "", "", "")]), "host_dependency.binding must not be empty")
invalid("dep_id_empty", module(host_dependencies=[dep("b", "", "", "")]), "host_dependency.id must not be empty")
invalid("dep_kind_empty", module(host_dependencies=[dep(kind="")]), "host_dependency.kind must not be empty")
invalid("dep_category_before_kind_value", module(host_dependencies=[dep(kind="bad", category="")]),
        "host_dependency.category must not be empty")
invalid("dep_kind_case", module(host_dependencies=[dep(kind="Value")]), "host_dependency.kind has unsupported value 'Value'")
invalid("dep_duplicate_id", module(host_dependencies=[dep("a", "x.y"), dep("b", "x.y")]), "duplicate host dependency 'x.y'")
invalid("dep_invalid_second_reports_own_fault", module(host_dependencies=[dep("a", "x.y"), dep("b", "x.y", kind="k")]),
        "host_dependency.kind has unsupported value 'k'")

# ---------------------------------------------------------------------------
# Node starts and spans
invalid("statement_not_object", with_stmt("pass"), "statement must be an object")
invalid("statement_null", with_stmt(None), "statement must be an object")
invalid("statement_node_and_span_missing", with_stmt({"value": 1}), "missing required field 'node'")
invalid("statement_node_not_string", with_stmt({"node": ["pass"], "span": span()}), "node must be a string")
invalid("statement_unknown_kind_without_span", with_stmt({"node": "nop"}), "missing required field 'span'")
invalid("statement_unknown_kind", with_stmt(node("Pass")), "unsupported statement node 'Pass'")
invalid("span_null", with_stmt(node("pass", span=None)), "invalid type: null, expected struct Span")
invalid("span_missing_end_col", with_stmt(node("pass", span={"line": 1, "col": 1, "end_line": 1})),
        "missing field `end_col`")
invalid("span_string", with_stmt(node("pass", span="1:1")), "invalid type: string \"1:1\", expected struct Span")
invalid("span_array_short", with_stmt(node("pass", span=[1, 1, 1])),
        "invalid length 3, expected struct Span with 4 elements")
invalid("span_array_long", with_stmt(node("pass", span=[1, 1, 1, 1, 1])),
        "invalid length 5, expected fewer elements in array")
invalid("span_negative_line", with_stmt(node("pass", span=span(-1))), "invalid value: integer `-1`, expected u64")
invalid("span_float_line", with_stmt(node("pass", span={"line": 1.0, "col": 0, "end_line": 1, "end_col": 0})),
        "invalid type: floating point `1.0`, expected u64")
invalid("span_key_order_decides", with_stmt(node("pass", span={"line": "a", "col": True, "end_line": 1, "end_col": 1})),
        "invalid type: boolean `true`, expected u64")
invalid("span_end_line_before_positive", with_stmt(node("pass", span=span(5, end_line=0))),
        "span.end_line must be >= span.line")
invalid("span_zero", with_stmt(node("pass", span=span(0, end_line=0))), "span line values must be positive")
invalid("span_zero_end_line_positive", with_stmt(node("pass", span=span(0, end_line=3))), "span line values must be positive")
invalid("expression_not_object", with_expr(5), "expression must be an object")
invalid("expression_node_missing", with_expr({"span": span(), "id": "x"}), "missing required field 'node'")
invalid("expression_node_not_string", with_expr({"node": None, "span": span()}), "node must be a string")
invalid("expression_span_missing_unknown_kind", with_expr({"node": "lambda"}), "missing required field 'span'")
invalid("expression_unknown_kind", with_expr(node("lambda")), "unsupported expression node 'lambda'")
invalid("expression_kind_is_target_kind", with_expr(node("tuple_target", elements=[])),
        "unsupported expression node 'tuple_target'")
invalid("target_not_object", with_stmt(node("assign", targets=["x"], value=one())), "target must be an object")
invalid("target_node_missing", with_target({"span": span(), "id": "x"}), "missing required field 'node'")
invalid("target_span_missing", with_target({"node": "name", "id": "x"}), "missing required field 'span'")
invalid("target_unknown_kind", with_target(node("list", elements=[])), "unsupported target node 'list'")
invalid("keyword_not_object", with_expr(call(keywords=[None])), "keyword must be an object")
invalid("keyword_kind_and_span_missing", with_expr(call(keywords=[{"arg": "k", "value": one()}])),
        "missing required field 'span'")
invalid("keyword_unknown_kind", with_expr(call(keywords=[kw(node="kwarg")])), "unsupported keyword node 'kwarg'")
invalid("contract_target_not_object", with_expr(call(contract_target=[])), "contract_target must be an object")
invalid("contract_target_kind_and_span_missing", with_expr(call(contract_target={"binding": "x"})),
        "missing required field 'span'")
invalid("contract_target_kind_missing", with_expr(call(contract_target={"span": span(), "binding": "x"})),
        "missing required field 'kind'")
invalid("contract_target_kind_not_string", with_expr(call(contract_target={"span": span(), "kind": 1})),
        "kind must be a string")
invalid("contract_target_kind_unknown", with_expr(call(contract_target={"span": span(), "kind": "static"})),
        "contract_target.kind has unsupported value 'static'")
invalid("contract_target_uses_kind_not_node", with_expr(call(contract_target=node("static_import", binding="x"))),
        "missing required field 'kind'")

# Statements
invalid("expr_value_missing", with_stmt(node("expr")), "missing required field 'value'")
invalid("expr_value_null", with_stmt(node("expr", value=None)), "expression must be an object")
invalid("return_value_bad", with_stmt(node("return", value=[])), "expression must be an object")
invalid("assign_targets_missing", with_stmt(node("assign", value=one())), "missing required field 'targets'")
invalid("assign_targets_not_array", with_stmt(node("assign", targets=name_target(), value=one())),
        "targets must be an array")
invalid("assign_targets_before_value", with_stmt(node("assign", targets=[name_target("")])),
        "target.name.id must not be empty")
invalid("assign_value_missing", with_stmt(node("assign", targets=[])), "missing required field 'value'")
invalid("aug_assign_operator_missing", with_stmt(node("aug_assign", target=name_target(), value=one())),
        "missing required field 'operator'")
invalid("aug_assign_operator_not_string", with_stmt(node("aug_assign", operator=1, target=name_target(), value=one())),
        "operator must be a string")
invalid("aug_assign_operator", with_stmt(node("aug_assign", operator="matmul", target=5, value=one())),
        "aug_assign.operator has unsupported value 'matmul'")
invalid("aug_assign_target", with_stmt(node("aug_assign", operator="add", target=5, value=None)),
        "target must be an object")
invalid("aug_assign_target_missing", with_stmt(node("aug_assign", operator="add", value=one())),
        "missing required field 'target'")
invalid("if_test_missing", with_stmt(node("if", body=[], orelse=[])), "missing required field 'test'")
invalid("if_body_not_array", with_stmt(node("if", test=one(), body={}, orelse=[])), "body must be an array")
invalid("if_orelse_missing", with_stmt(node("if", test=one(), body=[])), "missing required field 'orelse'")
invalid("while_body_bad_before_orelse", with_stmt(node("while", test=one(), body=[node("nop")], orelse=5)),
        "unsupported statement node 'nop'")
invalid("while_orelse_not_array", with_stmt(node("while", test=one(), body=[], orelse=None)), "orelse must be an array")
invalid("for_target_first", with_stmt(node("for", target=None, iter=None, body=[], orelse=[])),
        "target must be an object")
invalid("for_iter_missing", with_stmt(node("for", target=name_target(), body=[], orelse=[])),
        "missing required field 'iter'")
invalid("for_orelse_missing", with_stmt(node("for", target=name_target(), iter=name("xs"), body=[])),
        "missing required field 'orelse'")
invalid("raise_exception_bad", with_stmt(node("raise", exception=5, cause=5)), "expression must be an object")
invalid("raise_cause_bad", with_stmt(node("raise", cause=name(""))), "expression.name.id must not be empty")
invalid("assert_test_missing", with_stmt(node("assert", message=one())), "missing required field 'test'")
invalid("assert_message_bad", with_stmt(node("assert", test=one(), message="m")), "expression must be an object")
invalid("storage_set_binding_missing", with_stmt(without(storage_set(), "binding")), "missing required field 'binding'")
invalid("storage_set_binding_not_string", with_stmt(storage_set(binding=None)), "binding must be a string")
invalid("storage_set_binding_empty", with_stmt(storage_set(binding="", storage_type="X")),
        "storage.binding must not be empty")
invalid("storage_set_storage_type", with_stmt(storage_set(storage_type="ForeignHash", syscall_id="x")),
        "storage.storage_type has unsupported value 'ForeignHash'")
invalid("storage_set_syscall_id", with_stmt(storage_set(syscall_id="storage.hash.get")),
        "syscall_id has unsupported value 'storage.hash.get'")
invalid("storage_set_syscall_missing", with_stmt(without(storage_set(), "syscall_id")),
        "missing required field 'syscall_id'")
invalid("storage_set_key", with_stmt(without(storage_set(), "key")), "missing required field 'key'")
invalid("storage_set_value", with_stmt(storage_set(value=None)), "expression must be an object")
invalid("storage_mutate_write_id", with_stmt(storage_mutate(write_syscall_id="storage.hash.get")),
        "write_syscall_id has unsupported value 'storage.hash.get'")
invalid("storage_mutate_write_id_missing", with_stmt(without(storage_mutate(), "write_syscall_id")),
        "missing required field 'write_syscall_id'")
valid("storage_mutate_ignores_syscall_id", with_stmt(storage_mutate(syscall_id="nonsense")))
invalid("storage_mutate_read_id", with_stmt(storage_mutate(read_syscall_id="storage.foreign_hash.get")),
        "storage_mutate.read_syscall_id has unsupported value 'storage.foreign_hash.get'")
invalid("storage_mutate_key_before_operator", with_stmt(storage_mutate(key=None, operator="x")),
        "expression must be an object")
invalid("storage_mutate_operator", with_stmt(storage_mutate(operator="and", value=None)),
        "storage_mutate.operator has unsupported value 'and'")
invalid("storage_mutate_value", with_stmt(without(storage_mutate(), "value")), "missing required field 'value'")

# Expressions
invalid("name_id_missing", with_expr(node("name")), "missing required field 'id'")
invalid("name_id_not_string", with_expr(node("name", id=1)), "id must be a string")
invalid("name_id_empty", with_expr(name("")), "expression.name.id must not be empty")
invalid("constant_value_type_missing", with_expr(node("constant", value=1)), "missing required field 'value_type'")
invalid("constant_value_type", with_expr(node("constant", value_type="complex")),
        "expression.constant.value_type has unsupported value 'complex'")
invalid("constant_value_type_case", with_expr(node("constant", value_type="Int")),
        "expression.constant.value_type has unsupported value 'Int'")
invalid("constant_float_literal_missing", with_expr(node("constant", value_type="float", value=1.5)),
        "missing required field 'literal'")
invalid("constant_float_literal_empty", with_expr(const("float", literal="")), "expression.constant.literal must not be empty")
invalid("constant_bytes_value_missing", with_expr(node("constant", value_type="bytes")), "missing required field 'value'")
invalid("constant_bytes_value_not_string", with_expr(const("bytes", value=[1])), "value must be a string")
invalid("constant_bytes_odd", with_expr(const("bytes", value="abc")),
        "expression.constant.value must be an even-length hex string")
invalid("constant_bytes_not_hex", with_expr(const("bytes", value="zz")),
        "expression.constant.value must be an even-length hex string")
invalid("list_values_missing", with_expr(node("list", elements=5)), "missing required field 'values'")
invalid("list_values_not_array", with_expr(node("list", values={})), "values must be an array")
invalid("list_element_bad", with_expr(node("list", elements=[one(), 5])), "expression must be an object")
invalid("tuple_values_missing", with_expr(node("tuple")), "missing required field 'values'")
invalid("f_string_value_bad", with_expr(node("f_string", values=[node("formatted_value", value=None)])),
        "expression must be an object")
invalid("dict_entries_missing", with_expr(node("dict")), "missing required field 'entries'")
invalid("dict_entries_not_array", with_expr(node("dict", entries={})), "entries must be an array")
invalid("dict_entry_array", with_expr(node("dict", entries=[[one(), one()]])), "dict entry must be an object")
invalid("dict_entry_unpack_null", with_expr(node("dict", entries=[{"unpack": None, "key": one(), "value": one()}])),
        "expression must be an object")
invalid("dict_entry_key_missing", with_expr(node("dict", entries=[{"value": one()}])), "missing required field 'key'")
invalid("dict_entry_value_bad", with_expr(node("dict", entries=[{"key": one(), "value": name("")}])),
        "expression.name.id must not be empty")
invalid("call_func_missing", with_expr(without(call(), "func")), "missing required field 'func'")
invalid("call_args_missing", with_expr(without(call(), "args")), "missing required field 'args'")
invalid("call_args_not_array", with_expr(dict(call(), args=None)), "args must be an array")
invalid("call_keywords_missing", with_expr(without(call(), "keywords")), "missing required field 'keywords'")
invalid("call_keyword_arg_missing", with_expr(call(keywords=[{"node": "keyword", "span": span(), "value": one()}])),
        "missing required field 'arg'")
invalid("call_keyword_value_missing", with_expr(call(keywords=[{"node": "keyword", "span": span(), "arg": "k"}])),
        "missing required field 'value'")
invalid("call_keyword_unpack_value", with_expr(call(keywords=[node("keyword_unpack", value=None)])),
        "expression must be an object")
invalid("call_syscall_id_not_string", with_expr(call(syscall_id=5)), "optional string must be a string")
invalid("call_syscall_id_empty", with_expr(call(syscall_id="")), "optional string must not be empty")
invalid("call_optional_strings_in_order", with_expr(call(method="", function_name=5)),
        "optional string must not be empty")
invalid("call_function_name_not_string", with_expr(call(function_name=5)), "optional string must be a string")
invalid("call_optional_strings_before_target", with_expr(call(receiver_type=[], contract_target=5)),
        "optional string must be a string")
invalid("call_contract_target_before_syscall", with_expr(call(syscall_id="event.log.emit", contract_target=5)),
        "contract_target must be an object")
invalid("call_emit_binding_missing", with_expr(call(syscall_id="event.log.emit")), "missing required field 'event_binding'")
invalid("call_emit_binding_empty", with_expr(call(syscall_id="event.log.emit", event_binding="")),
        "optional string must not be empty")
invalid("call_emit_binding_null", with_expr(call(syscall_id="event.log.emit", event_binding=None)),
        "event_binding must be a string")
invalid("call_export_function_name_missing", with_expr(call(syscall_id="contract.export_call")),
        "missing required field 'function_name'")
invalid("call_export_target_missing", with_expr(call(syscall_id="contract.export_call", function_name="f")),
        "missing required field 'contract_target'")
invalid("call_export_target_null", with_expr(call(syscall_id="contract.export_call", function_name="f",
                                                  contract_target=None)), "contract_target must be an object")
invalid("call_export_target_invalid", with_expr(call(syscall_id="contract.export_call", function_name="f",
                                                     contract_target=static_target(""))),
        "contract_target.binding must not be empty")
invalid("call_variable_receiver_binding", with_expr(call(syscall_id="storage.variable.get")),
        "missing required field 'receiver_binding'")
invalid("call_variable_receiver_type_missing", with_expr(call(syscall_id="storage.variable.set", receiver_binding="v")),
        "missing required field 'receiver_type'")
invalid("call_variable_receiver_type", with_expr(call(syscall_id="storage.foreign_variable.get", receiver_binding="v",
                                                      receiver_type="Hash", method="get")),
        "call.receiver_type has unsupported value 'Hash'")
invalid("call_variable_method_missing", with_expr(call(syscall_id="storage.variable.get", receiver_binding="v",
                                                       receiver_type="Variable")), "missing required field 'method'")
invalid("call_variable_method_null", with_expr(call(syscall_id="storage.variable.get", receiver_binding="v",
                                                    receiver_type="Variable", method=None)), "method must be a string")
invalid("call_hash_all_receiver_type", with_expr(call(syscall_id="storage.hash.all", receiver_binding="h",
                                                      receiver_type="Variable", method="all")),
        "call.receiver_type has unsupported value 'Variable'")
invalid("call_foreign_hash_all_method", with_expr(call(syscall_id="storage.foreign_hash.all", receiver_binding="h",
                                                       receiver_type="ForeignHash")), "missing required field 'method'")
invalid("attribute_value_missing", with_expr(node("attribute", attr="a")), "missing required field 'value'")
invalid("attribute_attr_empty", with_expr(node("attribute", value=name(), attr="")),
        "expression.attribute.attr must not be empty")
invalid("subscript_slice_missing", with_expr(node("subscript", value=name())), "missing required field 'slice'")
invalid("slice_lower_bad", with_expr(node("slice", lower=5)), "expression must be an object")
invalid("slice_step_bad", with_expr(node("slice", lower=None, upper=one(), step=name(""))),
        "expression.name.id must not be empty")
invalid("compare_left_missing", with_expr(node("compare", operators=["x"], comparators=[])), "missing required field 'left'")
invalid("compare_operators_missing", with_expr(node("compare", left=one(), comparators=[])),
        "missing required field 'operators'")
invalid("compare_operators_not_array", with_expr(node("compare", left=one(), operators="eq", comparators=[])),
        "operators must be an array")
invalid("compare_operator_number", with_expr(node("compare", left=one(), operators=[1], comparators=[])),
        "compare operator must be a string")
invalid("compare_operator_ne", with_expr(node("compare", left=one(), operators=["eq", "ne"], comparators=[5])),
        "compare.operator has unsupported value 'ne'")
invalid("compare_comparators_missing", with_expr(node("compare", left=one(), operators=[])),
        "missing required field 'comparators'")
invalid("bool_op_operator", with_expr(node("bool_op", operator="xor", values=5)), "bool_op.operator has unsupported value 'xor'")
invalid("bool_op_values", with_expr(node("bool_op", operator="or", values=5)), "values must be an array")
invalid("unary_op_operator", with_expr(node("unary_op", operator="usub", operand=one())),
        "unary_op.operator has unsupported value 'usub'")
invalid("unary_op_operand", with_expr(node("unary_op", operator="not")), "missing required field 'operand'")
invalid("bin_op_operator", with_expr(node("bin_op", operator="matmul", left=5, right=5)),
        "bin_op.operator has unsupported value 'matmul'")
invalid("bin_op_operator_null", with_expr(node("bin_op", operator=None, left=one(), right=one())),
        "operator must be a string")
invalid("bin_op_left_before_right", with_expr(node("bin_op", operator="add", left=name(""), right=5)),
        "expression.name.id must not be empty")
invalid("bin_op_right", with_expr(node("bin_op", operator="add", left=one())), "missing required field 'right'")
invalid("if_expr_orelse", with_expr(node("if_expr", test=one(), body=one())), "missing required field 'orelse'")
invalid("list_comp_element", with_expr(node("list_comp", generators=[])), "missing required field 'element'")
invalid("list_comp_generators_missing", with_expr(node("list_comp", element=one())), "missing required field 'generators'")
invalid("list_comp_generator_not_object", with_expr(node("list_comp", element=one(), generators=[[]])),
        "list comprehension generator must be an object")
invalid("list_comp_generator_target", with_expr(node("list_comp", element=one(), generators=[{"iter": name()}])),
        "missing required field 'target'")
invalid("list_comp_generator_ifs", with_expr(node("list_comp", element=one(),
                                                  generators=[{"target": name_target(), "iter": name()}])),
        "missing required field 'ifs'")
invalid("list_comp_generator_if_bad", with_expr(node("list_comp", element=one(), generators=[gen(ifs=[5])])),
        "expression must be an object")
invalid("dict_comp_generator_not_object", with_expr(node("dict_comp", key=one(), value=one(), generators=[None])),
        "dict comprehension generator must be an object")
invalid("dict_comp_value_missing", with_expr(node("dict_comp", key=one(), generators=[None])),
        "missing required field 'value'")
invalid("formatted_value_conversion_empty", with_expr(node("formatted_value", value=one(), conversion="",
                                                           format_spec=5)), "optional string must not be empty")
invalid("formatted_value_conversion_not_string", with_expr(node("formatted_value", value=one(), conversion=114)),
        "optional string must be a string")
invalid("formatted_value_format_spec", with_expr(node("formatted_value", value=one(), format_spec=[])),
        "expression must be an object")
invalid("storage_get_storage_type", with_expr(storage_get(storage_type="Variable")),
        "storage.storage_type has unsupported value 'Variable'")
invalid("storage_get_syscall_id", with_expr(storage_get(syscall_id="storage.hash.set")),
        "syscall_id has unsupported value 'storage.hash.set'")
invalid("storage_get_binding_empty", with_expr(storage_get(binding="")), "storage.binding must not be empty")
invalid("storage_get_key", with_expr(without(storage_get(), "key")), "missing required field 'key'")

# Targets
invalid("target_name_id_empty", with_target(name_target("")), "target.name.id must not be empty")
invalid("target_attribute_value", with_target(node("attribute", attr="a")), "missing required field 'value'")
invalid("target_attribute_attr_empty", with_target(node("attribute", value=name(), attr="")),
        "target.attribute.attr must not be empty")
invalid("target_subscript_slice", with_target(node("subscript", value=name(), slice=None)), "expression must be an object")
invalid("tuple_target_values_not_accepted", with_target(node("tuple_target", values=[])),
        "missing required field 'elements'")
invalid("list_target_element_bad", with_target(node("list_target", elements=[name_target(), one()])),
        "unsupported target node 'constant'")
invalid("list_target_elements_not_array", with_target(node("list_target", elements=None)), "elements must be an array")

# Contract targets
invalid("static_import_binding_empty", with_expr(call(contract_target=static_target(""))),
        "contract_target.binding must not be empty")
invalid("static_import_binding_missing", with_expr(call(contract_target={"kind": "static_import", "span": span()})),
        "missing required field 'binding'")
invalid("dynamic_import_source_missing", with_expr(call(contract_target={"kind": "dynamic_import", "span": span()})),
        "missing required field 'source'")
invalid("local_handle_binding_empty", with_expr(call(contract_target={"kind": "local_handle", "span": span(),
                                                                     "binding": "", "source": 5})),
        "contract_target.binding must not be empty")
invalid("local_handle_source_bad", with_expr(call(contract_target={"kind": "local_handle", "span": span(),
                                                                  "binding": "h", "source": 5})),
        "expression must be an object")
invalid("factory_call_factory_missing", with_expr(call(contract_target={"kind": "factory_call", "span": span(),
                                                                       "source": name()})),
        "missing required field 'factory'")
invalid("factory_call_factory_empty", with_expr(call(contract_target={"kind": "factory_call", "span": span(),
                                                                     "factory": "", "source": name()})),
        "contract_target.factory must not be empty")
invalid("contract_target_span_before_kind", with_expr(call(contract_target={"kind": "nope", "span": span(0)})),
        "span line values must be positive")

# Depth-first order: the first faulty node in member order wins.
invalid("depth_first_nested_before_sibling", with_expr(node("bin_op", operator="add",
                                                            left=node("unary_op", operator="neg", operand=name("")),
                                                            right=node("nop"))),
        "expression.name.id must not be empty")
invalid("first_statement_wins", with_stmt(node("expr", value=5), node("nop")), "expression must be an object")
invalid("nested_body_fault", with_stmt(node("if", test=one(), body=[node("for", target=name_target(), iter=name(),
                                                                            body=[node("return", value=name(""))],
                                                                            orelse=[])], orelse=[])),
        "expression.name.id must not be empty")
invalid("module_body_statement", module(module_body=[node("expr", value=node("call", func=name()))]),
        "missing required field 'args'")
invalid("kitchen_sink_last_host_dependency_duplicate",
        dict(kitchen_sink(), host_dependencies=kitchen_sink()["host_dependencies"] + [dep("z", "types.Any")]),
        "duplicate host dependency 'types.Any'")

# Reading faults come through parse_module_ir unchanged, with their position.
invalid("read_empty_text", raw(""), "EOF while parsing a value at line 1 column 0")
invalid("read_empty_object", raw("{}"), "missing field `ir_version` at line 1 column 2")


# ---------------------------------------------------------------------------
TEMPLATE_LABELS = {
    r"(.+) must be an object": {"statement", "expression", "target", "keyword", "contract_target",
                                "global declaration", "dict entry", "list comprehension generator",
                                "dict comprehension generator"},
    r"(.+) must not be empty": {"module_name", "import.module", "import.alias", "function.name", "decorator.name",
                                "parameter.name", "host_dependency.binding", "host_dependency.id",
                                "host_dependency.kind", "host_dependency.category", "storage.binding",
                                "expression.name.id", "expression.constant.literal", "expression.attribute.attr",
                                "target.name.id", "target.attribute.attr", "keyword.arg", "global_declaration.name",
                                "storage_decl.storage_type", "storage_decl.syscall_id", "event_decl.syscall_id",
                                "event_decl.event_name", "contract_target.binding", "contract_target.factory",
                                "optional string"},
    r"(.+) has unsupported value '.*'": {"function.visibility", "parameter.kind", "host_dependency.kind",
                                         "storage.storage_type", "syscall_id", "write_syscall_id",
                                         "storage_mutate.read_syscall_id", "aug_assign.operator",
                                         "storage_mutate.operator", "bin_op.operator", "unary_op.operator",
                                         "bool_op.operator", "compare.operator", "expression.constant.value_type",
                                         "call.receiver_type", "contract_target.kind"},
    r"unsupported (.+) node '.*'": {"statement", "expression", "target", "keyword", "global declaration"},
    r"unsupported (ir_version|vm_profile|host_catalog_version) '.*'": {"ir_version", "vm_profile",
                                                                        "host_catalog_version"},
    r"duplicate (import binding|global declaration|function|host dependency) '.*'": {
        "import binding", "global declaration", "function", "host dependency"},
    r"(import|function|decorator) node must be '\w+'": {"import", "function", "decorator"},
    r"missing required field '(.+)'": None,
    r"(.+) must be a string": None,
    r"(.+) must be an array": None,
    r"(source_hash) must be a 64-character hex string": {"source_hash"},
    r"(expression.constant.value) must be an even-length hex string": {"expression.constant.value"},
    r"(compare operator) must be a string": {"compare operator"},
    r"(span.end_line) must be >= span.line": {"span.end_line"},
    r"(span line values) must be positive": {"span line values"},
}

NODE_KINDS = {
    "statement": ["expr", "pass", "break", "continue", "return", "assign", "aug_assign", "if", "while", "for",
                  "raise", "assert", "storage_set", "storage_mutate"],
    "expression": ["name", "constant", "list", "tuple", "dict", "call", "attribute", "subscript", "slice", "compare",
                   "bool_op", "unary_op", "bin_op", "if_expr", "list_comp", "dict_comp", "f_string",
                   "formatted_value", "storage_get"],
    "target": ["name", "attribute", "subscript", "tuple_target", "list_target"],
    "keyword": ["keyword", "keyword_unpack"],
    "declaration": ["storage_decl", "event_decl", "binding_decl"],
    "contract_target": ["static_import", "dynamic_import", "local_handle", "factory_call"],
}


def check_coverage():
    seen = {pattern: set() for pattern in TEMPLATE_LABELS}
    for _, expected in INVALID.values():
        for pattern in TEMPLATE_LABELS:
            match = re.fullmatch(pattern, expected)
            if match:
                seen[pattern].add(match.group(1))
    for pattern, labels in TEMPLATE_LABELS.items():
        assert seen[pattern], f"no fixture for template {pattern}"
        if labels is not None:
            missing = labels - seen[pattern]
            assert not missing, f"template {pattern} lacks labels {sorted(missing)}"
    text = json.dumps(VALID["kitchen_sink"])
    for family, kinds in NODE_KINDS.items():
        for kind in kinds:
            key = "kind" if family == "contract_target" else "node"
            assert f'"{key}": "{kind}"' in text, f"kitchen sink lacks {family} {kind}"


def document_text(doc):
    if isinstance(doc, RawText):
        return str(doc)
    return json.dumps(doc, ensure_ascii=False)


def main():
    check_coverage()
    if OUT.exists():
        shutil.rmtree(OUT)
    (OUT / "valid").mkdir(parents=True)
    (OUT / "invalid").mkdir(parents=True)
    for case, doc in sorted(VALID.items()):
        (OUT / "valid" / f"{case}.json").write_bytes(document_text(doc).encode())
    for case, (doc, expected) in sorted(INVALID.items()):
        (OUT / "invalid" / f"{case}.json").write_bytes(document_text(doc).encode())
        (OUT / "invalid" / f"{case}.expected").write_bytes(expected.encode())
    print(f"wrote {len(VALID)} valid and {len(INVALID)} invalid module IR fixtures to {OUT}")


if __name__ == "__main__":
    main()
