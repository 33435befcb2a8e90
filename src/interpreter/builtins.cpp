// The builtin table: one row per BuiltinId with the name, the accepted
// numbers of positional arguments, whether keyword arguments are taken, the
// message of every other call shape, and the implementation. The shape is
// checked here, before any argument is looked at.
#include "interpreter/builtins.hpp"

#include <algorithm>
#include <array>
#include <string>

#include "interpreter/builtin_call.hpp"
#include "interpreter/container_builtins.hpp"
#include "interpreter/numeric_builtins.hpp"
#include "interpreter/text_builtins.hpp"

namespace veln {
namespace {

constexpr uint8_t kAnyCount = 255;

enum class Keywords : uint8_t {
  Refused,   // any keyword argument fails with the arity message
  Accepted,  // dict
  Rejected,  // Exception: a message of its own
};

struct BuiltinEntry {
  BuiltinId id;
  std::string_view name;
  uint8_t min_args;
  uint8_t max_args;  // kAnyCount: no upper bound
  Keywords keywords;
  std::string_view shape_message;
  BuiltinFn run;
};

constexpr size_t kBuiltinCount = static_cast<size_t>(BuiltinId::count_);

using enum BuiltinId;
constexpr std::array<BuiltinEntry, kBuiltinCount> kBuiltins = {{
    {abs, "abs", 1, 1, Keywords::Refused, "abs() expects one argument", &builtin_abs},
    {all, "all", 1, 1, Keywords::Refused, "all() expects one positional argument", &builtin_all},
    {any, "any", 1, 1, Keywords::Refused, "any() expects one positional argument", &builtin_any},
    {ascii, "ascii", 1, 1, Keywords::Refused, "ascii() expects one argument", &builtin_ascii},
    {bin, "bin", 1, 1, Keywords::Refused, "bin() expects one argument", &builtin_bin},
    {bool_, "bool", 1, 1, Keywords::Refused, "bool() expects one argument", &builtin_bool},
    {bytearray, "bytearray", 0, 3, Keywords::Refused,
     "bytearray() expects between zero and three positional arguments", &builtin_bytearray},
    {bytes, "bytes", 0, 3, Keywords::Refused, "bytes() expects between zero and three positional arguments",
     &builtin_bytes},
    {chr, "chr", 1, 1, Keywords::Refused, "chr() expects one argument", &builtin_chr},
    {dict, "dict", 0, 1, Keywords::Accepted, "dict() accepts at most one positional argument", &builtin_dict},
    {divmod, "divmod", 2, 2, Keywords::Refused, "divmod() expects two arguments", &builtin_divmod},
    {filter, "filter", 2, 2, Keywords::Refused, "filter() expects two positional arguments", &builtin_filter},
    {float_, "float", 1, 1, Keywords::Refused, "float() expects one argument", &builtin_float},
    {format, "format", 1, 2, Keywords::Refused, "format() expects one or two positional arguments", &builtin_format},
    {frozenset, "frozenset", 0, 1, Keywords::Refused, "frozenset() expects at most one argument",
     &builtin_frozenset},
    {hex, "hex", 1, 1, Keywords::Refused, "hex() expects one argument", &builtin_hex},
    {int_, "int", 1, 2, Keywords::Refused, "int() expects one or two positional arguments", &builtin_int},
    {isinstance, "isinstance", 2, 2, Keywords::Refused, "isinstance() expects two positional arguments",
     &builtin_isinstance},
    {issubclass, "issubclass", 2, 2, Keywords::Refused, "issubclass() expects two positional arguments",
     &builtin_issubclass},
    {len, "len", 1, 1, Keywords::Refused, "len() expects one argument", &builtin_len},
    {list, "list", 0, 1, Keywords::Refused, "list() accepts at most one positional argument", &builtin_list},
    {map, "map", 2, kAnyCount, Keywords::Refused, "map() must have at least two arguments", &builtin_map},
    {max, "max", 1, kAnyCount, Keywords::Refused, "max() expects at least one positional argument", &builtin_max},
    {min, "min", 1, kAnyCount, Keywords::Refused, "min() expects at least one positional argument", &builtin_min},
    {oct, "oct", 1, 1, Keywords::Refused, "oct() expects one argument", &builtin_oct},
    {ord, "ord", 1, 1, Keywords::Refused, "ord() expects one argument", &builtin_ord},
    {pow, "pow", 2, 3, Keywords::Refused, "pow() expects two or three positional arguments", &builtin_pow},
    {range, "range", 1, 3, Keywords::Refused, "range() expects between one and three positional arguments",
     &builtin_range},
    {reversed, "reversed", 1, 1, Keywords::Refused, "reversed() expects one positional argument",
     &builtin_reversed},
    {round, "round", 1, 2, Keywords::Refused, "round() expects one or two positional arguments", &builtin_round},
    {set, "set", 0, 1, Keywords::Refused, "set() expects at most one argument", &builtin_set},
    {sorted, "sorted", 1, 1, Keywords::Refused, "sorted() expects one positional argument", &builtin_sorted},
    {str, "str", 1, 1, Keywords::Refused, "str() expects one argument", &builtin_str},
    {sum, "sum", 1, 2, Keywords::Refused, "sum() expects one or two positional arguments", &builtin_sum},
    {tuple, "tuple", 0, 1, Keywords::Refused, "tuple() accepts at most one positional argument", &builtin_tuple},
    {zip, "zip", 1, kAnyCount, Keywords::Refused, "zip() expects one or more positional arguments", &builtin_zip},
    {Exception, "Exception", 0, kAnyCount, Keywords::Rejected, "Exception() does not accept keyword arguments",
     &builtin_exception},
}};

constexpr bool rows_follow_ids() {
  for (size_t i = 0; i < kBuiltinCount; ++i) {
    if (static_cast<size_t>(kBuiltins[i].id) != i) return false;
  }
  return true;
}
static_assert(rows_follow_ids(), "one row per BuiltinId, in id order");

// Ids in byte order of their names, for the lookup by name.
constexpr std::array<BuiltinId, kBuiltinCount> kIdsByName = [] {
  std::array<BuiltinId, kBuiltinCount> ids{};
  for (size_t i = 0; i < kBuiltinCount; ++i) ids[i] = kBuiltins[i].id;
  std::sort(ids.begin(), ids.end(), [](BuiltinId a, BuiltinId b) {
    return kBuiltins[static_cast<size_t>(a)].name < kBuiltins[static_cast<size_t>(b)].name;
  });
  return ids;
}();

bool shape_accepted(const BuiltinEntry& entry, size_t positional, bool has_keywords) {
  if (has_keywords && entry.keywords != Keywords::Accepted) return false;
  return positional >= entry.min_args && (entry.max_args == kAnyCount || positional <= entry.max_args);
}

}  // namespace

std::optional<BuiltinId> builtin_id(std::string_view name) {
  auto it = std::lower_bound(kIdsByName.begin(), kIdsByName.end(), name, [](BuiltinId id, std::string_view n) {
    return kBuiltins[static_cast<size_t>(id)].name < n;
  });
  if (it == kIdsByName.end() || kBuiltins[static_cast<size_t>(*it)].name != name) return std::nullopt;
  return *it;
}

VmResult<VmValue> call_builtin(std::string_view name, std::span<VmValue> args, std::span<VmKeywordArg> kwargs,
                               VmValueCaller& caller) {
  const std::optional<BuiltinId> id = builtin_id(name);
  if (!id) return vm_error("unsupported builtin '" + std::string(name) + "'");
  return call_builtin(*id, args, kwargs, caller);
}

VmResult<VmValue> call_builtin(BuiltinId id, std::span<VmValue> args, std::span<VmKeywordArg> kwargs,
                               VmValueCaller& caller) {
  if (static_cast<size_t>(id) >= kBuiltinCount) return vm_error("unsupported builtin");
  const BuiltinEntry& entry = kBuiltins[static_cast<size_t>(id)];
  if (!shape_accepted(entry, args.size(), !kwargs.empty())) return vm_error(std::string(entry.shape_message));
  BuiltinCall call{args, kwargs, caller};
  return entry.run(call);
}

}  // namespace veln
