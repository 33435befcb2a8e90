"""execute_bundle's request: the checks and conversions of args, kwargs and
context, the reading of the bundle (JSON, members, module names), and the
order in which the first bad input is found. Cases: request_errors.txt."""

import pytest

from boundary_values import NAMESPACE, DictLike, ListLike, SideEffectDecimal, TupleLike, add_key, changing_dict
from bundle_host import Host
from conftest import DATA_DIR


def request(**changes):
    fields = {"bundle_ir_json": "{}", "entry_module": "con_a", "function_name": "f", "args": [],
              "kwargs": {}, "context": {}, "host": Host()}
    fields.update(changes)
    return fields


def read_cases(path):
    for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        if line.strip() and not line.startswith("#"):
            changes, expected = line.split(" => ", 1)
            yield pytest.param(changes, expected, id=f"{path.stem}:{number}")


@pytest.mark.parametrize("changes,expected", read_cases(DATA_DIR / "python_boundary" / "request_errors.txt"))
def test_request_errors(native, changes, expected):
    host = Host()
    fields = request(host=host, **eval(changes, dict(NAMESPACE)))
    cls_name, message = expected.split(": ", 1)
    cls = getattr(native, cls_name, None) or __builtins__[cls_name]
    with pytest.raises(Exception) as info:
        native.execute_bundle(**fields)
    assert type(info.value) is cls
    assert info.value.args == (message,)
    assert host.calls == []


def swap_keys_twice(value):
    # Same size at every step, but the walk is shown more entries than it had.
    del value["b"]
    value["c"] = SideEffectDecimal(lambda: (value.pop("a"), value.setdefault("d", 4)))


@pytest.mark.parametrize(
    "change,message",
    [(add_key, "dictionary changed size during iteration"), (swap_keys_twice, "dictionary keys changed during iteration")],
)
@pytest.mark.parametrize("where", ["kwargs", "args", "context"])
def test_a_dict_changed_while_walked_stops_the_request(native, change, message, where):
    value = changing_dict(change)
    fields = {"kwargs": {"kwargs": value}, "args": {"args": [[value]]}, "context": {"context": {"now": value}}}[where]
    with pytest.raises(RuntimeError) as info:
        native.execute_bundle(**request(**fields))
    assert type(info.value) is RuntimeError
    assert str(info.value) == message


def test_context_and_kwargs_subclasses_are_read_as_dicts(native):
    host = Host()
    with pytest.raises(native.VmRuntimeExecutionError, match="context.entry must be a 2-tuple"):
        native.execute_bundle(**request(host=host, args=ListLike([1]), kwargs=DictLike(a=1),
                                        context=DictLike(entry=TupleLike(("a",)))))
    assert host.calls == []
