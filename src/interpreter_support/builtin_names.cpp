#include "interpreter_support/builtin_names.hpp"

#include <algorithm>
#include <array>
#include <functional>
#include <utility>

namespace veln {
namespace {

enum class NameClass : uint8_t { Builtin, TypeMarker };

struct NameEntry {
  std::string_view name;
  NameClass cls;
};

// Sorted by name (byte order) for binary search.
constexpr auto kBuiltinNames = [] {
  std::array<NameEntry, 39> names = {{
      {"Any", NameClass::TypeMarker},     {"Exception", NameClass::Builtin}, {"abs", NameClass::Builtin},
      {"all", NameClass::Builtin},        {"any", NameClass::Builtin},       {"ascii", NameClass::Builtin},
      {"bin", NameClass::Builtin},        {"bool", NameClass::Builtin},      {"bytearray", NameClass::Builtin},
      {"bytes", NameClass::Builtin},      {"chr", NameClass::Builtin},       {"decimal", NameClass::TypeMarker},
      {"dict", NameClass::Builtin},       {"divmod", NameClass::Builtin},    {"filter", NameClass::Builtin},
      {"float", NameClass::Builtin},      {"format", NameClass::Builtin},    {"frozenset", NameClass::Builtin},
      {"hex", NameClass::Builtin},        {"int", NameClass::Builtin},       {"isinstance", NameClass::Builtin},
      {"issubclass", NameClass::Builtin}, {"len", NameClass::Builtin},       {"list", NameClass::Builtin},
      {"map", NameClass::Builtin},        {"max", NameClass::Builtin},       {"min", NameClass::Builtin},
      {"oct", NameClass::Builtin},        {"ord", NameClass::Builtin},       {"pow", NameClass::Builtin},
      {"range", NameClass::Builtin},      {"reversed", NameClass::Builtin},  {"round", NameClass::Builtin},
      {"set", NameClass::Builtin},        {"sorted", NameClass::Builtin},    {"str", NameClass::Builtin},
      {"sum", NameClass::Builtin},        {"tuple", NameClass::Builtin},     {"zip", NameClass::Builtin},
  }};
  return names;
}();
static_assert(std::is_sorted(kBuiltinNames.begin(), kBuiltinNames.end(),
                             [](const NameEntry& a, const NameEntry& b) { return a.name < b.name; }));

struct TypeNameEntry {
  std::string_view name;
  VmKind kind;
};

// Type names that match exactly one kind ("Any" is handled apart).
constexpr std::array<TypeNameEntry, 14> kTypeNames = {{
    {"int", VmKind::Int},
    {"bool", VmKind::Bool},
    {"float", VmKind::Float},
    {"decimal", VmKind::Decimal},
    {"str", VmKind::String},
    {"bytes", VmKind::Bytes},
    {"bytearray", VmKind::ByteArray},
    {"list", VmKind::List},
    {"tuple", VmKind::Tuple},
    {"dict", VmKind::Dict},
    {"set", VmKind::Set},
    {"frozenset", VmKind::FrozenSet},
    {"datetime.datetime", VmKind::DateTime},
    {"datetime.timedelta", VmKind::TimeDelta},
}};

constexpr std::array<std::string_view, 11> kCoercibleBuiltins = {
    "str", "int", "set", "bool", "list", "dict", "float", "bytes", "tuple", "bytearray", "frozenset"};

bool names_a_class(const VmValue& v) { return v.is(VmKind::Builtin) || v.is(VmKind::TypeMarker); }

VmStatus collect_type_names(const VmValue& cls, std::vector<std::string>& out) {
  if (names_a_class(cls)) {
    out.emplace_back(cls.text());
    return Ok{};
  }
  if (cls.is(VmKind::Tuple)) {
    for (const VmValue& member : cls.items()) VELN_CHECK(collect_type_names(member, out));
    return Ok{};
  }
  return vm_error("issubclass() arg 1 must be a class or tuple of classes, got " + std::string(cls.type_name()));
}

}  // namespace

std::optional<VmValue> builtin_name_value(std::string_view name) {
  auto it = std::lower_bound(kBuiltinNames.begin(), kBuiltinNames.end(), name,
                             [](const NameEntry& e, std::string_view n) { return e.name < n; });
  if (it == kBuiltinNames.end() || it->name != name) return std::nullopt;
  return it->cls == NameClass::Builtin ? VmValue::builtin(name) : VmValue::type_marker(name);
}

bool type_matches_name(const VmValue& value, std::string_view type_name) {
  if (type_name == "Any") return true;
  for (const auto& entry : kTypeNames) {
    if (entry.name == type_name) return value.kind() == entry.kind;
  }
  return false;
}

bool type_matches(const VmValue& value, const VmValue& cls) {
  if (names_a_class(cls)) return type_matches_name(value, cls.text());
  if (cls.is(VmKind::Tuple)) {
    for (const VmValue& member : cls.items()) {
      if (type_matches(value, member)) return true;
    }
  }
  return false;
}

VmResult<std::vector<std::string>> type_marker_names(const VmValue& cls) {
  std::vector<std::string> names;
  VELN_CHECK(collect_type_names(cls, names));
  return names;
}

VmResult<bool> issubclass_matches(const VmValue& cls, const VmValue& classes) {
  VELN_TRY(std::vector<std::string> left, type_marker_names(cls));
  VELN_TRY(std::vector<std::string> right, type_marker_names(classes));
  // Tuples of names can be long: one search per name of cls, not a scan.
  std::sort(right.begin(), right.end());
  const auto named = [&right](std::string_view name) {
    return std::binary_search(right.begin(), right.end(), name, std::less<>());
  };
  if (left.empty()) return false;
  if (named("Any")) return true;
  for (const std::string& l : left) {
    if (named(l) || (l == "bool" && named("int"))) return true;
  }
  return false;
}

VmValue coerce_type_marker(VmValue value) {
  if (!value.is(VmKind::Builtin)) return value;
  const std::string_view name = value.text();
  if (std::find(kCoercibleBuiltins.begin(), kCoercibleBuiltins.end(), name) == kCoercibleBuiltins.end()) {
    return value;
  }
  return VmValue::type_marker(name);
}

}  // namespace veln
