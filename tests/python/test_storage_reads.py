"""Storage reads in one request see the last write to each key, wherever it
was made: by the same access earlier, by a nested h[k] op= v, or by a second
instance of the contract that a call back into it built."""
import json

import pytest

from bundle_host import Host

pytestmark = pytest.mark.usefixtures("storage")

REENTRANT = {
    "con_a": """
import con_b

h = Hash(default_value=0)
v = Variable(default_value=0)

@export
def run():
    h['k'] = 1
    v.set(1)
    before = [h['k'], v.get()]
    con_b.poke()
    return before + [h['k'], v.get()]

@export
def bump():
    h['k'] += 10
    v.set(v.get() + 10)
""",
    "con_b": """
import con_a

@export
def poke():
    con_a.bump()
""",
}

NESTED = """
h = Hash(default_value=0)

def touch(key, value):
    h[key] = value
    return 1

@export
def run():
    h['k'] += touch('k', 100)
    h['j'] += touch('x', 5)
    h['j'] += touch('x', 6) + touch('y', 7) + touch('j', 50)
    h[1] = 3
    h['1'] += 4
    return [h['k'], h['j'], h['x'], h['y'], h[1], h['1']]
"""

# The raw costs: every read and write charged, in order.
COSTS = {"con_a": 89073, "con_n": 95268}


def bundle(sources):
    from py_to_ir import translate

    return json.dumps({name: translate(source, name) for name, source in sources.items()})


def test_a_write_by_a_second_instance_is_read_back(native):
    result = native.execute_bundle(bundle(REENTRANT), "con_a", "run", [], {}, {}, Host(), meter=True)
    assert (result["status_code"], result["result"]) == (0, [1, 1, 11, 11])
    assert result["storage_writes"] == {"con_a.h:k": 11, "con_a.v": 11}
    assert result["raw_cost"] == COSTS["con_a"]


def test_a_key_written_while_its_update_is_computed(native):
    result = native.execute_bundle(bundle({"con_n": NESTED}), "con_n", "run", [], {}, {}, Host(), meter=True)
    # h[k] op= v reads before the value runs and writes after it.
    assert (result["status_code"], result["result"]) == (0, [1, 4, 6, 7, 7, 7])
    # An int key and a str key with the same text are one entry.
    assert result["storage_writes"] == {"con_n.h:k": 1, "con_n.h:j": 4, "con_n.h:x": 6, "con_n.h:y": 7,
                                        "con_n.h:1": 7}
    assert result["raw_cost"] == COSTS["con_n"]
