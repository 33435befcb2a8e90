// Calls of module functions and of callable values: the call limit, the call
// price, argument binding (defaults evaluated at each call against a copy of
// the locals bound so far), the type checks of exported functions, the body
// and its result. Arguments are handed over as movable cells.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "interpreter/builtins.hpp"
#include "interpreter/vm_run.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

// The function named `name` ("unknown function '{}'").
VmResult<VmValue> call_named_function(VmRun& run, std::string_view name, std::span<VmValue> args,
                                      std::span<VmKeywordArg> kwargs);
// The module function at `index` (known to exist): the same call without the lookup.
VmResult<VmValue> call_function_at(VmRun& run, uint32_t index, std::span<VmValue> args,
                                   std::span<VmKeywordArg> kwargs);
// The builtin `id`; both lists are taken over.
VmResult<VmValue> call_builtin_at(VmRun& run, BuiltinId id, std::span<VmValue> args, std::span<VmKeywordArg> kwargs);
// A builtin or a function reference ("value of type {} is not callable").
VmResult<VmValue> call_callable_value(VmRun& run, VmValue callee, std::span<VmValue> args,
                                      std::span<VmKeywordArg> kwargs);

// How builtins (map, filter) call back into the running instance.
class RunValueCaller final : public VmValueCaller {
 public:
  explicit RunValueCaller(VmRun& run) : run_(run) {}
  VmResult<VmValue> call_callable_value(VmValue callee, VmArgList args, VmKwargList kwargs) override;

 private:
  VmRun& run_;
};

}  // namespace veln
