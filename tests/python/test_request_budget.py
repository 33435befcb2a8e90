"""The request budget seen through execute_bundle: a cheap transaction over
values near the size limit ends with the memory or the work message at a
bounded resident size; a request started by host re-entry counts into the
outermost one, whose failure then stays; storage a request drops is given
back, so making and dropping big values never meets the memory cap.

Each program runs in a child process (budget_programs.py), so a cap that
regresses fails the test instead of exhausting the machine."""
import pytest

from budget_programs import (BLOCK, HALF_MAX_LIST, MEMORY, WORK, copies, distinct_list, function, list_of, request,
                             run_in_child, under_asan)

pytestmark = pytest.mark.usefixtures("interpreter")

# 2^21 + 2,000,000 items: within the size limit of one value.
BIG = 4_097_152
PEAK_BYTES = 1_500_000_000


@pytest.mark.parametrize("count", [16, 160])
@pytest.mark.parametrize("meter", [True, False], ids=["metered", "unmetered"])
def test_copies_of_a_big_list_end_at_a_cap(count, meter):
    (outcome,), peak = run_in_child(request(copies(BIG, count), meter=meter))
    assert outcome["status"] == 1
    # Metered, making the list alone passes the allowance its few chi buy;
    # unmetered there is no allowance, and the 17th list of 64 MB passes
    # the memory cap.
    assert outcome["result"] == (WORK if meter else MEMORY)
    if not under_asan():  # ASan's shadow memory and quarantine count as resident
        assert peak < PEAK_BYTES


# One level of a chain of requests: it holds a list of 2^21 items (1/32 of
# the memory cap with its header) and `copies` fresh copies of it, then
# starts `inner` requests of the next level one after the other.
HOLDER = function("level: int, copies: int, inner: int",
                  list_of("L", HALF_MAX_LIST)
                  + [line for i in range(15) for line in (f"if copies > {i}:", f"    v{i} = L + []")]
                  + ["for i in range(inner):",
                     "    if level > 1:",
                     "        syscall('host.again', level - 1, copies, inner)"],
                  "len(L)")


def test_a_nested_request_counts_into_the_outermost_and_its_failure_stays():
    alone, nested, after = run_in_child(request(HOLDER, [1, 15, 0]), request(HOLDER, [2, 15, 1]),
                                        request(HOLDER, [1, 15, 0]))[0]
    # 16 lists fit; the inner request's 16 on top of the outer's pass the
    # cap by 2048 at its last copy.
    assert (alone["status"], alone["result"]) == (0, HALF_MAX_LIST)
    assert nested["inner"] == [[1, MEMORY]]
    # The outer request makes nothing more after the inner one ends, yet
    # fails: the budget they share has failed.
    assert (nested["status"], nested["result"]) == (1, MEMORY)
    # The next request of the thread starts from nothing.
    assert after == alone


def test_a_nested_request_gives_back_what_it_held():
    # 15 lists held by the outer request and 15 by each of four inner ones
    # in turn: never more than 30 at once, 75 made.
    (outcome,), _ = run_in_child(request(HOLDER, [2, 14, 4]))
    assert outcome["inner"] == [[0, HALF_MAX_LIST]] * 4
    assert (outcome["status"], outcome["result"]) == (0, HALF_MAX_LIST)


# Each level copies a list of 131,072 items 32 times: about 4.3M steps, past
# the base allowance only with the steps of the levels around it (each
# level's own chi add less than its copies take).
COPIER = function("level: int",
                  [f"L = [level] * {BLOCK}", "for i in range(32):", "    x = L + []",
                   "if level > 1:", "    syscall('host.again', level - 1)"],
                  "len(x)")


def test_nested_requests_spend_one_work_allowance():
    single, chain = run_in_child(request(COPIER, [1], meter=True), request(COPIER, [3], meter=True))[0]
    assert (single["status"], single["result"]) == (0, BLOCK)
    assert (chain["status"], chain["result"]) == (1, WORK)
    # Every request of the chain that started ends with the message: the
    # one whose copy passed the allowance, and those around it at their
    # next charge.
    assert chain["inner"] and all(inner == [1, WORK] for inner in chain["inner"])


def test_values_made_and_dropped_never_meet_the_memory_cap():
    # Each round makes about 37 MB of storage and drops the previous
    # round's; 64 rounds make twice the cap.
    source = function("", list_of("L", HALF_MAX_LIST) + list_of("s", HALF_MAX_LIST, "'x'") + distinct_list("D", BLOCK)
                      + ["n = 0",
                         "for i in range(64):",
                         "    x = L + []",
                         "    t = s + 'y'",
                         "    z = set(D)",
                         "    y = sorted(D)",
                         "    n = n + len(x) + len(t) + len(z) + len(y)"],
                      "n")
    (outcome,), _ = run_in_child(request(source))
    assert (outcome["status"], outcome["result"]) == (0, 64 * (2 * HALF_MAX_LIST + 1 + 2 * BLOCK))


# The inner request returns a 1,048,575-bit int, whose encoding counts its
# digits on the budget the two requests share; the outer then does almost
# nothing more.
RETURNS_BIG = function("level: int, k: int",
                       ["x = 1",
                        "if level > 1:",
                        "    syscall('host.again', level - 1, k)",
                        "else:",
                        "    x = 2 ** 1048575 - 1",
                        f"    L = [1] * {BLOCK}",
                        "    for i in range(k):",
                        "        y = L + []"],
                       "x")


def test_a_budget_failed_by_encoding_the_return_value_fails_that_request():
    outcomes = run_in_child(*[request(RETURNS_BIG, [2, k], meter=True) for k in range(10, 120, 3)])[0]
    failed = [o for o in outcomes if o["status"] == 1]
    assert failed and len(failed) < len(outcomes)
    for outcome in outcomes:
        (inner_status, _), = outcome["inner"]
        # Never a success reported inside over a budget the outer then
        # finds failed.
        assert (inner_status == 1) == (outcome["status"] == 1)
        if outcome["status"] == 1:
            assert outcome["result"] == WORK
