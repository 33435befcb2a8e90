// VmInstance: one contract module loaded for execution. Built once per
// contract per run from a parsed ModuleIr (validation, declarations, module
// body), then asked to run functions under its current context. Holds no
// reference to the host between calls.
// The public surface below is what the host bridge uses; everything else is
// the interpreter's own.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "interpreter/storage_snapshot.hpp"
#include "interpreter/vm_host.hpp"
#include "lib/module_ir.hpp"
#include "values/vm_execution_context.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

class VmInstanceState;  // the interpreter's private state (vm_instance_state.hpp)

class VmInstance {
 public:
  // Validates the module, declares its imports, globals and storage, and runs
  // the module body, charging `host` for every expression and statement.
  static VmResult<VmInstance> new_with_host(ModuleIr module, VmExecutionContext context, VmHost& host);
  // The same with a module that other instances of the run share (it is only
  // read), so that no instance needs its own copy of the module, built while
  // `active_calls` calls are active (a contract met during a cross-contract
  // call). The build itself counts as one more active call while it runs,
  // so calls made by its declarations and module body continue that count;
  // a build that would be the 257th active call fails before any
  // declaration is evaluated.
  static VmResult<VmInstance> new_with_host(std::shared_ptr<const ModuleIr> module, VmExecutionContext context,
                                            VmHost& host, uint32_t active_calls = 0);

  VmInstance(VmInstance&&) noexcept;
  VmInstance& operator=(VmInstance&&) noexcept;
  ~VmInstance();

  // Runs one function of this module under the current context (with the
  // call trace when VELN_VM_TRACE_CALLS is set). Does not check visibility.
  VmResult<VmValue> call_function(VmHost& host, std::string_view function, VmArgList args, VmKwargList kwargs);
  // The same for a call made from another contract: `active_calls` is the
  // calling side's count of active calls (VmContractCall::call_depth), so the
  // call limit holds across contracts.
  VmResult<VmValue> call_function(VmHost& host, std::string_view function, VmArgList args, VmKwargList kwargs,
                                  uint32_t active_calls);
  // Reads the trace switches from the environment again; the running call
  // of this instance uses them from its next statement or call on. The
  // interpreter itself does this after every host operation that may run
  // Python code.
  void refresh_trace_flags();

  const std::string& module_name() const;
  const ModuleIr& module() const;
  const VmExecutionContext& context() const;
  // The bridge swaps the context for each call and restores it afterwards.
  void set_context(VmExecutionContext context);

  VmModuleStorageSnapshot storage_snapshot() const;
  // Copies of locally held storage values; never consult defaults or the host.
  std::optional<VmValue> peek_variable_value(std::string_view name) const;
  VmResult<std::optional<VmValue>> peek_hash_entry(std::string_view name, const VmValue& key) const;

  VmInstanceState& state() { return *state_; }

 private:
  explicit VmInstance(std::unique_ptr<VmInstanceState> state);
  std::unique_ptr<VmInstanceState> state_;
};

}  // namespace veln
