// One table of the served ids with their fixed charges; resolution is a
// scan of it, made once per call node.
#include "interpreter/syscall_ids.hpp"

#include <array>

namespace veln {
namespace {

inline constexpr std::uint64_t kNoCharge = 0;  // "no charge call at all", not a charge of 0

struct ServedSyscall {
  std::string_view text;
  VmSyscallId id;
  std::uint64_t charge;
};

constexpr std::array<ServedSyscall, kServedSyscallCount> kServed = {{
    {"storage.variable.get", VmSyscallId::kStorageVariableGet, kStorageReadCharge},
    {"storage.foreign_variable.get", VmSyscallId::kStorageForeignVariableGet, kStorageReadCharge},
    {"storage.variable.set", VmSyscallId::kStorageVariableSet, kStorageWriteCharge},
    {"storage.hash.all", VmSyscallId::kStorageHashAll, kHashListingCharge},
    {"storage.foreign_hash.all", VmSyscallId::kStorageForeignHashAll, kHashListingCharge},
    {"storage.foreign_variable.new", VmSyscallId::kStorageForeignVariableNew, kNoCharge},
    {"storage.foreign_hash.new", VmSyscallId::kStorageForeignHashNew, kNoCharge},
    {"event.log.emit", VmSyscallId::kEventLogEmit, kEventEmitCharge},
    {"event.indexed", VmSyscallId::kEventIndexed, kNoCharge},
    {"contract.call", VmSyscallId::kContractCall, kNoCharge},
    {"contract.export_call", VmSyscallId::kContractExportCall, kNoCharge},
    {"contract.import", VmSyscallId::kContractImport, kNoCharge},
    {"hash.sha256_hex", VmSyscallId::kHashSha256Hex, kNoCharge},
    {"hash.sha256_text", VmSyscallId::kHashSha256Text, kNoCharge},
    {"hash.sha3_256_hex", VmSyscallId::kHashSha3256Hex, kNoCharge},
    {"hash.sha3_256_text", VmSyscallId::kHashSha3256Text, kNoCharge},
    {"time.datetime.new", VmSyscallId::kTimeDatetimeNew, kNoCharge},
    {"time.timedelta.new", VmSyscallId::kTimeTimedeltaNew, kNoCharge},
    {"time.datetime.strptime", VmSyscallId::kTimeDatetimeStrptime, kNoCharge},
    {"crypto.key_is_valid", VmSyscallId::kCryptoKeyIsValid, kNoCharge},
    {"crypto.ed25519_verify", VmSyscallId::kCryptoEd25519Verify, kNoCharge},
    {"numeric.decimal.new", VmSyscallId::kNumericDecimalNew, kNoCharge},
    {"random.shuffle", VmSyscallId::kRandomShuffle, kNoCharge},
}};

// Charges indexed by id (kHost has none).
constexpr std::array<std::uint64_t, kServedSyscallCount + 1> charge_table() {
  std::array<std::uint64_t, kServedSyscallCount + 1> charges{};
  for (const ServedSyscall& s : kServed) charges[static_cast<std::size_t>(s.id)] = s.charge;
  return charges;
}
constexpr std::array<std::uint64_t, kServedSyscallCount + 1> kCharges = charge_table();

}  // namespace

VmSyscallRoute resolve_syscall_id(std::string_view id) {
  for (const ServedSyscall& s : kServed) {
    if (s.text == id) return VmSyscallRoute{s.id, std::nullopt};
  }
  return VmSyscallRoute{VmSyscallId::kHost, zk_call_from_id(id)};
}

std::optional<std::uint64_t> syscall_fixed_charge(VmSyscallId id) {
  const std::uint64_t charge = kCharges[static_cast<std::size_t>(id)];
  if (charge == kNoCharge) return std::nullopt;
  return charge;
}

}  // namespace veln
