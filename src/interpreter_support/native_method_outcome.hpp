// NativeMethodOutcome: what a successful native method call gives back. A
// method never changes a value in place; one that changes its receiver hands
// the changed receiver back beside its result, and the caller writes it to
// the place the receiver came from before using the result. A failed call is
// a VmExecutionError and leaves nothing to write back.
// This is a plain record: no dispatch, no method semantics.
#pragma once

#include <cstdint>
#include <utility>

#include "values/vm_value.hpp"

namespace veln {

struct NativeMethodOutcome {
  enum class Kind : uint8_t {
    Value,    // the receiver is unchanged; `value` is the call's result
    Mutated,  // `receiver` is the receiver after the method ran; `value` the result
  };

  Kind kind = Kind::Value;
  VmValue value;
  VmValue receiver;  // None unless kind == Mutated

  static NativeMethodOutcome plain(VmValue result) {
    NativeMethodOutcome out;
    out.value = std::move(result);
    return out;
  }
  static NativeMethodOutcome mutated(VmValue changed_receiver, VmValue result = VmValue::none()) {
    NativeMethodOutcome out;
    out.kind = Kind::Mutated;
    out.receiver = std::move(changed_receiver);
    out.value = std::move(result);
    return out;
  }
  bool is_mutated() const { return kind == Kind::Mutated; }
};

}  // namespace veln
