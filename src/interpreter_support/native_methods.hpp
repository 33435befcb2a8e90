// call_native_method: the one entry point for calling a method on a runtime
// value (s.split(), b.hex(), xs.append(x), d.get(k), s.union(t) ...). A
// method name is resolved once, to its id in the table of every receiver
// kind (resolve_native_method); a call refuses keyword arguments, picks the
// receiver kind's table and runs the entry of that id with a span of the
// caller's argument values.
// It must not know any method's semantics itself.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "interpreter_support/ir_argument_readers.hpp"
#include "interpreter_support/native_method_outcome.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

// One method name resolved for each receiver kind: the id of its entry in
// that kind's table, kNoNativeMethod where the kind has no such method (or
// no methods at all).
struct NativeMethodIds {
  std::array<uint8_t, kVmKindCount> ids;
};

NativeMethodIds resolve_native_method(std::string_view method);

// Receiver and arguments are handed over. Errors: keyword arguments given
// (always first), a receiver kind without methods, an unknown method name,
// the method's arity and argument errors. `method` is the name `ids` were
// resolved from.
VmResult<NativeMethodOutcome> call_native_method(VmValue receiver, std::string_view method,
                                                 const NativeMethodIds& ids, std::span<const VmValue> args,
                                                 VmKeywordArgs kwargs);
// The same, resolving the name first.
VmResult<NativeMethodOutcome> call_native_method(VmValue receiver, std::string_view method,
                                                 std::span<const VmValue> args, VmKeywordArgs kwargs);

// True for the methods that always hand back a changed receiver when they
// succeed (list.append, dict.pop, set.add, bytearray.extend, ...). A caller
// that will write the receiver back may then hand over its only reference,
// so the method edits the buffer in place instead of copying it.
bool native_method_changes_receiver(VmKind receiver_kind, std::string_view method);

}  // namespace veln
