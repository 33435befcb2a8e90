// The Python-style display texts of values (VmValue::python_repr and its
// helpers), unbounded or bounded by a byte size. Strings print bare at every
// depth; containers recurse, which the nesting limit keeps shallow.
// Nothing here fails or caches.
#include "values/float_text.hpp"
#include "values/hex_digits.hpp"
#include "values/integer_text.hpp"
#include "values/vm_datetime.hpp"
#include "values/vm_decimal.hpp"
#include "values/vm_timedelta.hpp"
#include "values/vm_value.hpp"

namespace veln {

namespace {

// Every appender below stops as soon as `out` holds more than `limit` bytes
// and then returns false; a text leaf is refused before it is appended.
constexpr size_t kUnbounded = static_cast<size_t>(-1);

bool append_repr(std::string& out, const VmValue& value, size_t limit);

void append_mpz(std::string& out, const mpz_class& z) {
  const size_t old = out.size();
  out.resize(old + mpz_sizeinbase(z.get_mpz_t(), 10) + 2);
  mpz_get_str(out.data() + old, 10, z.get_mpz_t());
  out.resize(old + std::char_traits<char>::length(out.data() + old));
}

bool append_joined(std::string& out, std::span<const VmValue> items, size_t limit) {
  bool first = true;
  for (const auto& item : items) {
    if (!first) out += ", ";
    first = false;
    if (!append_repr(out, item, limit)) return false;
  }
  return true;
}

bool append_set_repr(std::string& out, std::span<const VmValue> items, size_t limit) {
  if (items.empty()) {
    out += "set()";
    return out.size() <= limit;
  }
  out += '{';
  if (!append_joined(out, items, limit)) return false;
  out += '}';
  return out.size() <= limit;
}

bool append_exception_repr(std::string& out, const VmException& e, size_t limit);

// Whether `extra` more bytes keep `out` within the limit.
bool fits(const std::string& out, size_t extra, size_t limit) {
  return out.size() <= limit && extra <= limit - out.size();
}

}  // namespace

void append_python_bytes_repr(std::string& out, std::string_view bytes) {
  out += "b'";
  for (unsigned char c : bytes) {
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
          out += "\\x";
          append_hex_digits(out, c, 2);
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '\'';
}

std::string python_bytes_repr(std::string_view bytes) {
  std::string out;
  append_python_bytes_repr(out, bytes);
  return out;
}

std::string python_set_repr(std::span<const VmValue> items) {
  std::string out;
  append_set_repr(out, items, kUnbounded);
  return out;
}

namespace {

bool append_exception_arg_repr(std::string& out, const VmValue& value, size_t limit) {
  if (!value.is(VmKind::String)) return append_repr(out, value, limit);
  if (!fits(out, value.text_size() + 2, limit)) return false;
  out += '\'';
  for (char c : value.text()) {
    if (c == '\\') out += "\\\\";
    else if (c == '\'') out += "\\'";
    else out += c;
  }
  out += '\'';
  return out.size() <= limit;
}

bool append_exception_repr(std::string& out, const VmException& e, size_t limit) {
  out += e.name;
  out += '(';
  bool first = true;
  for (const auto& a : e.args) {
    if (!first) out += ", ";
    first = false;
    if (!append_exception_arg_repr(out, a, limit)) return false;
  }
  out += ')';
  return out.size() <= limit;
}

}  // namespace

std::string python_exception_arg_repr(const VmValue& value) {
  std::string out;
  append_exception_arg_repr(out, value, kUnbounded);
  return out;
}

std::string VmException::python_repr() const {
  std::string out;
  append_exception_repr(out, *this, kUnbounded);
  return out;
}

std::string VmValue::python_repr() const {
  std::string out;
  append_python_repr(out);
  return out;
}

void VmValue::append_python_repr(std::string& out) const { append_repr(out, *this, kUnbounded); }

bool VmValue::append_python_repr_bounded(std::string& out, size_t max_size) const {
  return append_repr(out, *this, max_size);
}

namespace {

bool append_repr(std::string& out, const VmValue& value, size_t limit) {
  switch (value.kind()) {
    case VmKind::None:
      out += "None";
      break;
    case VmKind::Bool:
      out += value.bool_value() ? "True" : "False";
      break;
    case VmKind::Int:
      if (!value.int_is_small()) {
        append_mpz(out, value.big_int());
      } else {
        append_integer_text(out, value.small_int());
      }
      break;
    case VmKind::Float:
      append_float_display_text(out, value.float_value());
      break;
    case VmKind::Decimal:
      value.decimal_value().append_python_repr(out);
      break;
    case VmKind::DateTime:
      value.datetime_value().append_text(out);
      break;
    case VmKind::TimeDelta:
      value.timedelta_value().append_text(out);
      break;
    case VmKind::String:
    case VmKind::TypeMarker:
      if (!fits(out, value.text_size(), limit)) return false;
      out += value.text();
      break;
    case VmKind::Bytes:
      if (!fits(out, value.text_size() + 3, limit)) return false;
      append_python_bytes_repr(out, value.text());
      break;
    case VmKind::ByteArray:
      if (!fits(out, value.text_size() + 14, limit)) return false;
      out += "bytearray(";
      append_python_bytes_repr(out, value.text());
      out += ')';
      break;
    case VmKind::Set:
      return append_set_repr(out, value.items(), limit);
    case VmKind::FrozenSet:
      if (value.items().empty()) {
        out += "frozenset()";
        break;
      }
      out += "frozenset(";
      if (!append_set_repr(out, value.items(), limit)) return false;
      out += ')';
      break;
    case VmKind::List:
      out += '[';
      if (!append_joined(out, value.items(), limit)) return false;
      out += ']';
      break;
    case VmKind::Tuple:
      out += '(';
      if (!append_joined(out, value.items(), limit)) return false;
      if (value.items().size() == 1) out += ',';
      out += ')';
      break;
    case VmKind::Dict: {
      out += '{';
      bool first = true;
      for (const auto& p : value.dict_pairs()) {
        if (!first) out += ", ";
        first = false;
        if (!append_repr(out, p.key, limit)) return false;
        out += ": ";
        if (!append_repr(out, p.value, limit)) return false;
      }
      out += '}';
      break;
    }
    case VmKind::ContractHandle:
      out += "<contract:";
      out += value.contract_handle_value().module;
      out += '>';
      break;
    case VmKind::StorageRef:
      out += "<storage:";
      out += value.storage_ref_value().binding;
      out += '>';
      break;
    case VmKind::ForeignStorageRef:
      out += "<foreign-storage:";
      out += value.foreign_storage_ref_value().contract;
      out += '.';
      out += value.foreign_storage_ref_value().binding;
      out += '>';
      break;
    case VmKind::EventRef:
      out += "<event:";
      out += value.event_ref_value().event_name;
      out += '>';
      break;
    case VmKind::Builtin:
      out += "<builtin:";
      out += value.text();
      out += '>';
      break;
    case VmKind::FunctionRef:
      out += "<function:";
      out += value.text();
      out += '>';
      break;
    case VmKind::Exception:
      return append_exception_repr(out, value.exception_value(), limit);
  }
  return out.size() <= limit;
}

}  // namespace

}  // namespace veln
