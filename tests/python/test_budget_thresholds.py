"""Where each cap of the request budget fires decides a transaction's
outcome, so every node must find it at the same point. For a few programs,
each taking one size, the data file (python_boundary/budget_thresholds.txt)
holds the smallest size at which the program meets a cap. Each build checks
it in fresh processes under two hash seeds: one size below, the program
ends normally; at that size, with the cap's message. Where that does not
hold, the size where the cap fires is bisected and reported.

The thresholds follow from fixed weights and step counts, so they change
only when the counting does. After such a change, print the file anew
(the extension on PYTHONPATH):

    python tests/python/test_budget_thresholds.py --regenerate
"""
import concurrent.futures
import pathlib
import sys

import pytest

from budget_programs import (BLOCK, MESSAGES, copies, distinct_list, function, list_of, outcome_name, request,
                             run_in_child)

DATA_FILE = pathlib.Path(__file__).resolve().parents[1] / "data" / "python_boundary" / "budget_thresholds.txt"
HASH_SEEDS = (0, 2718281)

pytestmark = pytest.mark.usefixtures("interpreter")


def sets_held(n):
    return request(function("", distinct_list("L", n) + [f"s{i} = set(L)" for i in range(31)], "len(L)"))


def texts_held_by_a_chain(n):
    # 32 nested requests, each holding 16 texts of about n bytes while the
    # requests inside it run.
    return request(function("level: int",
                            list_of("s", n, "'x'") + [f"t{i} = s + 'y'" for i in range(15)]
                            + ["if level > 1:", "    syscall('host.again', level - 1)"],
                            "len(s)"),
                   [32])


def copies_worked(n):
    return request(function("", [f"L = [1] * {n}", "for i in range(64):", "    x = L + []"], "len(x)"), meter=True)


def sorted_ints(n):
    # Three interleaved runs, one of them descending.
    return request(function("", [f"L = list(range({n}))", "M = L[::3] + L[1::3][::-1] + L[2::3]",
                                 "for i in range(8):", "    x = sorted(M)"], "len(x)"),
                   meter=True)


def sorted_texts(n):
    # The texts of three interleaved runs of ints, one of them descending.
    return request(function("", [f"L = list(range({n}))", "M = L[::3] + L[1::3][::-1] + L[2::3]",
                                 "T = str(M).split(', ')", "for i in range(8):", "    x = sorted(T)"], "len(x)"),
                   meter=True)


def sets_of_runs(n):
    return request(function("", [f"L = list(range({n}))", "M = L[::3] + L[1::3][::-1] + L[2::3]",
                                 "for i in range(8):", "    x = set(M)"], "len(x)"),
                   meter=True)


def sorted_numbers(n):
    # Ints and floats together: sorted by their nearest doubles, stably.
    return request(function("", [f"L = list(range({n}))", f"M = L[::-1] + [2.5, 0.5, 1.5] * {n}",
                                 "for i in range(8):", "    x = sorted(M)"], "len(x)"),
                   meter=True)


def sets_built(n):
    return request(function("", [f"L = list(range({n}))", "M = L + L[::-1]", "for i in range(8):", "    x = set(M)"],
                            "len(x)"),
                   meter=True)


def copies_worked_by_a_chain(n):
    # Four nested requests, each copying its list 32 times: more steps than
    # its own chi buy.
    return request(function("level: int", [f"L = [level] * {n}", "for i in range(32):", "    x = L + []",
                                           "if level > 1:", "    syscall('host.again', level - 1)"],
                            "len(x)"),
                   [4], meter=True)


# A tuple of a thousand leaves, nested three levels deep.
NESTED = ["a = (0, 0, 0, 0, 0, 0, 0, 0, 0, 0)", "b = (a, a, a, a, a, a, a, a, a, a)", "P = (b, b, b, b, b, b, b, b, b, b)"]


def nested_tuples_compared(n):
    # Lists of n such tuples, equal but for the last item: every leaf is read.
    return request(function("", NESTED + [f"L = [P] * {n} + [1]", f"M = [P] * {n} + [2]", "c = 0",
                                          "for i in range(8):", "    if L == M:", "        c = c + 1"], "c"),
                   meter=True)


def sets_of_nested_tuples(n):
    # Sets of pairs that share the nested tuple and differ in their texts.
    return request(function("", NESTED + [f"T = str(list(range(1000, 1000 + {n})))", "T = T[1:-1]", "T = T.split(', ')",
                                          f"Z = set(zip([P] * {n}, T))", f"Z2 = set(zip([P] * {n}, T[::-1]))",
                                          "c = 0", "for i in range(8):", "    if Z == Z2:", "        c = c + 1"], "c"),
                   meter=True)


def float_set_algebra(n):
    return request(function("", distinct_list("L", n) + ["F = list(map(float, L))", "Z = set(F)", "Z2 = set(F[1:] + [-1.0])",
                                 "for i in range(8):", "    x = Z - Z2", "    y = Z == Z2", "    w = Z ^ Z2"],
                            "len(x)"),
                   meter=True)


def sets_from_duplicates_held(n):
    # 31 sets, each keeping half of the items of the list it was built from.
    return request(function("", distinct_list("L", n) + ["M = L + L"] + [f"s{i} = set(M)" for i in range(31)],
                            "len(M)"))


# name: (program of the size, the range a bisection starts from: the program
# meets no cap at its low end and one at its high end)
PROGRAMS = {
    "list_copies_held": (lambda n: request(copies(n, 31)), (1, 4_000_000)),
    "sets_held": (sets_held, (1, 4_000_000)),
    "texts_held_by_a_chain": (texts_held_by_a_chain, (1, 4_000_000)),
    "list_copies": (copies_worked, (1, BLOCK)),
    "sorted_ints": (sorted_ints, (1, BLOCK)),
    "sorted_ints_and_floats": (sorted_numbers, (1, BLOCK // 3)),
    "sorted_texts": (sorted_texts, (1, BLOCK)),
    "sets_built": (sets_built, (1, BLOCK)),
    "sets_of_runs": (sets_of_runs, (1, BLOCK)),
    "list_copies_by_a_chain": (copies_worked_by_a_chain, (1, BLOCK)),
    "nested_tuples_compared": (nested_tuples_compared, (1, 3000)),
    "sets_of_nested_tuples": (sets_of_nested_tuples, (1, 3000)),
    "float_set_algebra": (float_set_algebra, (1, BLOCK)),
    "sets_from_duplicates_held": (sets_from_duplicates_held, (1, 2_000_000)),
}


def probe(name, size, hash_seed):
    """The outcome ("ok", "memory" or "work") of one program at one size, in a process of its own."""
    (outcome,), _ = run_in_child(PROGRAMS[name][0](size), hash_seed=hash_seed)
    return outcome_name(outcome)


def bisect(name, hash_seed):
    """The smallest size at which the program meets a cap, and the cap."""
    low, high = PROGRAMS[name][1]
    assert probe(name, low, hash_seed) == "ok", f"{name} meets a cap at {low}"
    cap = probe(name, high, hash_seed)
    assert cap != "ok", f"{name} meets no cap at {high}"
    while high - low > 1:
        middle = (low + high) // 2
        outcome = probe(name, middle, hash_seed)
        if outcome == "ok":
            low = middle
        else:
            high, cap = middle, outcome
    return high, cap


def read_thresholds():
    """{name: (cap, size)} from the data file."""
    out = {}
    for line in DATA_FILE.read_text(encoding="utf-8").splitlines():
        if line.strip() and not line.startswith("#"):
            name, found = line.split(" -> ")
            cap, size = found.split()
            assert name not in out, f"{name} is recorded twice"
            out[name] = (cap, int(size))
    return out


def test_every_program_has_one_recorded_size():
    assert sorted(read_thresholds()) == sorted(PROGRAMS)


@pytest.mark.parametrize("name", sorted(PROGRAMS))
def test_each_cap_fires_at_the_recorded_size(name):
    cap, size = read_thresholds()[name]
    assert cap in MESSAGES
    probes = [(size - 1, seed) for seed in HASH_SEEDS] + [(size, seed) for seed in HASH_SEEDS]
    # Two at a time: the memory programs hold a gigabyte each.
    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        outcomes = list(pool.map(lambda p: probe(name, *p), probes))
    expected = ["ok"] * len(HASH_SEEDS) + [cap] * len(HASH_SEEDS)
    if outcomes != expected:
        failed = next(seed for (_, seed), got, want in zip(probes, outcomes, expected) if got != want)
        found, found_cap = bisect(name, failed)
        pytest.fail(f"{name}: recorded {cap} at {size}; with PYTHONHASHSEED={failed} {found_cap} fires at {found} "
                    f"(outcomes at {size - 1} and {size}: {outcomes})")


def regenerate():
    header = [line for line in DATA_FILE.read_text(encoding="utf-8").splitlines() if line.startswith("#")]
    lines = header
    for name in PROGRAMS:
        size, cap = bisect(name, HASH_SEEDS[0])
        print(f"{name}: {cap} at {size}", file=sys.stderr)
        lines.append(f"{name} -> {cap} {size}")
    DATA_FILE.write_text("\n".join(lines) + "\n", encoding="utf-8")


if __name__ == "__main__":
    if sys.argv[1:] != ["--regenerate"]:
        sys.exit(f"usage: {sys.argv[0]} --regenerate")
    regenerate()
