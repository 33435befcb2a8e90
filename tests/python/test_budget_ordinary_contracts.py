"""Contracts that pay for their values as they build them never meet the
request budget: metered with an ordinary chi budget, each ends with status 0
and the result CPython gives for the same source."""
import json

import pytest

from bundle_host import Host
from py_to_ir import translate

pytestmark = pytest.mark.usefixtures("interpreter")

CHI_BUDGET_RAW = 10**9
CONTEXT = {"this": "con_plain", "caller": "budget_test", "signer": "budget_test"}

# A list filled item by item, then sorted, searched and turned into a set
# over and over: every pass works over the whole list.
LIST_WORK = """
@export
def run():
    L = [(i * 7919) % 100003 for i in range(100000)]
    picked = 0
    for r in range(100):
        S = sorted(L)
        picked = picked + S[r * 997]
    found = 0
    for q in range(1000):
        if (q * 104729) % 100019 in L:
            found = found + 1
    s = set(L)
    return [picked, found, len(s), s == set(S), S[:3], S[-3:], S == L]
"""

# The largest list one repetition makes, all of one value.
EQUAL_ITEMS = """
@export
def run():
    S = sorted([0] * 131072)
    return [len(S), S[0], S[-1]]
"""

# About 4 MB of text from 40,000 pieces, each paid for as it is made, then
# searched.
TEXT_WORK = """
@export
def run():
    pieces = []
    for i in range(40000):
        pieces.append(str(i * 7919) + ':' + 'abcdefghij' * 9)
    s = '\\n'.join(pieces)
    return [len(s), s.find('316760000'), '39591:' in s, 'j:' in s, s.find(str(7919 * 39999)), s.endswith('hij'),
            len(s.split('\\n')), len(s.replace('abc', 'x')), s.upper()[-20:]]
"""


def cpython_result(source):
    namespace = {"export": lambda f: f}
    exec(source, namespace)
    return namespace["run"]()


@pytest.mark.parametrize("source", [LIST_WORK, EQUAL_ITEMS, TEXT_WORK], ids=["list", "equal-items", "text"])
def test_paid_for_values_stay_inside_the_budget(native, source):
    bundle = json.dumps({"con_plain": translate(source, "con_plain")})
    out = native.execute_bundle(bundle, "con_plain", "run", [], {}, CONTEXT, Host(), meter=True,
                                chi_budget_raw=CHI_BUDGET_RAW)
    assert (out["status_code"], out["result"]) == (0, cpython_result(source))
