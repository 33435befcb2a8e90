"""Test-only translator from contract source (a Python subset) to module IR.

Built on Python's ast module so that test cases read like the code they
test. It covers what the tests use, with these conventions:
- `@export` / `@export(typecheck=True)` mark exported functions; others are private;
- top-level `name = Hash(...)`, `Variable(...)`, `ForeignHash(...)`,
  `ForeignVariable(...)` become storage declarations, `name = LogEvent(...)`
  event declarations, `name: Binding = expr` binding declarations; other
  top-level statements form the module body;
- `h[k]` on a declared hash reads (storage_get), `h[k] = v` writes
  (storage_set), `h[k] op= v` mutates (storage_mutate); `v.get()` / `v.set(x)`
  on a declared variable are system calls;
- `h.all(*prefix)` on a declared hash lists it ("storage.hash.all" or
  "storage.foreign_hash.all"); `v.get()` on a ForeignVariable is
  "storage.foreign_variable.get";
- calling a declared event, `Ev(payload)` or `Ev(k=v)`, emits it;
- `imported.fn(...)` on an import binding is a "contract.export_call" with a
  static_import target; `export_call("fn", kind_or_(kind, name), source,
  *args, **kwargs)` spells out any target;
- `syscall("id", ...)` is a call node with that syscall_id;
- names and `ctx.<field>` attributes of the host table carry host_binding_id.
It is not the compiler and makes no claim to match it beyond that.
"""

import ast
import hashlib
import json

BINARY = {ast.Add: "add", ast.Sub: "sub", ast.Mult: "mul", ast.Div: "div", ast.FloorDiv: "floordiv",
          ast.Mod: "mod", ast.Pow: "pow", ast.BitAnd: "bitand", ast.BitOr: "bitor", ast.BitXor: "bitxor",
          ast.LShift: "lshift", ast.RShift: "rshift"}
COMPARE = {ast.Eq: "eq", ast.NotEq: "not_eq", ast.Gt: "gt", ast.GtE: "gt_e", ast.Lt: "lt", ast.LtE: "lt_e",
           ast.In: "in", ast.NotIn: "not_in", ast.Is: "is", ast.IsNot: "is_not"}
UNARY = {ast.Not: "not", ast.USub: "neg", ast.UAdd: "pos", ast.Invert: "invert"}
BOOL = {ast.And: "and", ast.Or: "or"}
HOST_NAMES = {"now": "env.now", "block_num": "env.block_num", "block_hash": "env.block_hash",
              "chain_id": "env.chain_id", "seconds": "time.seconds", "minutes": "time.minutes",
              "hours": "time.hours", "days": "time.days", "weeks": "time.weeks",
              "hashlib": "module.hashlib", "Any": "typing.any"}
CONTEXT_FIELDS = {"this", "caller", "signer", "owner", "submission_name", "entry"}
STORAGE_TYPES = {"Hash": "storage.hash.new", "Variable": "storage.variable.new",
                 "ForeignHash": "storage.foreign_hash.new", "ForeignVariable": "storage.foreign_variable.new"}


class Translator:
    def __init__(self, source):
        self.source = source
        self.hashes = {}      # declared hash name -> storage type
        self.variables = {}   # declared variable name -> storage type
        self.events = set()   # declared event names
        self.imports = set()  # import bindings

    def span(self, node):
        line = getattr(node, "lineno", 1) or 1
        return {"line": line, "col": getattr(node, "col_offset", 0) or 0,
                "end_line": getattr(node, "end_lineno", line) or line,
                "end_col": getattr(node, "end_col_offset", 0) or 0}

    def make(self, kind, node, **members):
        out = {"node": kind, "span": self.span(node)}
        out.update(members)
        return out

    # ---- module ---------------------------------------------------------------
    def module(self, name):
        tree = ast.parse(self.source)
        imports, declarations, functions, body = [], [], [], []
        for stmt in tree.body:
            if isinstance(stmt, ast.Import):
                for alias in stmt.names:
                    self.imports.add(alias.asname or alias.name)
                    imports.append({"node": "import", "span": self.span(stmt), "module": alias.name,
                                    "alias": alias.asname})
            elif isinstance(stmt, ast.FunctionDef):
                functions.append(self.function(stmt))
            elif self.is_declaration(stmt):
                declarations.append(self.declaration(stmt))
            else:
                body.append(self.statement(stmt))
        return {"ir_version": "veln_ir_v1", "vm_profile": "veln_vm_v1",
                "host_catalog_version": "veln_vm_v1_host_v1", "module_name": name,
                "source_hash": hashlib.sha256(self.source.encode()).hexdigest(), "docstring": None,
                "imports": imports, "global_declarations": declarations, "functions": functions,
                "module_body": body, "host_dependencies": []}

    def is_declaration(self, stmt):
        if isinstance(stmt, ast.AnnAssign):
            return isinstance(stmt.annotation, ast.Name) and stmt.annotation.id == "Binding"
        if not (isinstance(stmt, ast.Assign) and len(stmt.targets) == 1 and isinstance(stmt.targets[0], ast.Name)):
            return False
        value = stmt.value
        return (isinstance(value, ast.Call) and isinstance(value.func, ast.Name)
                and (value.func.id in STORAGE_TYPES or value.func.id == "LogEvent"))

    def declaration(self, stmt):
        if isinstance(stmt, ast.AnnAssign):
            return self.make("binding_decl", stmt, name=stmt.target.id, value=self.expr(stmt.value))
        name = stmt.targets[0].id
        call = stmt.value
        kind = call.func.id
        if kind == "LogEvent":
            self.events.add(name)
            fields = dict(zip(("event", "params"), call.args)) | {k.arg: k.value for k in call.keywords}
            return self.make("event_decl", stmt, name=name, event_name=fields["event"].value,
                             syscall_id="event.log.new", params=self.expr(fields["params"]))
        (self.hashes if "Hash" in kind else self.variables)[name] = kind
        return self.make("storage_decl", stmt, name=name, storage_type=kind, syscall_id=STORAGE_TYPES[kind],
                         args=[self.expr(a) for a in call.args], keywords=[self.keyword(k) for k in call.keywords])

    def function(self, fn):
        decorator = None
        visibility = "private"
        for d in fn.decorator_list:
            name = d.func.id if isinstance(d, ast.Call) else d.id
            visibility = "export" if name == "export" else visibility
            decorator = {"node": "decorator", "span": self.span(d), "name": name,
                         "args": [self.expr(a) for a in d.args] if isinstance(d, ast.Call) else [],
                         "keywords": [self.keyword(k) for k in d.keywords] if isinstance(d, ast.Call) else []}
        a = fn.args
        params = []
        positional = a.posonlyargs + a.args
        defaults = [None] * (len(positional) - len(a.defaults)) + list(a.defaults)
        for arg, default in zip(positional, defaults):
            params.append(self.param(arg, "positional_or_keyword", default))
        if a.vararg:
            params.append(self.param(a.vararg, "vararg", None))
        for arg, default in zip(a.kwonlyargs, a.kw_defaults):
            params.append(self.param(arg, "keyword_only", default))
        if a.kwarg:
            params.append(self.param(a.kwarg, "kwarg", None))
        return {"node": "function", "span": self.span(fn), "name": fn.name, "visibility": visibility,
                "decorator": decorator, "docstring": None, "parameters": params,
                "returns": ast.unparse(fn.returns) if fn.returns else None,
                "body": [self.statement(s) for s in fn.body]}

    def param(self, arg, kind, default):
        return {"name": arg.arg, "kind": kind,
                "annotation": ast.unparse(arg.annotation) if arg.annotation else None,
                "default": self.expr(default) if default is not None else None, "span": self.span(arg)}

    # ---- statements -------------------------------------------------------------
    def statement(self, s):
        if isinstance(s, ast.Expr):
            return self.make("expr", s, value=self.expr(s.value))
        if isinstance(s, ast.Pass):
            return self.make("pass", s)
        if isinstance(s, ast.Break):
            return self.make("break", s)
        if isinstance(s, ast.Continue):
            return self.make("continue", s)
        if isinstance(s, ast.Return):
            return self.make("return", s, value=self.expr(s.value) if s.value is not None else None)
        if isinstance(s, ast.Assign):
            if len(s.targets) == 1 and self.storage_subscript(s.targets[0]):
                t = s.targets[0]
                return self.make("storage_set", s, binding=t.value.id, storage_type=self.hashes[t.value.id],
                                 syscall_id="storage.hash.set", key=self.expr(t.slice), value=self.expr(s.value))
            return self.make("assign", s, targets=[self.target(t) for t in s.targets], value=self.expr(s.value))
        if isinstance(s, ast.AugAssign):
            if self.storage_subscript(s.target):
                t = s.target
                return self.make("storage_mutate", s, binding=t.value.id, storage_type=self.hashes[t.value.id],
                                 read_syscall_id="storage.hash.get", write_syscall_id="storage.hash.set",
                                 key=self.expr(t.slice), operator=BINARY[type(s.op)], value=self.expr(s.value))
            return self.make("aug_assign", s, target=self.target(s.target), operator=BINARY[type(s.op)],
                             value=self.expr(s.value))
        if isinstance(s, ast.If):
            return self.make("if", s, test=self.expr(s.test), body=self.block(s.body), orelse=self.block(s.orelse))
        if isinstance(s, ast.While):
            return self.make("while", s, test=self.expr(s.test), body=self.block(s.body),
                             orelse=self.block(s.orelse))
        if isinstance(s, ast.For):
            return self.make("for", s, target=self.target(s.target), iter=self.expr(s.iter),
                             body=self.block(s.body), orelse=self.block(s.orelse))
        if isinstance(s, ast.Raise):
            return self.make("raise", s, exception=self.expr(s.exc) if s.exc else None,
                             cause=self.expr(s.cause) if s.cause else None)
        if isinstance(s, ast.Assert):
            return self.make("assert", s, test=self.expr(s.test), message=self.expr(s.msg) if s.msg else None)
        raise ValueError("unsupported statement " + type(s).__name__)

    def block(self, statements):
        return [self.statement(s) for s in statements]

    def storage_subscript(self, node):
        return isinstance(node, ast.Subscript) and isinstance(node.value, ast.Name) and node.value.id in self.hashes

    # ---- targets ----------------------------------------------------------------
    def target(self, t):
        if isinstance(t, ast.Name):
            return self.make("name", t, id=t.id)
        if isinstance(t, ast.Subscript):
            return self.make("subscript", t, value=self.expr(t.value), slice=self.expr(t.slice))
        if isinstance(t, ast.Attribute):
            return self.make("attribute", t, value=self.expr(t.value), attr=t.attr)
        if isinstance(t, ast.Tuple):
            return self.make("tuple_target", t, elements=[self.target(e) for e in t.elts])
        if isinstance(t, ast.List):
            return self.make("list_target", t, elements=[self.target(e) for e in t.elts])
        raise ValueError("unsupported target " + type(t).__name__)

    # ---- expressions --------------------------------------------------------------
    def keyword(self, k):
        if k.arg is None:
            return self.make("keyword_unpack", k, value=self.expr(k.value))
        return self.make("keyword", k, arg=k.arg, value=self.expr(k.value))

    def constant(self, e):
        v = e.value
        if v is None:
            return self.make("constant", e, value_type="none", value=None)
        if isinstance(v, bool):
            return self.make("constant", e, value_type="bool", value=v)
        if isinstance(v, int):
            return self.make("constant", e, value_type="int", value=v if -2**63 <= v < 2**64 else str(v))
        if isinstance(v, float):
            return self.make("constant", e, value_type="float", value=v,
                             literal=ast.get_source_segment(self.source, e) or repr(v))
        if isinstance(v, str):
            return self.make("constant", e, value_type="str", value=v)
        if isinstance(v, bytes):
            return self.make("constant", e, value_type="bytes", value=v.hex())
        raise ValueError("unsupported constant " + repr(v))

    def expr(self, e):
        if isinstance(e, ast.Constant):
            return self.constant(e)
        if isinstance(e, ast.Name):
            out = self.make("name", e, id=e.id)
            if e.id in HOST_NAMES:
                out["host_binding_id"] = HOST_NAMES[e.id]
            return out
        if isinstance(e, ast.List):
            return self.make("list", e, elements=[self.expr(x) for x in e.elts])
        if isinstance(e, ast.Tuple):
            return self.make("tuple", e, elements=[self.expr(x) for x in e.elts])
        if isinstance(e, ast.Set):
            return self.make("call", e, func=self.make("name", e, id="set"),
                             args=[self.make("list", e, elements=[self.expr(x) for x in e.elts])], keywords=[])
        if isinstance(e, ast.Dict):
            entries = []
            for k, v in zip(e.keys, e.values):
                entries.append({"unpack": self.expr(v)} if k is None else {"key": self.expr(k), "value": self.expr(v)})
            return self.make("dict", e, entries=entries)
        if isinstance(e, ast.Call):
            return self.call(e)
        if isinstance(e, ast.Attribute):
            out = self.make("attribute", e, value=self.expr(e.value), attr=e.attr)
            if isinstance(e.value, ast.Name) and e.value.id == "ctx" and e.attr in CONTEXT_FIELDS:
                out["host_binding_id"] = "context." + e.attr
            return out
        if isinstance(e, ast.Subscript):
            if self.storage_subscript(e):
                return self.make("storage_get", e, binding=e.value.id, storage_type=self.hashes[e.value.id],
                                 syscall_id="storage.hash.get", key=self.expr(e.slice))
            return self.make("subscript", e, value=self.expr(e.value), slice=self.expr(e.slice))
        if isinstance(e, ast.Slice):
            return self.make("slice", e, lower=self.expr(e.lower) if e.lower else None,
                             upper=self.expr(e.upper) if e.upper else None,
                             step=self.expr(e.step) if e.step else None)
        if isinstance(e, ast.Compare):
            return self.make("compare", e, left=self.expr(e.left), operators=[COMPARE[type(o)] for o in e.ops],
                             comparators=[self.expr(c) for c in e.comparators])
        if isinstance(e, ast.BoolOp):
            return self.make("bool_op", e, operator=BOOL[type(e.op)], values=[self.expr(v) for v in e.values])
        if isinstance(e, ast.UnaryOp):
            return self.make("unary_op", e, operator=UNARY[type(e.op)], operand=self.expr(e.operand))
        if isinstance(e, ast.BinOp):
            return self.make("bin_op", e, operator=BINARY[type(e.op)], left=self.expr(e.left),
                             right=self.expr(e.right))
        if isinstance(e, ast.IfExp):
            return self.make("if_expr", e, test=self.expr(e.test), body=self.expr(e.body), orelse=self.expr(e.orelse))
        if isinstance(e, ast.ListComp):
            return self.make("list_comp", e, element=self.expr(e.elt), generators=self.generators(e.generators))
        if isinstance(e, ast.DictComp):
            return self.make("dict_comp", e, key=self.expr(e.key), value=self.expr(e.value),
                             generators=self.generators(e.generators))
        if isinstance(e, ast.JoinedStr):
            return self.make("f_string", e, values=[self.expr(v) for v in e.values])
        if isinstance(e, ast.FormattedValue):
            out = self.make("formatted_value", e, value=self.expr(e.value))
            if e.conversion != -1:
                out["conversion"] = chr(e.conversion)
            if e.format_spec is not None:
                out["format_spec"] = self.expr(e.format_spec)
            return out
        raise ValueError("unsupported expression " + type(e).__name__)

    def generators(self, gens):
        return [{"target": self.target(g.target), "iter": self.expr(g.iter), "ifs": [self.expr(c) for c in g.ifs]}
                for g in gens]

    def call(self, e):
        args = [self.expr(a) for a in e.args]
        keywords = [self.keyword(k) for k in e.keywords]
        func = e.func
        if isinstance(func, ast.Name) and func.id == "syscall":
            return self.make("call", e, func=self.expr(func), args=args[1:], keywords=keywords,
                             syscall_id=e.args[0].value)
        if isinstance(func, ast.Name) and func.id == "export_call":
            target = e.args[1]
            kind, name = (target.elts[0].value, target.elts[1].value) if isinstance(target, ast.Tuple) \
                else (target.value, None)
            return self.export_call(e, func, e.args[0].value, kind, name, e.args[2], args[3:], keywords)
        if isinstance(func, ast.Name) and func.id in self.events:
            return self.make("call", e, func=self.expr(func), args=args, keywords=keywords,
                             syscall_id="event.log.emit", event_binding=func.id)
        if isinstance(func, ast.Attribute) and isinstance(func.value, ast.Name):
            owner = func.value.id
            if owner in self.imports:
                return self.export_call(e, func, func.attr, "static_import", owner, None, args, keywords)
            if owner in self.variables and func.attr in ("get", "set"):
                foreign = self.variables[owner] == "ForeignVariable" and func.attr == "get"
                return self.make("call", e, func=self.expr(func), args=args, keywords=keywords,
                                 syscall_id="storage.foreign_variable.get" if foreign else "storage.variable." + func.attr,
                                 receiver_binding=owner, receiver_type=self.variables[owner], method=func.attr)
            if owner in self.hashes and func.attr == "all":
                foreign = self.hashes[owner] == "ForeignHash"
                return self.make("call", e, func=self.expr(func), args=args, keywords=keywords,
                                 syscall_id="storage.foreign_hash.all" if foreign else "storage.hash.all",
                                 receiver_binding=owner, receiver_type=self.hashes[owner], method="all")
        return self.make("call", e, func=self.expr(func), args=args, keywords=keywords)

    def export_call(self, e, func, function, kind, name, source, args, keywords):
        target = {"kind": kind, "span": self.span(e)}
        if kind in ("static_import", "local_handle"):
            target["binding"] = name
        elif kind == "factory_call":
            target["factory"] = name
        if source is not None:
            target["source"] = self.expr(source)
        return self.make("call", e, func=self.expr(func), args=args, keywords=keywords,
                         syscall_id="contract.export_call", function_name=function, contract_target=target)


def translate(source, module_name="con_test"):
    return Translator(source).module(module_name)


if __name__ == "__main__":
    import sys
    print(json.dumps(translate(sys.stdin.read()), indent=1))
