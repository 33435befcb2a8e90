// The out-of-line work of expression and statement instructions: building
// containers and texts, subscript and slice reads, the messages of raise and
// assert, and the iteration state of loops and comprehension levels. Each
// takes evaluated values; none of them charges anything.
#pragma once

#include <cstdint>

#include "interpreter/vm_run.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

// A list or tuple of the `n` values at `items` (moved out).
VmResult<VmValue> build_sequence(VmKind kind, VmValue* items, uint32_t n);
// Appends the pairs of `mapping` to `dict` ("dict unpacking requires a dict value").
VmStatus dict_unpack_into(VmValue& dict, const VmValue& mapping);
// The str of the display texts of the `n` values at `parts`.
VmResult<VmValue> fstring_value(const VmValue* parts, uint32_t n);
VmResult<VmValue> display_text_value(const VmValue& value);
// container[index], through the host for a foreign storage reference.
VmResult<VmValue> read_subscript(VmRun& run, VmValue container, const VmValue& index);
// A slice bound as an int value ("expected int-compatible value, got {}").
VmResult<VmValue> slice_bound_value(const VmValue& bound);
// container[lower:upper:step]; `bounds` holds the present ones in that order.
VmResult<VmValue> slice_subscript(VmValue container, const VmValue* bounds, uint8_t present);
VmExecutionError raise_error(const VmValue& exception);
VmExecutionError assertion_error(const VmValue& message);

// Iteration: `state` is two cells (the iterated value and a position). The
// items are those iterate_value yields, drawn one at a time from the value
// as it was when the loop started.
VmStatus iteration_start(VmValue iterable, VmValue* state);
bool iteration_next(VmValue* state, VmValue& item);

}  // namespace veln
