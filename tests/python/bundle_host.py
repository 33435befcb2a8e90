"""A Python host for execute_bundle, as a node would provide one.

Storage is one dict keyed by the storage-key syntax the engine uses ("con_a.x"
for a variable, "con_a.h:k1:k2" for a hash entry); owners, the module IR of
contracts outside the bundle and the system calls the engine hands to the host
are dicts as well. Every method call is logged in `calls` so tests can check
what the engine asked and in which order.
"""
import json


def key_part(value):
    """The text one key value contributes to a storage key (str bare, else repr)."""
    return value if isinstance(value, str) else repr(value)


def hash_key(contract, name, key):
    parts = key if isinstance(key, tuple) else (key,)
    return f"{contract}.{name}:" + ":".join(key_part(p) for p in parts)


class Host:
    def __init__(self, modules=None, storage=None, owners=None, syscalls=None):
        self.modules = {name: ir if isinstance(ir, str) else json.dumps(ir) for name, ir in (modules or {}).items()}
        self.storage = dict(storage or {})
        self.owners = dict(owners or {})
        self.syscalls = dict(syscalls or {})
        self.calls = []

    def load_module_ir_json(self, module):
        self.calls.append(("load_module_ir_json", module))
        return self.modules.get(module)

    def get_owner(self, contract):
        self.calls.append(("get_owner", contract))
        return self.owners.get(contract)

    def read_variable(self, contract, name):
        self.calls.append(("read_variable", contract, name))
        return self.storage.get(f"{contract}.{name}")

    def read_hash(self, contract, name, key):
        self.calls.append(("read_hash", contract, name, key))
        return self.storage.get(hash_key(contract, name, key))

    def scan_hash_entries(self, contract, name, prefix):
        self.calls.append(("scan_hash_entries", contract, name, prefix))
        base = f"{contract}.{name}:"
        start = base + prefix + ":" if prefix else base
        return [(key[len(base):], value) for key, value in self.storage.items() if key.startswith(start)]

    def handle_syscall(self, name, args, kwargs):
        self.calls.append(("handle_syscall", name, args, kwargs))
        return self.syscalls[name](*args, **kwargs)


class StreamingHost(Host):
    """A host that also streams hash entries in ascending key order."""

    def iter_hash_entries(self, contract, name, prefix):
        self.calls.append(("iter_hash_entries", contract, name, prefix))
        return iter(sorted(Host.scan_hash_entries(self, contract, name, prefix)))
