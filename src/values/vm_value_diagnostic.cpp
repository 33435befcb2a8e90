// The diagnostic (field-by-field) form of values, shown to callers when a
// value cannot cross to Python. Texts are quoted with escapes for invisible and
// combining characters, decided by ICU's character data, never by the C library.
#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include "values/bounded_text.hpp"
#include "values/float_text.hpp"
#include "values/hex_digits.hpp"
#include "values/integer_text.hpp"
#include "values/vm_datetime.hpp"
#include "values/vm_decimal.hpp"
#include "values/vm_timedelta.hpp"
#include "values/quoted_text.hpp"
#include "values/vm_value.hpp"

namespace veln {

namespace {

constexpr std::string_view kKindNames[kVmKindCount] = {
    "None",     "Bool",      "Int",       "Float",    "Decimal",        "DateTime",
    "TimeDelta", "String",   "Bytes",     "ByteArray", "Set",           "FrozenSet",
    "List",     "Tuple",     "Dict",      "ContractHandle", "StorageRef", "ForeignStorageRef",
    "EventRef", "Builtin",   "FunctionRef", "TypeMarker", "Exception",
};

bool needs_unicode_escape(UChar32 c) {
  if (c == ' ') return false;
  switch (u_charType(c)) {
    case U_CONTROL_CHAR:
    case U_FORMAT_CHAR:
    case U_SURROGATE:
    case U_PRIVATE_USE_CHAR:
    case U_UNASSIGNED:
    case U_LINE_SEPARATOR:
    case U_PARAGRAPH_SEPARATOR:
    case U_SPACE_SEPARATOR:
      return true;
    default:
      return u_hasBinaryProperty(c, UCHAR_GRAPHEME_EXTEND) != 0;
  }
}

void append_hex_escape(BoundedText& out, uint32_t c) {
  std::string escape = "\\u{";
  append_hex_minimal(escape, c);
  escape += '}';
  out.append(escape);
}

// Upper bounds of the small pieces' texts.
constexpr size_t kNumberText = 32;    // an int64, a float
constexpr size_t kRecordText = 160;   // a decimal, a date-time, a time delta and their field forms

}  // namespace

void append_quoted_text(std::string& out, std::string_view s) {
  BoundedText text(out, BoundedText::kUnbounded);
  append_quoted_text(text, s);
}

void append_quoted_text(BoundedText& out, std::string_view s) {
  out += '"';
  const auto* p = reinterpret_cast<const uint8_t*>(s.data());
  const int32_t n = static_cast<int32_t>(s.size());
  int32_t i = 0;
  while (i < n && !out.overflowed()) {
    const int32_t start = i;
    UChar32 c;
    U8_NEXT(p, i, n, c);
    switch (c) {
      case '"':
        out += "\\\"";
        continue;
      case '\\':
        out += "\\\\";
        continue;
      case '\t':
        out += "\\t";
        continue;
      case '\r':
        out += "\\r";
        continue;
      case '\n':
        out += "\\n";
        continue;
      case 0:
        out += "\\0";
        continue;
      default:
        break;
    }
    if (c < 0) {
      // Not UTF-8: the replacement character stands for the bad bytes.
      out += "\xEF\xBF\xBD";
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else if (needs_unicode_escape(c)) {
      append_hex_escape(out, static_cast<uint32_t>(c));
    } else {
      out.append(std::string_view(s.data() + start, static_cast<size_t>(i - start)));
    }
  }
  out += '"';
}

namespace {

void append_diag_items(BoundedText& out, std::span<const VmValue> items) {
  out += '[';
  bool first = true;
  for (const auto& v : items) {
    if (!out.count(1)) return;
    if (!first) out += ", ";
    first = false;
    v.append_diagnostic_text(out);
  }
  out += ']';
}

}  // namespace

std::string VmValue::diagnostic_text() const {
  std::string out;
  append_diagnostic_text(out);
  return out;
}

void VmValue::append_diagnostic_text(std::string& out) const {
  BoundedText text(out, BoundedText::kUnbounded);
  append_diagnostic_text(text);
}

VmResult<std::string> VmValue::bounded_diagnostic_text() const {
  return vm_bounded_text([this](BoundedText& out) { append_diagnostic_text(out); });
}

void VmValue::append_diagnostic_text(BoundedText& out) const {
  if (out.overflowed()) return;
  out += kKindNames[static_cast<size_t>(kind_)];
  if (kind_ == VmKind::None) return;
  out += '(';
  switch (kind_) {
    case VmKind::None:
      break;
    case VmKind::Bool:
      out += u_.b ? "true" : "false";
      break;
    case VmKind::Int:
      append_python_repr(out);
      break;
    case VmKind::Float:
      out.append_small(kNumberText, kVmNumberTextSteps,
                       [this](std::string& piece) { append_float_display_text(piece, u_.f); });
      break;
    case VmKind::Decimal:
      out.append_small(kRecordText, kVmNumberTextSteps,
                       [this](std::string& piece) { decimal_value().append_diagnostic(piece); });
      break;
    case VmKind::DateTime:
      out.append_small(kRecordText, kVmNumberTextSteps,
                       [this](std::string& piece) { datetime_value().append_diagnostic(piece); });
      break;
    case VmKind::TimeDelta:
      out.append_small(kRecordText, kVmNumberTextSteps,
                       [this](std::string& piece) { timedelta_value().append_diagnostic(piece); });
      break;
    case VmKind::String:
    case VmKind::Builtin:
    case VmKind::FunctionRef:
    case VmKind::TypeMarker:
      append_quoted_text(out, text());
      break;
    case VmKind::Bytes:
    case VmKind::ByteArray: {
      out += '[';
      bool first = true;
      for (unsigned char c : text()) {
        if (out.overflowed()) return;
        if (!first) out += ", ";
        first = false;
        char digits[3];
        const size_t n = c >= 100 ? 3 : c >= 10 ? 2 : 1;
        for (size_t k = n; k-- > 0; c /= 10) digits[k] = static_cast<char>('0' + c % 10);
        out.append(std::string_view(digits, n));
      }
      out += ']';
      break;
    }
    case VmKind::Set:
    case VmKind::FrozenSet:
    case VmKind::List:
    case VmKind::Tuple:
      append_diag_items(out, items());
      break;
    case VmKind::Dict: {
      out += '[';
      bool first = true;
      for (const auto& p : dict_pairs()) {
        if (!out.count(1)) return;
        if (!first) out += ", ";
        first = false;
        out += '(';
        p.key.append_diagnostic_text(out);
        out += ", ";
        p.value.append_diagnostic_text(out);
        out += ')';
      }
      out += ']';
      break;
    }
    case VmKind::ContractHandle: {
      const auto& c = contract_handle_value();
      out += "VmContractHandle { module: ";
      append_quoted_text(out, c.module);
      out += ", origin: ";
      append_quoted_text(out, c.origin);
      out += " }";
      break;
    }
    case VmKind::StorageRef: {
      const auto& s = storage_ref_value();
      out += "VmStorageRef { binding: ";
      append_quoted_text(out, s.binding);
      out += ", storage_type: ";
      append_quoted_text(out, s.storage_type);
      out += " }";
      break;
    }
    case VmKind::ForeignStorageRef: {
      const auto& f = foreign_storage_ref_value();
      out += "VmForeignStorageRef { contract: ";
      append_quoted_text(out, f.contract);
      out += ", binding: ";
      append_quoted_text(out, f.binding);
      out += ", is_hash: ";
      out += f.is_hash ? "true" : "false";
      out += " }";
      break;
    }
    case VmKind::EventRef: {
      const auto& e = event_ref_value();
      out += "VmEventDefinition { binding: ";
      append_quoted_text(out, e.binding);
      out += ", event_name: ";
      append_quoted_text(out, e.event_name);
      out += ", params: ";
      e.params.append_diagnostic_text(out);
      out += " }";
      break;
    }
    case VmKind::Exception: {
      const auto& e = exception_value();
      out += "VmException { name: ";
      append_quoted_text(out, e.name);
      out += ", args: ";
      append_diag_items(out, e.args);
      out += " }";
      break;
    }
  }
  out += ')';
}

}  // namespace veln
