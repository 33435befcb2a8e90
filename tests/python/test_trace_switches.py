"""The statement trace switch follows the environment as Python code run by
the host changes it during a call: lines start or stop from the statement
after the host operation that set or cleared VELN_VM_TRACE_STATEMENTS. Work
the engine does without the host (its own system calls, recorded storage)
changes nothing."""
import json
import os

from bundle_host import Host
from py_to_ir import translate

SWITCH = "VELN_VM_TRACE_STATEMENTS"
SOURCE = """
h = Hash(default_value=0)

@export
def run():
    a = 1
    syscall("host.switch", True)
    b = syscall("numeric.decimal.new", 2)
    h["k"] = b
    c = h["k"]
    syscall("host.switch", False)
    d = 4
    return str(a + c + d)
"""


def switch(on):
    if on:
        os.environ[SWITCH] = ""
    else:
        os.environ.pop(SWITCH, None)


def test_host_code_turns_statement_lines_on_and_off(native, storage, capfd):
    os.environ.pop(SWITCH, None)
    bundle = json.dumps({"con_trace": translate(SOURCE, "con_trace")})
    try:
        result = native.execute_bundle(bundle, "con_trace", "run", [], {}, {}, Host(syscalls={"host.switch": switch}))
    finally:
        os.environ.pop(SWITCH, None)
    assert result["status_code"] == 0, result["result"]
    assert result["result"] == "7"
    lines = [line for line in capfd.readouterr().err.splitlines() if line.startswith("[vm-stmt]")]
    # From the statement after the first host call to the second host call.
    assert len(lines) == 4, lines
    assert all(line.startswith("[vm-stmt] con_trace ") for line in lines)
