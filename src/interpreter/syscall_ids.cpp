// The served ids in enum order with their fixed charges; resolution is one
// name-index lookup, made once per call node.
#include "interpreter/syscall_ids.hpp"

#include <array>

#include "lib/name_index.hpp"

namespace veln {
namespace {

// Position i names VmSyscallId(i + 1).
constexpr auto kServedIds = make_name_index(
    "storage.variable.get", "storage.foreign_variable.get", "storage.variable.set", "storage.hash.all",
    "storage.foreign_hash.all", "storage.foreign_variable.new", "storage.foreign_hash.new", "event.log.emit",
    "event.indexed", "contract.call", "contract.export_call", "contract.import", "hash.sha256_hex",
    "hash.sha256_text", "hash.sha3_256_hex", "hash.sha3_256_text", "time.datetime.new", "time.timedelta.new",
    "time.datetime.strptime", "crypto.key_is_valid", "crypto.ed25519_verify", "numeric.decimal.new",
    "random.shuffle");
static_assert(kServedIds.size() == kServedSyscallCount);
static_assert(static_cast<std::size_t>(VmSyscallId::kRandomShuffle) == kServedSyscallCount);

// 0: no charge call at all (not a charge of 0). Indexed by VmSyscallId.
constexpr std::array<std::uint64_t, kServedSyscallCount + 1> kCharges = {
    0,                   // host
    kStorageReadCharge,  // storage.variable.get
    kStorageReadCharge,  // storage.foreign_variable.get
    kStorageWriteCharge, // storage.variable.set
    kHashListingCharge,  // storage.hash.all
    kHashListingCharge,  // storage.foreign_hash.all
    0, 0,                // storage.foreign_variable.new, storage.foreign_hash.new
    kEventEmitCharge,    // event.log.emit
};

}  // namespace

VmSyscallRoute resolve_syscall_id(std::string_view id) {
  const std::size_t served = kServedIds.find(id);
  if (served != decltype(kServedIds)::kNotFound) return VmSyscallRoute{static_cast<VmSyscallId>(served + 1), std::nullopt};
  return VmSyscallRoute{VmSyscallId::kHost, zk_call_from_id(id)};
}

std::optional<std::uint64_t> syscall_fixed_charge(VmSyscallId id) {
  const std::uint64_t charge = kCharges[static_cast<std::size_t>(id)];
  if (charge == 0) return std::nullopt;
  return charge;
}

}  // namespace veln
