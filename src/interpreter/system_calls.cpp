// System calls: call nodes carrying a "syscall_id". Ids the interpreter
// serves itself are dispatched here; every other id goes to the host after
// its explicit metering amount, if it has one, is charged.
// Placeholder for the served ids: each refuses with a plain message.
#include <string>

#include "interpreter/vm_instance_state.hpp"
#include "interpreter/vm_run.hpp"
#include "interpreter_support/syscall_costs.hpp"
#include "lib/name_index.hpp"

namespace veln {
namespace {

constexpr auto kServedIds = make_name_index(
    "storage.variable.get", "storage.foreign_variable.get", "storage.variable.set", "storage.hash.all",
    "storage.foreign_hash.all", "storage.foreign_variable.new", "storage.foreign_hash.new", "event.log.emit",
    "event.indexed", "contract.call", "contract.export_call", "contract.import", "hash.sha256_hex",
    "hash.sha256_text", "hash.sha3_256_hex", "hash.sha3_256_text", "time.datetime.new", "time.timedelta.new",
    "time.datetime.strptime", "crypto.key_is_valid", "crypto.ed25519_verify", "numeric.decimal.new",
    "random.shuffle");

}  // namespace

VmResult<VmValue> VmInstanceState::eval_syscall(VmRun& run, const LoweredCode& code, const CallSite& site,
                                                VmArgList args, VmKwargList kwargs, Slot*, VmValue*) {
  const std::string& id = code.texts[site.syscall_id];
  if (kServedIds.contains(id)) return vm_error("unsupported system call '" + id + "'");
  VELN_TRY(std::optional<uint64_t> amount, explicit_syscall_metering_cost(id, args, kwargs));
  if (amount && !run.charge(*amount)) return std::move(run.error);
  return run.host.handle_syscall(id, std::move(args), std::move(kwargs));
}

}  // namespace veln
