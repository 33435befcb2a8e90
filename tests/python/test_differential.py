"""Generated contract programs give the same results and error kinds under
CPython and through execute_bundle (tests/tools/differential.py has the
generator, the CPython side and a driver that runs many thousands of programs
with reduced reproductions). VELN_DIFFERENTIAL_PROGRAMS sets how many programs
this test runs (300 by default)."""
import os

import pytest

import differential

COUNT = int(os.environ.get("VELN_DIFFERENTIAL_PROGRAMS", "300"))
CHUNK = 50

pytestmark = pytest.mark.usefixtures("interpreter")


@pytest.mark.parametrize("start", range(0, COUNT, CHUNK))
def test_generated_programs_agree_with_cpython(native, start):
    found, skipped = [], 0
    seeds = range(start, min(start + CHUNK, COUNT))
    for seed in seeds:
        status, detail = differential.outcome(native, seed)
        skipped += status == "skip"
        if status == "discrepancy":
            source, entry, args, (_, details) = detail
            found.append(f"seed {seed}: {entry}{tuple(args)!r}\n{source}{details}")
    assert not found, "\n\n".join(found)
    # Most programs stay inside the shared subset, or the comparison proves little.
    assert skipped <= len(seeds) // 5
