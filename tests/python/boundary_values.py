"""Python values with odd behaviour for the boundary tests: subclasses and
look-alikes of the types the engine converts, objects whose str() or
comparison raises, and values nested past the engine's limit. Also the
module IR and bundle builders the request tests use."""
import datetime
import enum
import json
import sys


from veln_runtime_types.collections import VondrelFrozenSet, VondrelSet
from veln_runtime_types.decimal import VondrelDecimal
from veln_runtime_types.time import Datetime, Timedelta


class IntLike(int):
    pass


class FloatLike(float):
    pass


class StrLike(str):
    pass


class ListLike(list):
    pass


class DictLike(dict):
    pass


class TupleLike(tuple):
    pass


class BytesLike(bytes):
    pass


class ByteArrayLike(bytearray):
    pass


IntNamedInt = type("int", (int,), {})
FloatNamedFloat = type("float", (float,), {})
BoolNamedInt = type("bool", (int,), {})


class IndexLike:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class Color(enum.IntEnum):
    RED = 1


class Letter(str, enum.Enum):
    A = "a"


UTC_PLUS_5 = datetime.timezone(datetime.timedelta(hours=5))


def host_class(module, name, namespace):
    """A class that the engine takes for the host class (module, name)."""
    cls = type(name, (), namespace)
    cls.__module__ = module
    cls.__qualname__ = name
    return cls


def _raise_value_error(self):
    raise ValueError("no text")


BadStrDecimal = host_class("veln_runtime_types.decimal", "VondrelDecimal", {"__str__": _raise_value_error})
TextDecimal = host_class(
    "veln_runtime_types.decimal", "VondrelDecimal",
    {"__init__": lambda self, text: setattr(self, "text", text), "__str__": lambda self: self.text},
)


# A decimal whose str() runs `action` first: Python code run by the conversion.
SideEffectDecimal = host_class(
    "veln_runtime_types.decimal", "VondrelDecimal",
    {"__init__": lambda self, action: setattr(self, "action", action),
     "__str__": lambda self: (self.action(), "1")[1]},
)


def _iterate_then_fail(self):
    yield 1
    raise KeyError("gone")


FailingSet = host_class("veln_runtime_types.collections", "VondrelSet", {"__iter__": _iterate_then_fail})


class RaisingKey:
    """Hashes like "this" and fails when compared: the context lookup fails."""

    def __hash__(self):
        return hash("this")

    def __eq__(self, other):
        raise ValueError("key compared")


def nested(depth):
    value = 0
    for _ in range(depth + 1):
        value = [value]
    return value


def self_referencing_list():
    value = []
    value.append(value)
    return value


def self_referencing_dict():
    value = {}
    value["self"] = value
    return value


def nested_json(depth):
    return '{"con_a": ' + "[" * depth + "]" * depth + "}"


def span():
    return {"line": 1, "col": 0, "end_line": 1, "end_col": 10}


def module(module_name, functions=(), module_body=(), global_declarations=(), **changes):
    """A valid module IR document (no source hash check happens at run time)."""
    document = {
        "ir_version": "veln_ir_v1",
        "vm_profile": "veln_vm_v1",
        "host_catalog_version": "veln_vm_v1_host_v1",
        "module_name": module_name,
        "source_hash": "0" * 64,
        "imports": [],
        "global_declarations": list(global_declarations),
        "functions": list(functions),
        "module_body": list(module_body),
        "host_dependencies": [],
    }
    document.update(changes)
    return document


def bundle(**members):
    return json.dumps(members)




def parameter(name):
    return {"name": name, "kind": "positional_or_keyword", "annotation": None, "default": None, "span": span()}


def function(name, parameters, body, visibility="export"):
    return {"node": "function", "span": span(), "name": name, "visibility": visibility,
            "parameters": [parameter(p) for p in parameters], "body": body}


def return_name(name):
    return {"node": "return", "span": span(), "value": {"node": "name", "span": span(), "id": name}}


def echo_module(module_name="con_echo"):
    """A contract whose function echo(value) returns its argument unchanged."""
    return module(module_name, functions=[function("echo", ["value"], [return_name("value")])])


# ---- module IR builders for the boundary tests --------------------------------------
def node(kind, **members):
    return {"node": kind, "span": span(), **members}


def name(ident):
    return node("name", id=ident)


def const(value_type, value):
    return node("constant", value_type=value_type, value=value)


def ret(value):
    return node("return", value=value)


def syscall(syscall_id, func, args=(), keywords=(), **fields):
    return node("call", func=func, args=list(args), keywords=[node("keyword", arg=k, value=v) for k, v in keywords],
                syscall_id=syscall_id, **fields)


def variable_decl(binding):
    return node("storage_decl", name=binding, storage_type="Variable", syscall_id="storage.variable.new",
                args=[], keywords=[])


def hash_decl(binding):
    return node("storage_decl", name=binding, storage_type="Hash", syscall_id="storage.hash.new",
                args=[], keywords=[])


def variable_get(binding):
    return syscall("storage.variable.get", node("attribute", value=name(binding), attr="get"),
                   receiver_binding=binding, receiver_type="Variable", method="get")


def variable_set(binding, value):
    return syscall("storage.variable.set", node("attribute", value=name(binding), attr="set"), [value],
                   receiver_binding=binding, receiver_type="Variable", method="set")


def hash_get(binding, key):
    return node("storage_get", binding=binding, storage_type="Hash", syscall_id="storage.hash.get", key=key)


def hash_set(binding, key, value):
    return node("storage_set", binding=binding, storage_type="Hash", syscall_id="storage.hash.set",
                key=key, value=value)


def hash_all(binding, *prefix):
    return syscall("storage.hash.all", node("attribute", value=name(binding), attr="all"), prefix,
                   receiver_binding=binding, receiver_type="Hash", method="all")


def expr(value):
    return node("expr", value=value)


def host_call(syscall_id, *args, **kwargs):
    """A system call the engine hands to the host's handle_syscall."""
    return syscall(syscall_id, name(syscall_id.replace(".", "_")), args, kwargs.items())


def storage_module(module_name="con_store"):
    """Reads and writes of a variable "v" and a hash "h", and host system calls:
    get_v(), set_v(x), get_h(k), set_h(k, x), all_h(), call_host(x)."""
    return module(
        module_name,
        global_declarations=[variable_decl("v"), hash_decl("h")],
        functions=[
            function("get_v", [], [ret(variable_get("v"))]),
            function("set_v", ["x"], [expr(variable_set("v", name("x")))]),
            function("get_h", ["k"], [ret(hash_get("h", name("k")))]),
            function("set_h", ["k", "x"], [hash_set("h", name("k"), name("x"))]),
            function("all_h", [], [ret(hash_all("h"))]),
            function("call_host", ["x"], [ret(host_call("host.echo", name("x"), key=name("x")))]),
            function("ref", [], [ret(name("v"))]),
        ],
    )


def handle_module(module_name="con_handle", imported="con_echo"):
    """handle() returns the contract handle of a static import."""
    return module(module_name, imports=[node("import", module=imported, alias=None)],
                  functions=[function("handle", [], [ret(name(imported))])])


# ---- host behaviours for the host error tests ---------------------------------------
class Outer:
    class Inner(Exception):
        pass


class BadStrError(Exception):
    def __str__(self):
        raise RuntimeError("no str")


def raises(error):
    def method(*args):
        raise error
    return method


def returns(value):
    return lambda *args: value


class missing:
    """Marks a host method as absent: looking it up raises AttributeError
    (or `error`, for a lookup that fails otherwise)."""

    def __init__(self, error=None):
        self.error = error


def failing_rows():
    yield ("a", 1)
    raise KeyError("gone")


def add_key(value):
    value["c"] = 3


def changing_dict(change):
    """{"a": <decimal whose str() calls change(dict)>, "b": 2}."""
    value = {}
    value["a"] = SideEffectDecimal(lambda: change(value))
    value["b"] = 2
    return value


def same(a, b):
    """Equal with the same types all the way down (True is not 1, 0.0 is not -0.0)."""
    if type(a) is not type(b):
        return False
    if isinstance(a, (list, tuple)):
        return len(a) == len(b) and all(same(x, y) for x, y in zip(a, b))
    if isinstance(a, dict):
        return list(a) == list(b) and all(same(a[k], b[k]) for k in a)
    if isinstance(a, float):
        return repr(a) == repr(b)
    return a == b


# Every public name above, for the cases the runners evaluate.
NAMESPACE = {name: value for name, value in globals().items() if not name.startswith("_")}
