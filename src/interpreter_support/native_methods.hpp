// call_native_method: the one entry point for calling a method on a runtime
// value (s.split(), b.hex(), xs.append(x), d.get(k), s.union(t) ...). It
// refuses keyword arguments, picks the receiver kind's method table and hands
// over to the str/bytes/bytearray methods or the list/dict/set methods.
// It must not know any method's semantics itself.
#pragma once

#include <string_view>
#include <vector>

#include "interpreter_support/ir_argument_readers.hpp"
#include "interpreter_support/native_method_outcome.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

// Receiver and arguments are handed over. Errors: keyword arguments given
// (always first), a receiver kind without methods, an unknown method name,
// the method's arity and argument errors.
VmResult<NativeMethodOutcome> call_native_method(VmValue receiver, std::string_view method,
                                                 std::vector<VmValue> args, VmKeywordArgs kwargs);

// True for the methods that always hand back a changed receiver when they
// succeed (list.append, dict.pop, set.add, bytearray.extend, ...). A caller
// that will write the receiver back may then hand over its only reference,
// so the method edits the buffer in place instead of copying it.
bool native_method_changes_receiver(VmKind receiver_kind, std::string_view method);

}  // namespace veln
