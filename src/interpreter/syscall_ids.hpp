// The system-call ids the interpreter serves itself, resolved from the id
// text once (when a call node is lowered), and the fixed charge each one
// makes before anything else. Every other id goes to the host; for those
// the zk price class is resolved here too, so no id text is compared when a
// call runs. This file only names and prices ids; it runs none of them.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "interpreter_support/syscall_costs.hpp"

namespace veln {

enum class VmSyscallId : std::uint8_t {
  kHost,  // any id not served by the interpreter
  kStorageVariableGet,
  kStorageForeignVariableGet,
  kStorageVariableSet,
  kStorageHashAll,
  kStorageForeignHashAll,
  kStorageForeignVariableNew,
  kStorageForeignHashNew,
  kEventLogEmit,
  kEventIndexed,
  kContractCall,
  kContractExportCall,
  kContractImport,
  kHashSha256Hex,
  kHashSha256Text,
  kHashSha3256Hex,
  kHashSha3256Text,
  kTimeDatetimeNew,
  kTimeTimedeltaNew,
  kTimeDatetimeStrptime,
  kCryptoKeyIsValid,
  kCryptoEd25519Verify,
  kNumericDecimalNew,
  kRandomShuffle,
};
inline constexpr std::size_t kServedSyscallCount = 23;

// Fixed charges shared by the system calls and the foreign reference reads.
inline constexpr std::uint64_t kStorageReadCharge = 1280;
inline constexpr std::uint64_t kStorageWriteCharge = 5120;
inline constexpr std::uint64_t kHashListingCharge = 4096;
inline constexpr std::uint64_t kEventEmitCharge = 8000;

// What a call node's "syscall_id" text resolves to.
struct VmSyscallRoute {
  VmSyscallId id = VmSyscallId::kHost;
  // For host ids only: the zk call whose explicit metering amount is charged
  // before the host is asked.
  std::optional<ZkCall> zk;
};

// Exact, case-sensitive match of the whole text; anything else is kHost.
VmSyscallRoute resolve_syscall_id(std::string_view id);

// The charge made first by a served id, or nothing for ids without one.
std::optional<std::uint64_t> syscall_fixed_charge(VmSyscallId id);

}  // namespace veln
