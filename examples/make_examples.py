#!/usr/bin/env python3
"""Writes the example module IR documents and deployment artifacts.

For each contract under contracts/ it writes the module IR document that the
contract compiler would produce (module_ir/<name>.json, version "veln_ir_v1",
source_hash the SHA-256 of the source) and the deployment-artifacts document
(artifacts/<name>.json) carrying the source, the module IR text and the
SHA-256 digests of both. Run it after editing a contract; it rewrites both
folders.
"""
import hashlib
import json
import pathlib

HERE = pathlib.Path(__file__).resolve().parent


def sha256_hex(text):
    return hashlib.sha256(text.encode("utf-8")).hexdigest()


# ---- node builders ------------------------------------------------------------
def span(line, col, end_line=None, end_col=None):
    return {"line": line, "col": col, "end_line": end_line or line, "end_col": end_col or col + 1}


def node(kind, at, **members):
    return {"node": kind, "span": at, **members}


def name(ident, at):
    return node("name", at, id=ident)


def target(ident, at):
    return node("name", at, id=ident)


def const(value_type, value, at):
    return node("constant", at, value_type=value_type, value=value)


def caller(at):
    """ctx.caller: resolved by the host binding unless ctx is a local name."""
    return node("attribute", at, value=name("ctx", at), attr="caller", host_binding_id="context.caller")


def keyword(arg, value, at):
    return node("keyword", at, arg=arg, value=value)


def compare(left, operator, right, at):
    return node("compare", at, left=left, operators=[operator], comparators=[right])


def assert_(test, message, at):
    return node("assert", at, test=test, message=const("str", message, at))


def hash_get(binding, key, at):
    return node(
        "storage_get", at, binding=binding, storage_type="Hash", syscall_id="storage.hash.get", key=key
    )


def hash_set(binding, key, value, at):
    return node(
        "storage_set", at, binding=binding, storage_type="Hash", syscall_id="storage.hash.set",
        key=key, value=value,
    )


def hash_mutate(binding, key, operator, value, at):
    return node(
        "storage_mutate", at, binding=binding, storage_type="Hash",
        write_syscall_id="storage.hash.set", read_syscall_id="storage.hash.get",
        key=key, operator=operator, value=value,
    )


def storage_decl(binding, storage_type, syscall_id, keywords, at):
    return node(
        "storage_decl", at, name=binding, storage_type=storage_type, syscall_id=syscall_id,
        args=[], keywords=keywords,
    )


def decorator(decorator_name, at):
    return node("decorator", at, name=decorator_name, args=[], keywords=[])


def parameter(parameter_name, annotation, at):
    return {"name": parameter_name, "kind": "positional_or_keyword", "annotation": annotation,
            "default": None, "span": at}


def function(function_name, visibility, parameters, body, at, decorator_at):
    return node(
        "function", at, name=function_name, visibility=visibility,
        decorator=decorator(visibility, decorator_at), docstring=None,
        parameters=parameters, returns=None, body=body,
    )


def dependency(binding, dependency_id, kind, category):
    return {"binding": binding, "id": dependency_id, "kind": kind, "category": category}


def module(module_name, source, imports, declarations, functions, dependencies):
    return {
        "ir_version": "veln_ir_v1",
        "vm_profile": "veln_vm_v1",
        "host_catalog_version": "veln_vm_v1_host_v1",
        "module_name": module_name,
        "source_hash": sha256_hex(source),
        "docstring": None,
        "imports": imports,
        "global_declarations": declarations,
        "functions": functions,
        "module_body": [],
        "host_dependencies": dependencies,
    }


# ---- the contracts ------------------------------------------------------------
def con_token(source):
    def field(key, type_name, indexed, line):
        entries = [{"key": const("str", "type", span(line, 20)), "value": name(type_name, span(line, 28))}]
        if indexed:
            entries.append({"key": const("str", "idx", span(line, 33)), "value": const("bool", True, span(line, 40))})
        return {"key": const("str", key, span(line, 8)), "value": node("dict", span(line, 18), entries=entries)}

    params = node("dict", span(4, 11, 8, 5), entries=[
        field("sender", "str", True, 5),
        field("receiver", "str", True, 6),
        field("amount", "int", False, 7),
    ])
    declarations = [
        storage_decl("balances", "Hash", "storage.hash.new",
                     [keyword("default_value", const("int", 0, span(1, 30)), span(1, 16, 1, 31))],
                     span(1, 0, 1, 32)),
        node("event_decl", span(2, 0, 9, 1), name="TransferEvent", syscall_id="event.log.new",
             event_name="Transfer", params=params),
    ]
    seed = function("seed", "construct", [], [
        hash_set("balances", caller(span(14, 13, 14, 23)), const("int", 1000000, span(14, 27, 14, 36)),
                 span(14, 4, 14, 36)),
    ], span(13, 0, 14, 36), span(12, 1, 12, 10))
    event_payload = node("dict", span(24, 18, 24, 70), entries=[
        {"key": const("str", "sender", span(24, 19)), "value": name("sender", span(24, 29))},
        {"key": const("str", "receiver", span(24, 37)), "value": name("to", span(24, 49))},
        {"key": const("str", "amount", span(24, 53)), "value": name("amount", span(24, 63))},
    ])
    transfer = function("transfer", "export", [
        parameter("amount", "int", span(18, 13, 18, 24)),
        parameter("to", "str", span(18, 26, 18, 33)),
    ], [
        node("assign", span(19, 4, 19, 23), targets=[target("sender", span(19, 4, 19, 10))],
             value=caller(span(19, 13, 19, 23))),
        assert_(compare(name("amount", span(20, 11)), "gt", const("int", 0, span(20, 20)), span(20, 11, 20, 21)),
                "Cannot send negative balances!", span(20, 4, 20, 55)),
        assert_(compare(hash_get("balances", name("sender", span(21, 20)), span(21, 11, 21, 27)), "gt_e",
                        name("amount", span(21, 31)), span(21, 11, 21, 37)),
                "Not enough coins to send!", span(21, 4, 21, 66)),
        hash_mutate("balances", name("sender", span(22, 13)), "sub", name("amount", span(22, 24)),
                    span(22, 4, 22, 30)),
        hash_mutate("balances", name("to", span(23, 13)), "add", name("amount", span(23, 20)),
                    span(23, 4, 23, 26)),
        node("expr", span(24, 4, 24, 71), value=node(
            "call", span(24, 4, 24, 71), func=name("TransferEvent", span(24, 4, 24, 17)),
            args=[event_payload], keywords=[], syscall_id="event.log.emit", event_binding="TransferEvent")),
    ], span(18, 0, 24, 71), span(17, 1, 17, 7))
    balance_of = function("balance_of", "export", [
        parameter("account", "str", span(28, 15, 28, 27)),
    ], [
        node("return", span(29, 4, 29, 28), value=hash_get("balances", name("account", span(29, 20)),
                                                            span(29, 11, 29, 28))),
    ], span(28, 0, 29, 28), span(27, 1, 27, 7))
    dependencies = [
        dependency("Hash", "storage.hash.new", "type_marker", "storage"),
        dependency("LogEvent", "event.log.new", "type_marker", "event"),
        dependency("ctx.caller", "context.caller", "context_field", "context"),
    ]
    return module("con_token", source, [], declarations, [seed, transfer, balance_of], dependencies)


def con_registry(source):
    declarations = [
        storage_decl("owner", "Variable", "storage.variable.new", [], span(3, 0, 3, 18)),
        storage_decl("names", "Hash", "storage.hash.new",
                     [keyword("default_value", const("none", None, span(4, 27)), span(4, 13, 4, 31))],
                     span(4, 0, 4, 32)),
    ]
    owner_set = node(
        "call", span(9, 4, 9, 25), func=node("attribute", span(9, 4, 9, 13), value=name("owner", span(9, 4)),
                                             attr="set"),
        args=[caller(span(9, 14, 9, 24))], keywords=[], syscall_id="storage.variable.set",
        receiver_binding="owner", receiver_type="Variable", method="set")
    seed = function("seed", "construct", [], [node("expr", span(9, 4, 9, 25), value=owner_set)],
                    span(8, 0, 9, 25), span(7, 1, 7, 10))
    balance_call = node(
        "call", span(15, 11, 15, 53),
        func=node("attribute", span(15, 11, 15, 31), value=name("con_token", span(15, 11)), attr="balance_of"),
        args=[], keywords=[keyword("account", caller(span(15, 40, 15, 50)), span(15, 32, 15, 50))],
        syscall_id="contract.export_call", function_name="balance_of",
        contract_target={"kind": "static_import", "span": span(15, 11, 15, 20), "binding": "con_token"})
    register = function("register", "export", [parameter("name", "str", span(13, 13, 13, 22))], [
        assert_(compare(hash_get("names", name("name", span(14, 17)), span(14, 11, 14, 22)), "is",
                        const("none", None, span(14, 26)), span(14, 11, 14, 30)),
                "Name already taken!", span(14, 4, 14, 53)),
        assert_(compare(balance_call, "gt", const("int", 0, span(15, 56)), span(15, 11, 15, 57)),
                "Only token holders may register!", span(15, 4, 15, 92)),
        hash_set("names", name("name", span(16, 10)), caller(span(16, 18, 16, 28)), span(16, 4, 16, 28)),
    ], span(13, 0, 16, 28), span(12, 1, 12, 7))
    owner_of = function("owner_of", "export", [parameter("name", "str", span(20, 13, 20, 22))], [
        node("return", span(21, 4, 21, 22), value=hash_get("names", name("name", span(21, 17)),
                                                            span(21, 11, 21, 22))),
    ], span(20, 0, 21, 22), span(19, 1, 19, 7))
    imports = [node("import", span(1, 0, 1, 16), module="con_token", alias=None)]
    dependencies = [
        dependency("Variable", "storage.variable.new", "type_marker", "storage"),
        dependency("Hash", "storage.hash.new", "type_marker", "storage"),
        dependency("ctx.caller", "context.caller", "context_field", "context"),
    ]
    return module("con_registry", source, imports, declarations, [seed, register, owner_of], dependencies)


def con_quote(source):
    def bin_op(operator, left, right, at):
        return node("bin_op", at, operator=operator, left=left, right=right)

    def entry(key, value, col):
        return {"key": const("str", key, span(5, col, 5, col + len(key) + 2)), "value": value}

    result = node("dict", span(5, 11, 5, 77), entries=[
        entry("amount", name("amount", span(5, 22, 5, 28)), 12),
        entry("total", name("total", span(5, 39, 5, 44)), 30),
        entry("fee", name("fee", span(5, 53, 5, 56)), 46),
        entry("net", bin_op("sub", name("total", span(5, 65, 5, 70)), name("fee", span(5, 73, 5, 76)),
                            span(5, 65, 5, 76)), 58),
    ])
    quote = function("quote", "export", [
        parameter("amount", "int", span(2, 10, 2, 21)),
        parameter("price", "int", span(2, 23, 2, 33)),
    ], [
        node("assign", span(3, 4, 3, 26), targets=[target("total", span(3, 4, 3, 9))],
             value=bin_op("mul", name("amount", span(3, 12, 3, 18)), name("price", span(3, 21, 3, 26)),
                          span(3, 12, 3, 26))),
        node("assign", span(4, 4, 4, 22), targets=[target("fee", span(4, 4, 4, 7))],
             value=bin_op("floordiv", name("total", span(4, 10, 4, 15)), const("int", 100, span(4, 19, 4, 22)),
                          span(4, 10, 4, 22))),
        node("return", span(5, 4, 5, 77), value=result),
    ], span(2, 0, 5, 77), span(1, 1, 1, 7))
    return module("con_quote", source, [], [], [quote], [])


CONTRACTS = {"con_token": con_token, "con_registry": con_registry, "con_quote": con_quote}


def artifacts(module_name, source, vm_ir_json):
    return {
        "format": "veln_contract_artifact_v1",
        "module_name": module_name,
        "vm_profile": "veln_vm_v1",
        "source": source,
        "vm_ir_json": vm_ir_json,
        "hashes": {
            "source_sha256": sha256_hex(source),
            "vm_ir_sha256": sha256_hex(vm_ir_json),
        },
    }


def build():
    """Returns {relative path: text} for every generated file."""
    files = {}
    for module_name, make in CONTRACTS.items():
        source = (HERE / "contracts" / f"{module_name}.py").read_text(encoding="utf-8")
        document = make(source)
        files[f"module_ir/{module_name}.json"] = json.dumps(document, indent=1) + "\n"
        vm_ir_json = json.dumps(document, separators=(",", ":"))
        files[f"artifacts/{module_name}.json"] = (
            json.dumps(artifacts(module_name, source, vm_ir_json), indent=1) + "\n"
        )
    return files


def main():
    for relative, text in build().items():
        path = HERE / relative
        path.parent.mkdir(exist_ok=True)
        path.write_text(text, encoding="utf-8")
        print(f"wrote examples/{relative}")


if __name__ == "__main__":
    main()
