"""Metering as it crosses the boundary: the meter switch, the budget and the
transaction size go in; the raw cost, the chi used and the per-contract costs
come out. The charges themselves are the executor's (its C++ tests)."""
import json

import pytest

from boundary_values import echo_module
from bundle_host import Host

ECHO = json.dumps({"con_echo": echo_module()})

pytestmark = pytest.mark.usefixtures("interpreter")


def run(native, **meter):
    return native.execute_bundle(ECHO, "con_echo", "echo", [None], {}, {}, Host(), **meter)


@pytest.mark.parametrize("budget,chi_used", [(0, 5), (3000, 3), (999, 0), (2**64 - 1, 5)])
def test_metering_off_charges_nothing(native, budget, chi_used):
    result = run(native, chi_budget_raw=budget, transaction_size_bytes=10**9)
    assert (result["status_code"], result["result"]) == (0, None)
    assert (result["raw_cost"], result["chi_used"]) == (0, chi_used)
    assert result["contract_costs"] == {"con_echo": 5000}


def test_metering_on_charges_transaction_base_and_work(native):
    plain = run(native, meter=True)
    sized = run(native, meter=True, transaction_size_bytes=777)
    assert plain["status_code"] == sized["status_code"] == 0
    assert plain["raw_cost"] > 5000
    assert sized["raw_cost"] - plain["raw_cost"] == 777
    assert plain["chi_used"] == plain["raw_cost"] // 1000 + 5


def test_budget_below_the_base_charge(native):
    result = run(native, meter=True, chi_budget_raw=4999)
    assert (result["status_code"], result["result"]) == (1, "Out of chi.")
    assert (result["raw_cost"], result["chi_used"]) == (5000, 4)
    assert result["contract_costs"] == {"con_echo": 5000}


def test_budget_exhausted_during_the_call(native):
    full = run(native, meter=True)["raw_cost"]
    result = run(native, meter=True, chi_budget_raw=full - 1)
    assert (result["status_code"], result["result"]) == (1, "Out of chi.")
    assert result["chi_used"] == min(result["raw_cost"] // 1000 + 5, (full - 1) // 1000)


def test_raw_cost_beyond_fifty_billion_reports_the_budget(native):
    budget = 2**64 - 1
    result = run(native, meter=True, chi_budget_raw=budget, transaction_size_bytes=50_000_000_001)
    assert result["status_code"] == 0
    assert result["raw_cost"] > 50_000_000_000
    assert result["chi_used"] == budget // 1000


def test_transaction_size_overflow(native):
    result = run(native, meter=True, transaction_size_bytes=2**64 - 4000)
    assert (result["status_code"], result["result"]) == (1, "chi metering overflow")
    assert result["raw_cost"] == 2**64 - 4000
