#include "interpreter/type_annotations.hpp"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <array>

#include "interpreter/type_error_text.hpp"
#include "interpreter_support/formatting.hpp"
#include "values/bounded_text.hpp"
#include "values/integer_text.hpp"

namespace veln {
namespace {

constexpr size_t kMaxAnnotationDepth = 256;

using Kind = TypeAnnotationKind;

// Which value kinds a name accepts, which of its args check the elements,
// and its expected-type text when it has no args (empty: "<class '{name}'>").
enum class Elements : uint8_t { None, Items, Entries };

struct NameRow {
  std::string_view name;
  Kind kind;
  uint32_t accepted;  // bit per VmKind
  Elements elements;
  std::string_view expected;
};

constexpr uint32_t bit(VmKind k) { return uint32_t{1} << static_cast<unsigned>(k); }
constexpr uint32_t kEveryKind = (uint32_t{1} << kVmKindCount) - 1;

constexpr std::array<NameRow, 13> kNames = {{
    {"Any", Kind::Any, kEveryKind, Elements::None, ""},
    {"int", Kind::Int, bit(VmKind::Int), Elements::None, "<class 'int'>"},
    {"float", Kind::Float, bit(VmKind::Int) | bit(VmKind::Float) | bit(VmKind::Decimal), Elements::None, ""},
    {"str", Kind::Str, bit(VmKind::String), Elements::None, ""},
    {"bool", Kind::Bool, bit(VmKind::Bool), Elements::None, ""},
    {"bytes", Kind::Bytes, bit(VmKind::Bytes), Elements::None, "<class 'bytes'>"},
    {"bytearray", Kind::ByteArray, bit(VmKind::ByteArray), Elements::None, "<class 'bytearray'>"},
    {"list", Kind::List, bit(VmKind::List), Elements::Items, ""},
    {"set", Kind::Set, bit(VmKind::Set), Elements::Items, "set"},
    {"frozenset", Kind::FrozenSet, bit(VmKind::FrozenSet), Elements::Items, "frozenset"},
    {"dict", Kind::Dict, bit(VmKind::Dict), Elements::Entries, ""},
    {"datetime.datetime", Kind::DateTime, bit(VmKind::DateTime), Elements::None, "datetime.datetime"},
    {"datetime.timedelta", Kind::TimeDelta, bit(VmKind::TimeDelta), Elements::None, "datetime.timedelta"},
}};

// The row of a supported kind: kNames is in TypeAnnotationKind order from Any.
const NameRow& row_of(Kind kind) { return kNames[static_cast<size_t>(kind) - static_cast<size_t>(Kind::Any)]; }

Kind resolve_name(std::string_view name) {
  for (const NameRow& row : kNames) {
    if (row.name == name) return row.kind;
  }
  return Kind::Unsupported;
}

Kind kind_of(const TypeAnnotation& annotation) {
  return annotation.kind == Kind::Unresolved ? resolve_name(annotation.name) : annotation.kind;
}

// The actual-type text of each value kind, in VmKind order.
constexpr std::array<std::string_view, kVmKindCount> kActualTypeTexts = {
    "NoneType", "bool",      "int",       "float",    "VondrelDecimal",  "Datetime",    "Timedelta",
    "str",      "bytes",     "bytearray", "set",      "frozenset",       "list",        "tuple",
    "dict",     "contract_handle", "storage_ref", "foreign_storage_ref", "event_ref", "builtin",
    "function_ref", "type_marker", "exception",
};

// --- text --------------------------------------------------------------

bool is_white_space(UChar32 c) { return c >= 0 && u_isUWhiteSpace(c); }

std::string_view trim(std::string_view text) {
  const auto* p = reinterpret_cast<const uint8_t*>(text.data());
  int32_t begin = 0;
  int32_t end = static_cast<int32_t>(text.size());
  while (begin < end) {
    int32_t next = begin;
    UChar32 c;
    U8_NEXT(p, next, end, c);
    if (!is_white_space(c)) break;
    begin = next;
  }
  while (end > begin) {
    int32_t prev = end;
    UChar32 c;
    U8_PREV(p, begin, prev, c);
    if (!is_white_space(c)) break;
    end = prev;
  }
  return text.substr(static_cast<size_t>(begin), static_cast<size_t>(end - begin));
}

std::optional<TypeAnnotation> parse_at(std::string_view text, size_t depth) {
  text = trim(text);
  if (text.empty()) return std::nullopt;
  const size_t open = text.find('[');
  if (open == std::string_view::npos) {
    if (text.find_first_of(",]") != std::string_view::npos) return std::nullopt;
    return TypeAnnotation{std::string(text), {}, resolve_name(text)};
  }
  const std::string_view name = trim(text.substr(0, open));
  if (name.empty() || depth >= kMaxAnnotationDepth) return std::nullopt;
  // The bracket that closes the first one must end the text.
  size_t count = 0;
  size_t close = std::string_view::npos;
  for (size_t i = open; i < text.size(); ++i) {
    if (text[i] == '[') {
      ++count;
    } else if (text[i] == ']' && --count == 0) {
      close = i;
      break;
    }
  }
  if (close != text.size() - 1) return std::nullopt;
  const std::string_view inner = text.substr(open + 1, close - open - 1);
  // Split at the commas outside inner brackets; the brackets within are
  // balanced, since the first one closed only at the end.
  TypeAnnotation out{std::string(name), {}, resolve_name(name)};
  size_t level = 0;
  size_t piece_start = 0;
  for (size_t i = 0; i <= inner.size(); ++i) {
    const char c = i < inner.size() ? inner[i] : ',';
    if (c == '[') {
      ++level;
    } else if (c == ']') {
      --level;
    } else if (c == ',' && level == 0) {
      std::optional<TypeAnnotation> arg = parse_at(inner.substr(piece_start, i - piece_start), depth + 1);
      if (!arg) return std::nullopt;
      out.args.push_back(std::move(*arg));
      piece_start = i + 1;
    }
  }
  return out;
}

void append_source(std::string& out, const TypeAnnotation& annotation) {
  out += annotation.name;
  if (annotation.args.empty()) return;
  out += '[';
  for (size_t i = 0; i < annotation.args.size(); ++i) {
    if (i > 0) out += ", ";
    append_source(out, annotation.args[i]);
  }
  out += ']';
}

std::string expected_text(const TypeAnnotation& annotation, Kind kind) {
  if (!annotation.args.empty()) return annotation.source();
  if (kind != Kind::Unsupported && !row_of(kind).expected.empty()) return std::string(row_of(kind).expected);
  return "<class '" + annotation.name + "'>";
}

VmExecutionError unsupported(const TypeAnnotation& annotation) {
  return vm_error("unsupported type annotation '" + annotation.source() + "'");
}

// --- checks --------------------------------------------------------------

// Where the checked value sits, as a chain back to the root label; the text
// is built only for a failure.
struct LabelPath {
  enum class Step : uint8_t { Root, Item, Key, Value };
  const LabelPath* parent;
  Step step;
  std::string_view root;
  size_t index = 0;
  const VmValue* key = nullptr;
};

// A key's display text can be far longer than the key, so the label is
// bounded as it is built.
void append_label(BoundedText& out, const LabelPath& path) {
  if (path.step == LabelPath::Step::Root) {
    out += path.root;
    return;
  }
  append_label(out, *path.parent);
  switch (path.step) {
    case LabelPath::Step::Item:
      out += '[';
      out.append_small(20, kVmIntTextSteps, [&](std::string& text) { append_integer_text(text, path.index); });
      out += ']';
      break;
    case LabelPath::Step::Key:
      out += " key";
      break;
    default:
      out += '[';
      if (path.key->is(VmKind::String)) {
        append_ascii_string_repr(out, path.key->text());
      } else {
        path.key->append_python_repr(out);
      }
      out += ']';
      break;
  }
}

VmExecutionError mismatch(const LabelPath& path, const TypeAnnotation& annotation, Kind kind, const VmValue& value) {
  VELN_TRY(std::string message, vm_bounded_text([&](BoundedText& out) {
    append_label(out, path);
    out += " must be ";
    out += expected_text(annotation, kind);
    out += ", got ";
    out += kActualTypeTexts[static_cast<size_t>(value.kind())];
    out += '!';
  }));
  return wrapped_type_error(message);
}

VmStatus check_at(const VmValue& value, const TypeAnnotation& annotation, const LabelPath& path) {
  const Kind kind = kind_of(annotation);
  if (kind == Kind::Unsupported) return unsupported(annotation);
  const NameRow& row = row_of(kind);
  if ((row.accepted & bit(value.kind())) == 0) return mismatch(path, annotation, kind, value);
  if (row.elements == Elements::Items && !annotation.args.empty()) {
    const auto items = value.items();
    for (size_t k = 0; k < items.size(); ++k) {
      VELN_CHECK(check_at(items[k], annotation.args[0], LabelPath{&path, LabelPath::Step::Item, {}, k}));
    }
  } else if (row.elements == Elements::Entries && annotation.args.size() >= 2) {
    for (const VmDictPair& pair : value.dict_pairs()) {
      VELN_CHECK(check_at(pair.key, annotation.args[0], LabelPath{&path, LabelPath::Step::Key, {}}));
      VELN_CHECK(
          check_at(pair.value, annotation.args[1], LabelPath{&path, LabelPath::Step::Value, {}, 0, &pair.key}));
    }
  }
  return Ok{};
}

}  // namespace

std::string TypeAnnotation::source() const {
  std::string out;
  append_source(out, *this);
  return out;
}

std::optional<TypeAnnotation> parse_type_annotation(std::string_view text) { return parse_at(text, 0); }

VmStatus check_typed_value(const VmValue& value, const TypeAnnotation& annotation, std::string_view label) {
  return check_at(value, annotation, LabelPath{nullptr, LabelPath::Step::Root, label});
}

VmExecutionError typecheck_error(std::string_view label, const TypeAnnotation& annotation, const VmValue& value) {
  return mismatch(LabelPath{nullptr, LabelPath::Step::Root, label}, annotation, kind_of(annotation), value);
}

VmStatus check_function_return(const std::optional<std::string>& returns, const VmValue& value) {
  if (!returns) return Ok{};
  return check_parsed_return(*returns, parse_type_annotation(*returns), value);
}

VmStatus check_parsed_return(std::string_view text, const std::optional<TypeAnnotation>& annotation,
                             const VmValue& value) {
  if (!annotation) return vm_error("unsupported type annotation '" + std::string(text) + "'");
  return check_typed_value(value, *annotation, "Return value");
}

}  // namespace veln
