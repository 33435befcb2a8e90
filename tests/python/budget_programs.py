"""Contract programs that meet the request budget (the storage a request's
values hold, the work its operations do), and the child process that runs
them.

A program that holds a gigabyte or runs for seconds must not take the test
process with it when a cap regresses, so such programs run in a child of
their own, under a 4 GiB address-space limit, and report their outcomes as
JSON. ASan reserves terabytes of address space for its shadow memory and
allocator as it starts, so under ASan the limit is raised by what the child
holds reserved once started. A program may start
requests inside its own: the system call "host.again" runs the same
function again, in a request nested by host re-entry, with the call's
arguments, and returns that request's status code.

Run as a script it reads a list of requests as JSON from its standard
input, each {"source": ..., "args": [...], "meter": bool, "budget": raw},
runs them one after the other in this process and prints their outcomes
(as run_request gives them) as one JSON line.
"""
import json
import os
import pathlib
import resource
import subprocess
import sys
import tempfile

HERE = pathlib.Path(__file__).resolve().parent
MODULE = "con_budget"
CONTEXT = {"this": MODULE, "caller": "budget_test", "signer": "budget_test"}
MEMORY = "execution exceeds the maximum allowed memory"
WORK = "execution exceeds the maximum allowed work"
MESSAGES = {"memory": MEMORY, "work": WORK}
ADDRESS_SPACE_LIMIT = 4 << 30
# Far above what any program here is charged: the outcome is the budget's.
RAW_BUDGET = 10**15
# The largest list a repetition or range() makes at once; larger lists are
# made by concatenation.
BLOCK = 131072
# A list of 2^22 items passes the size limit of one value: its own unit
# comes on top.
HALF_MAX_LIST = 1 << 21


def under_asan():
    # gcc's runtime or clang's, whichever the sanitized extension was built with
    preload = os.environ.get("LD_PRELOAD", "")
    return "libasan" in preload or "libclang_rt.asan" in preload


# ---- source builders --------------------------------------------------------------


def list_of(name, n, unit="[1]"):
    """Statements that leave a list of exactly n ones in `name` (or a text
    of n bytes, for a `unit` of one byte): a block doubled up to 2^21 items,
    then cut down or topped up, so that the program's shape is the same for
    every n on one side of 2^21."""
    lines = [f"{name} = {unit} * {BLOCK}"]
    size = BLOCK
    while size < HALF_MAX_LIST:
        lines.append(f"{name} = {name} + {name}")
        size *= 2
    if n <= size:
        lines.append(f"{name} = {name}[:{n}]")
    else:
        lines.append(f"{name} = {name} + {name}[:{n - size}]")
    return lines


def distinct_list(name, n):
    """A list of the ints 0..n-1, from ranges of at most one block each."""
    parts = [f"list(range({a}, {min(a + BLOCK, n)}))" for a in range(0, n, BLOCK)] or ["[]"]
    return [f"{name} = " + " + ".join(parts)]


def function(params, lines, result):
    body = "".join(f"    {line}\n" for line in lines)
    return f"@export\ndef run({params}):\n{body}    return {result}\n"


def copies(n, count):
    """A list of n items and `count` statements, each holding a fresh copy
    of it: a few chi per statement, whatever n is."""
    return function("", list_of("L", n) + [f"v{i} = L + []" for i in range(count)], "len(L)")


# ---- running requests -------------------------------------------------------------


def run_request(source, args=(), meter=False, budget=RAW_BUDGET):
    """Runs run(*args) of `source` in this process; the requests it starts
    through "host.again" run the same function with the same meter. The
    outcome, with the nested requests' [status, result], innermost first."""
    import veln_vm_core._native as native
    from bundle_host import Host
    from py_to_ir import translate

    bundle = json.dumps({MODULE: translate(source, MODULE)})
    inner = []

    def execute(args):
        return native.execute_bundle(bundle, MODULE, "run", list(args), {}, CONTEXT, host, meter=meter,
                                     chi_budget_raw=budget)

    def again(*args):
        out = execute(args)
        result = out["result"]
        if isinstance(result, int) and result.bit_length() > 64:  # past what JSON text takes back
            result = {"int of bits": result.bit_length()}
        inner.append([out["status_code"], result])
        return out["status_code"]

    host = Host(syscalls={"host.again": again})
    out = execute(args)
    return {"status": out["status_code"], "result": out["result"], "raw_cost": out["raw_cost"], "inner": inner}


def request(source, args=(), meter=False, budget=RAW_BUDGET):
    return {"source": source, "args": list(args), "meter": meter, "budget": budget}


def limit_address_space():
    reserved = 0
    if under_asan():
        status = pathlib.Path("/proc/self/status").read_text()
        reserved = int(next(line.split()[1] for line in status.splitlines() if line.startswith("VmSize:"))) * 1024
    resource.setrlimit(resource.RLIMIT_AS, (reserved + ADDRESS_SPACE_LIMIT, reserved + ADDRESS_SPACE_LIMIT))


def child_environment(hash_seed):
    env = dict(os.environ)
    env["PYTHONPATH"] = os.pathsep.join(filter(None, [str(HERE), str(HERE.parent / "tools"),
                                                      str(HERE / "host_types"), env.get("PYTHONPATH")]))
    if hash_seed is not None:
        env["PYTHONHASHSEED"] = str(hash_seed)
    return env


def run_in_child(*requests, hash_seed=None):
    """Runs the requests one after the other in a fresh process: their
    outcomes and the child's peak resident size in bytes."""
    with tempfile.TemporaryFile() as errors:
        child = subprocess.Popen([sys.executable, str(pathlib.Path(__file__).resolve())],
                                 env=child_environment(hash_seed), stdin=subprocess.PIPE,
                                 stdout=subprocess.PIPE, stderr=errors)
        # The child reads all its input before it writes anything. wait4,
        # not Popen, reaps it, for its resource usage.
        child.stdin.write(json.dumps(requests).encode())
        child.stdin.close()
        output = child.stdout.read().decode()
        child.stdout.close()
        _, status, usage = os.wait4(child.pid, 0)
        child.returncode = code = os.waitstatus_to_exitcode(status)
        errors.seek(0)
        assert code == 0 and output, f"the child ended with {code}: {errors.read().decode()[-3000:]}"
    return json.loads(output), usage.ru_maxrss * 1024


def outcome_name(outcome):
    """"ok", "memory" or "work"; any other failure is a fault of the program."""
    if outcome["status"] == 0:
        return "ok"
    for name, message in MESSAGES.items():
        if outcome["result"] == message:
            return name
    raise AssertionError(f"unexpected failure: {outcome['result']!r}")


if __name__ == "__main__":
    limit_address_space()
    requests = json.loads(sys.stdin.read())
    print(json.dumps([run_request(r["source"], r["args"], r["meter"], r["budget"]) for r in requests], default=str))
