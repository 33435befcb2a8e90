// Foreign storage references: construction checks, the two read methods and
// subscript reads, each charged first and then charged again for the value
// the host returned.
#include "interpreter/foreign_storage.hpp"

#include <array>
#include <string>

#include "interpreter/syscall_ids.hpp"
#include "interpreter_support/storage_keys.hpp"

namespace veln::foreign_storage {
namespace {

// The constructor's parameters in positional order; only the last two feed
// the reference.
constexpr std::array<std::string_view, 4> kParameters = {"contract", "name", "foreign_contract", "foreign_name"};
constexpr std::size_t kForeignContract = 2;
constexpr std::size_t kForeignName = 3;

enum class Method : uint8_t { kAll, kGet, kWrite, kOther };

Method method_kind(std::string_view name) {
  static constexpr std::array<std::string_view, 8> kWrites = {"set",    "pop",    "clear",      "append",
                                                               "extend", "update", "clone_from", "setdefault"};
  if (name == "all") return Method::kAll;
  if (name == "get") return Method::kGet;
  for (std::string_view w : kWrites) {
    if (name == w) return Method::kWrite;
  }
  return Method::kOther;
}

bool is_identifier(std::string_view text) {
  const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
  if (text.empty() || !letter(text.front())) return false;
  for (char c : text.substr(1)) {
    if (!letter(c) && !(c >= '0' && c <= '9')) return false;
  }
  return true;
}

VmResult<std::string> identifier_argument(const VmValue* value, std::string_view kind_name,
                                          std::string_view parameter) {
  if (value == nullptr) return vm_error(std::string(kind_name) + "() requires " + std::string(parameter));
  VELN_TRY(std::string_view text, string_arg(*value));
  if (!is_identifier(text)) return vm_error("invalid " + std::string(parameter) + " identifier");
  return std::string(text);
}

VmResult<VmValue> list_hash_values(const VmForeignStorageRef& ref, const VmArgList& prefix_values, VmHost& host) {
  VELN_CHECK(host.charge_execution_cost(kHashListingCharge));
  VELN_TRY(std::string prefix, normalize_hash_prefix(prefix_values));
  VELN_TRY(std::vector<VmHashEntry> rows, host.scan_hash_entries_metered(ref.contract, ref.binding, prefix));
  std::vector<VmValue> values;
  values.reserve(rows.size());
  for (VmHashEntry& row : rows) {
    if (!row.value.is(VmKind::None)) values.push_back(std::move(row.value));
  }
  return VmValue::make_list(std::move(values));
}

VmResult<VmValue> read_variable_value(const VmForeignStorageRef& ref, VmHost& host) {
  VELN_CHECK(host.charge_execution_cost(kStorageReadCharge));
  const std::string key = variable_storage_key(ref.contract, ref.binding);
  VELN_TRY(std::optional<VmValue> stored, host.read_variable(ref.contract, ref.binding));
  VmValue value = stored ? std::move(*stored) : VmValue::none();
  VELN_CHECK(host.charge_storage_read(key, value));
  return value;
}

}  // namespace

VmResult<VmValue> new_reference(std::string_view kind_name, VmArgList args, VmKwargList kwargs) {
  if (args.size() > kParameters.size()) {
    return vm_error(std::string(kind_name) + "() expects at most four positional arguments");
  }
  std::array<const VmValue*, kParameters.size()> bound{};
  for (std::size_t i = 0; i < args.size(); ++i) bound[i] = &args[i];
  for (const VmKeywordArg& kw : kwargs) {
    std::size_t slot = 0;
    while (slot < kParameters.size() && kParameters[slot] != kw.name) ++slot;
    if (slot == kParameters.size() || bound[slot] != nullptr) {
      return vm_error_quoting_text("invalid or duplicate " + std::string(kind_name) + "() argument '", kw.name, "'");
    }
    bound[slot] = &kw.value;
  }
  VELN_TRY(std::string contract, identifier_argument(bound[kForeignContract], kind_name, kParameters[kForeignContract]));
  VELN_TRY(std::string binding, identifier_argument(bound[kForeignName], kind_name, kParameters[kForeignName]));
  return VmValue::make_foreign_storage_ref(
      VmForeignStorageRef{std::move(contract), std::move(binding), kind_name == kForeignHash});
}

VmResult<VmValue> call_method(const VmValue& reference, std::string_view method, VmArgList args, VmKwargList kwargs,
                              VmHost& host) {
  if (!kwargs.empty()) return vm_error("foreign storage reads do not accept keyword arguments");
  const VmForeignStorageRef& ref = reference.foreign_storage_ref_value();
  const Method kind = method_kind(method);
  if (kind == Method::kWrite) return vm_error("cannot write to foreign storage");
  if (ref.is_hash && kind == Method::kAll) return list_hash_values(ref, args, host);
  if (!ref.is_hash && kind == Method::kGet && args.empty()) return read_variable_value(ref, host);
  return vm_error("unsupported foreign storage method '" + std::string(method) + "'");
}

VmResult<VmValue> read_hash(const VmValue& reference, const VmValue& key, VmHost& host) {
  const VmForeignStorageRef& ref = reference.foreign_storage_ref_value();
  if (!ref.is_hash) return vm_error("ForeignVariable is not subscriptable");
  VELN_CHECK(host.charge_execution_cost(kStorageReadCharge));
  VELN_TRY(std::string entry_key, hash_storage_key(ref.contract, ref.binding, key));
  VELN_TRY(std::optional<VmValue> stored, host.read_hash(ref.contract, ref.binding, key));
  VmValue value = stored ? std::move(*stored) : VmValue::none();
  VELN_CHECK(host.charge_storage_read(entry_key, value));
  return value;
}

}  // namespace veln::foreign_storage
