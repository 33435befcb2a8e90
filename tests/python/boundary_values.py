"""Python values with odd behaviour for the boundary tests: subclasses and
look-alikes of the types the engine converts, objects whose str() or
comparison raises, and values nested past the engine's limit. Also the
module IR and bundle builders the request tests use."""
import datetime
import enum
import json
import sys

sys.path.insert(0, str(__import__("pathlib").Path(__file__).resolve().parent / "host_types"))

from veln_runtime_types.collections import VondrelFrozenSet, VondrelSet  # noqa: E402
from veln_runtime_types.decimal import VondrelDecimal  # noqa: E402
from veln_runtime_types.time import Datetime, Timedelta  # noqa: E402


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


NAMESPACE = {name: value for name, value in globals().items() if not name.startswith("_")}


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
