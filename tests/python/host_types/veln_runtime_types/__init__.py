"""Stand-ins for the platform's value classes, as execute_bundle sees them.

The real package belongs to the host platform and is not installed here. These
classes provide what the engine uses of them and nothing more: the module path
and class name it recognises them by, the constructor it calls, and the
attributes or text it reads back. They live with the tests and the examples
and are put on sys.path there; they are not part of veln_vm_core.
"""
