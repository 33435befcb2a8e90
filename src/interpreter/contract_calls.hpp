// Cross-contract call requests: the checks of the positional
// "contract.call" form, the handles of "contract.import", and the request
// record carrying the calling context. Running the callee is the host's
// work; nothing here reaches the host.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "interpreter/vm_host.hpp"
#include "values/vm_execution_context.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

// The request for `function` of `target`: the caller is the calling
// contract (the context's `this`); signer, entry, submission name, time and
// chain fields are copied from the calling context; `call_depth` is the
// count of calls active in the caller.
VmContractCall contract_call_request(VmContractTarget target, std::string function, VmArgList args,
                                     VmKwargList kwargs, const VmExecutionContext& context, uint32_t call_depth);

// What "contract.call"(target, function[, kwargs dict]) asks for: a
// contract name or handle, a function name and an optional dict (or None)
// of keyword arguments; the callee gets no positional arguments.
struct ContractCallByName {
  VmContractTarget target;
  std::string function;
  VmKwargList kwargs;
};
VmResult<ContractCallByName> contract_call_by_name(const VmArgList& args, const VmKwargList& kwargs);

// "contract.import": a handle with origin "dynamic_import"; the module is
// not looked up.
VmResult<VmValue> contract_import_handle(const VmArgList& args, const VmKwargList& kwargs);

}  // namespace veln
