// Contract call requests and the argument checks of "contract.call" and
// "contract.import".
#include "interpreter/contract_calls.hpp"

#include <utility>

namespace veln {
namespace {

constexpr std::string_view kContractCallShape = "contract.call expects target, function, and optional kwargs dict";

VmResult<VmContractTarget> contract_call_target(const VmValue& target) {
  if (target.is(VmKind::String)) return VmContractTarget{VmDynamicImportTarget{std::string(target.text())}};
  if (target.is(VmKind::ContractHandle)) {
    return VmContractTarget{VmDynamicImportTarget{target.contract_handle_value().module}};
  }
  return vm_error("contract.call target must be a contract name or handle, got " + std::string(target.type_name()));
}

VmResult<VmKwargList> contract_call_kwargs(const VmValue& kwargs) {
  VmKwargList out;
  if (kwargs.is(VmKind::None)) return out;
  if (!kwargs.is(VmKind::Dict)) {
    return vm_error("contract.call kwargs must be a dict, got " + std::string(kwargs.type_name()));
  }
  out.reserve(kwargs.dict_size());
  for (const VmDictPair& pair : kwargs.dict_pairs()) {
    VELN_TRY(std::string_view name, string_arg(pair.key));
    out.push_back(VmKeywordArg{std::string(name), pair.value});
  }
  return out;
}

}  // namespace

VmContractCall contract_call_request(VmContractTarget target, std::string function, VmArgList args,
                                     VmKwargList kwargs, const VmExecutionContext& context, uint32_t call_depth) {
  return VmContractCall{std::move(target),     std::move(function), std::move(args),   std::move(kwargs),
                        context.this_contract, context.signer,      context.entry,     context.submission_name,
                        context.now,           context.block_num,   context.block_hash, context.chain_id,
                        call_depth};
}

VmResult<ContractCallByName> contract_call_by_name(const VmArgList& args, const VmKwargList& kwargs) {
  if (!kwargs.empty() || args.size() > 3) return vm_error(std::string(kContractCallShape));
  if (args.empty()) return vm_error("contract.call expects a target");
  VELN_TRY(VmContractTarget target, contract_call_target(args[0]));
  if (args.size() == 1) return vm_error("contract.call expects a function");
  VELN_TRY(std::string_view function, string_arg(args[1]));
  VmKwargList call_kwargs;
  if (args.size() == 3) {
    VELN_TRY(call_kwargs, contract_call_kwargs(args[2]));
  }
  return ContractCallByName{std::move(target), std::string(function), std::move(call_kwargs)};
}

VmResult<VmValue> contract_import_handle(const VmArgList& args, const VmKwargList& kwargs) {
  VELN_TRY(std::string module, resolve_contract_import_arg(args, kwargs));
  return VmValue::make_contract_handle(VmContractHandle{std::move(module), "dynamic_import"});
}

}  // namespace veln
