// The Python-style display texts of values (VmValue::python_repr and its
// helpers). Strings print bare at every depth; containers recurse, which the
// nesting limit keeps shallow. Every text is written through a BoundedText:
// the bounded forms stop at the size limit, the plain ones (for texts known
// to be small) write through an unbounded one. Nothing here caches.
#include "values/bounded_text.hpp"
#include "values/float_text.hpp"
#include "values/hex_digits.hpp"
#include "values/integer_text.hpp"
#include "values/vm_datetime.hpp"
#include "values/vm_decimal.hpp"
#include "values/vm_timedelta.hpp"
#include "values/vm_value.hpp"
#include "values/vm_work_tally.hpp"

namespace veln {

namespace {

// Upper bounds of the small pieces' texts.
constexpr size_t kNumberText = 32;    // an int64, a float
constexpr size_t kRecordText = 160;   // a decimal, a date-time, a time delta and their field forms

// Counted before the conversion, which is refused once the allowance has
// passed.
void append_mpz(BoundedText& out, const mpz_class& z) {
  const uint64_t words = vm_mpz_words(z);
  if (!out.count(words > 1 ? vm_bigint_digits_steps(words) : kVmIntTextSteps)) return;
  // At most about 315,653 digits under the integer size limit.
  std::string digits(mpz_sizeinbase(z.get_mpz_t(), 10) + 2, '\0');
  mpz_get_str(digits.data(), 10, z.get_mpz_t());
  digits.resize(std::char_traits<char>::length(digits.data()));
  out.append(digits);
}

// A step per item written (the text's bytes count when it becomes a value).
void append_joined(BoundedText& out, std::span<const VmValue> items) {
  bool first = true;
  for (const auto& item : items) {
    if (!out.count(1)) return;
    if (!first) out += ", ";
    first = false;
    item.append_python_repr(out);
  }
}

void append_set_repr(BoundedText& out, std::span<const VmValue> items) {
  if (items.empty()) {
    out += "set()";
    return;
  }
  out += '{';
  append_joined(out, items);
  out += '}';
}

void append_exception_repr(BoundedText& out, const VmException& e);

}  // namespace

void append_python_bytes_repr(BoundedText& out, std::string_view bytes) {
  out += "b'";
  for (unsigned char c : bytes) {
    if (out.overflowed()) return;
    switch (c) {
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\'':
        out += "\\'";
        break;
      case '\\':
        out += "\\\\";
        break;
      default:
        if (c < 0x20 || c > 0x7E) {
          char escape[4] = {'\\', 'x', kLowerHexDigits[c >> 4], kLowerHexDigits[c & 0xF]};
          out.append(std::string_view(escape, 4));
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '\'';
}

void append_python_bytes_repr(std::string& out, std::string_view bytes) {
  BoundedText text(out, BoundedText::kUnbounded);
  append_python_bytes_repr(text, bytes);
}

std::string python_bytes_repr(std::string_view bytes) {
  std::string out;
  append_python_bytes_repr(out, bytes);
  return out;
}

std::string python_set_repr(std::span<const VmValue> items) {
  std::string out;
  BoundedText text(out, BoundedText::kUnbounded);
  append_set_repr(text, items);
  return out;
}

namespace {

void append_exception_arg_repr(BoundedText& out, const VmValue& value) {
  if (!value.is(VmKind::String)) {
    value.append_python_repr(out);
    return;
  }
  out += '\'';
  const std::string_view text = value.text();
  // Runs without a quote or a backslash are copied whole.
  size_t run = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c != '\\' && c != '\'') continue;
    out.append(text.substr(run, i - run));
    out += c == '\\' ? "\\\\" : "\\'";
    run = i + 1;
  }
  out.append(text.substr(run));
  out += '\'';
}

void append_exception_repr(BoundedText& out, const VmException& e) {
  out += e.name;
  out += '(';
  bool first = true;
  for (const auto& a : e.args) {
    if (!out.count(1)) return;
    if (!first) out += ", ";
    first = false;
    append_exception_arg_repr(out, a);
  }
  out += ')';
}

}  // namespace

std::string python_exception_arg_repr(const VmValue& value) {
  std::string out;
  BoundedText text(out, BoundedText::kUnbounded);
  append_exception_arg_repr(text, value);
  return out;
}

std::string VmException::python_repr() const {
  std::string out;
  BoundedText text(out, BoundedText::kUnbounded);
  append_python_repr(text);
  return out;
}

void VmException::append_python_repr(BoundedText& out) const { append_exception_repr(out, *this); }

std::string VmValue::python_repr() const {
  std::string out;
  append_python_repr(out);
  return out;
}

VmResult<std::string> VmValue::bounded_python_repr() const {
  return vm_bounded_text([this](BoundedText& out) { append_python_repr(out); });
}

void VmValue::append_python_repr(std::string& out) const {
  BoundedText text(out, BoundedText::kUnbounded);
  append_python_repr(text);
}

bool VmValue::append_python_repr_bounded(std::string& out, size_t max_size) const {
  BoundedText text(out, max_size);
  append_python_repr(text);
  return !text.overflowed();
}

VmExecutionError vm_error_quoting(std::string_view before, const VmValue& value, std::string_view after) {
  std::string message;
  BoundedText text(message);
  text += before;
  value.append_python_repr(text);
  text += after;
  if (text.overflowed()) return text.error();
  return vm_error(std::move(message));
}

void VmValue::append_python_repr(BoundedText& out) const {
  if (out.overflowed()) return;
  switch (kind_) {
    case VmKind::None:
      out += "None";
      return;
    case VmKind::Bool:
      out += u_.b ? "True" : "False";
      return;
    case VmKind::Int:
      if (heap_) {
        append_mpz(out, big_int());
      } else {
        out.append_small(kNumberText, kVmIntTextSteps,
                         [this](std::string& piece) { append_integer_text(piece, u_.i); });
      }
      return;
    case VmKind::Float:
      out.append_small(kNumberText, kVmNumberTextSteps,
                       [this](std::string& piece) { append_float_display_text(piece, u_.f); });
      return;
    case VmKind::Decimal:
      out.append_small(kRecordText, kVmNumberTextSteps,
                       [this](std::string& piece) { decimal_value().append_python_repr(piece); });
      return;
    case VmKind::DateTime:
      out.append_small(kRecordText, kVmNumberTextSteps,
                       [this](std::string& piece) { datetime_value().append_text(piece); });
      return;
    case VmKind::TimeDelta:
      out.append_small(kRecordText, kVmNumberTextSteps,
                       [this](std::string& piece) { timedelta_value().append_text(piece); });
      return;
    case VmKind::String:
    case VmKind::TypeMarker:
      out += text();
      return;
    case VmKind::Bytes:
      append_python_bytes_repr(out, text());
      return;
    case VmKind::ByteArray:
      out += "bytearray(";
      append_python_bytes_repr(out, text());
      out += ')';
      return;
    case VmKind::Set:
      append_set_repr(out, items());
      return;
    case VmKind::FrozenSet:
      if (items().empty()) {
        out += "frozenset()";
        return;
      }
      out += "frozenset(";
      append_set_repr(out, items());
      out += ')';
      return;
    case VmKind::List:
      out += '[';
      append_joined(out, items());
      out += ']';
      return;
    case VmKind::Tuple:
      out += '(';
      append_joined(out, items());
      if (items().size() == 1) out += ',';
      out += ')';
      return;
    case VmKind::Dict: {
      out += '{';
      bool first = true;
      for (const auto& p : dict_pairs()) {
        if (!out.count(1)) return;
        if (!first) out += ", ";
        first = false;
        p.key.append_python_repr(out);
        out += ": ";
        p.value.append_python_repr(out);
      }
      out += '}';
      return;
    }
    case VmKind::ContractHandle:
      out += "<contract:";
      out += contract_handle_value().module;
      out += '>';
      return;
    case VmKind::StorageRef:
      out += "<storage:";
      out += storage_ref_value().binding;
      out += '>';
      return;
    case VmKind::ForeignStorageRef:
      out += "<foreign-storage:";
      out += foreign_storage_ref_value().contract;
      out += '.';
      out += foreign_storage_ref_value().binding;
      out += '>';
      return;
    case VmKind::EventRef:
      out += "<event:";
      out += event_ref_value().event_name;
      out += '>';
      return;
    case VmKind::Builtin:
      out += "<builtin:";
      out += text();
      out += '>';
      return;
    case VmKind::FunctionRef:
      out += "<function:";
      out += text();
      out += '>';
      return;
    case VmKind::Exception:
      append_exception_repr(out, exception_value());
      return;
  }
}

}  // namespace veln
