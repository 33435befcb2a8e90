"""A chain of execute_bundle requests, each started by a host method of the
one before: the system call "host.again", a storage read, the load of the
entry module or the owner lookup. Request number `level` (from 1) calls
f(extra, via) in con_nest, loaded from the host; f calls itself `extra`
times and then reaches the host through `via`, whose first use in the
request starts request level + 1, up to `levels`.

Run as a script it prints the chain's outcomes as JSON, on the main thread
or on a thread of the given stack size:
    python reentry_chain.py VIA EXTRA LEVELS [STACK_BYTES]
"""
import json
import pathlib
import sys
import threading

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "tools"))

from bundle_host import Host  # noqa: E402
from py_to_ir import translate  # noqa: E402

SOURCE = """
v = Variable()

@export
def f(extra: int, via: str):
    if extra > 0:
        return f(extra - 1, via)
    if via == "handle_syscall":
        return syscall("host.again")
    if via == "read_variable":
        return v.get()
    return 0
"""
MODULE = json.dumps(translate(SOURCE, "con_nest"))
METHODS = ("handle_syscall", "read_variable", "load_module_ir_json", "get_owner")
METER = {"meter": True, "chi_budget_raw": 10**9}


class ChainHost(Host):
    """The host of one request: the first use of `via` starts the next one."""

    def __init__(self, chain, level):
        super().__init__(modules={"con_nest": MODULE}, syscalls={"host.again": lambda: None})
        self.chain = chain
        self.level = level
        self.spent = False

    def again(self, method):
        if method == self.chain.via and not self.spent and self.level < self.chain.levels:
            self.spent = True
            self.chain.request(self.level + 1)

    def handle_syscall(self, name, args, kwargs):
        self.again("handle_syscall")
        return super().handle_syscall(name, args, kwargs)

    def read_variable(self, contract, name):
        self.again("read_variable")
        return super().read_variable(contract, name)

    def load_module_ir_json(self, module):
        self.again("load_module_ir_json")
        return super().load_module_ir_json(module)

    def get_owner(self, contract):
        self.again("get_owner")
        return super().get_owner(contract)


class Chain:
    def __init__(self, native, via, extra, levels):
        self.native = native
        self.via = via
        self.extra = extra
        self.levels = levels
        self.ends = []  # [level, status, result, raw cost] of each request, innermost first

    def request(self, level):
        # The innermost request asks nothing of the host from f.
        via = self.via if level < self.levels else "nothing"
        result = self.native.execute_bundle("{}", "con_nest", "f", [self.extra, via], {}, {},
                                            ChainHost(self, level), **METER)
        self.ends.append([level, result["status_code"], result["result"], result["raw_cost"]])


def run_chain(native, via, extra, levels):
    """The outcomes of a chain from request 1, innermost first."""
    chain = Chain(native, via, extra, levels)
    limit = sys.getrecursionlimit()
    # Python's own limit would end the chain first: each level adds a few
    # Python frames.
    sys.setrecursionlimit(100_000)
    try:
        chain.request(1)
    finally:
        sys.setrecursionlimit(limit)
    return chain.ends


def main(via, extra, levels, stack_bytes=None):
    import veln_vm_core._native as native

    if stack_bytes is None:
        return run_chain(native, via, extra, levels)
    out = []
    previous = threading.stack_size(stack_bytes)
    try:
        thread = threading.Thread(target=lambda: out.append(run_chain(native, via, extra, levels)))
        thread.start()
        thread.join()
    finally:
        threading.stack_size(previous)
    return out[0]


if __name__ == "__main__":
    print(json.dumps(main(sys.argv[1], int(sys.argv[2]), int(sys.argv[3]),
                          int(sys.argv[4]) if len(sys.argv) > 4 else None)))
