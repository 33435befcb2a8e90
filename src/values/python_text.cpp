// The Python-style display texts of values (VmValue::python_repr and its
// helpers). Strings print bare at every depth; containers recurse, which the
// nesting limit keeps shallow. Nothing here fails or caches.
#include "values/float_text.hpp"
#include "values/hex_digits.hpp"
#include "values/integer_text.hpp"
#include "values/vm_datetime.hpp"
#include "values/vm_decimal.hpp"
#include "values/vm_timedelta.hpp"
#include "values/vm_value.hpp"

namespace veln {

namespace {

void append_mpz(std::string& out, const mpz_class& z) {
  const size_t old = out.size();
  out.resize(old + mpz_sizeinbase(z.get_mpz_t(), 10) + 2);
  mpz_get_str(out.data() + old, 10, z.get_mpz_t());
  out.resize(old + std::char_traits<char>::length(out.data() + old));
}

void append_joined(std::string& out, std::span<const VmValue> items) {
  bool first = true;
  for (const auto& item : items) {
    if (!first) out += ", ";
    first = false;
    item.append_python_repr(out);
  }
}

void append_set_repr(std::string& out, std::span<const VmValue> items) {
  if (items.empty()) {
    out += "set()";
    return;
  }
  out += '{';
  append_joined(out, items);
  out += '}';
}

void append_exception_repr(std::string& out, const VmException& e);

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
  append_set_repr(out, items);
  return out;
}

namespace {

void append_exception_arg_repr(std::string& out, const VmValue& value) {
  if (!value.is(VmKind::String)) {
    value.append_python_repr(out);
    return;
  }
  out += '\'';
  for (char c : value.text()) {
    if (c == '\\') out += "\\\\";
    else if (c == '\'') out += "\\'";
    else out += c;
  }
  out += '\'';
}

void append_exception_repr(std::string& out, const VmException& e) {
  out += e.name;
  out += '(';
  bool first = true;
  for (const auto& a : e.args) {
    if (!first) out += ", ";
    first = false;
    append_exception_arg_repr(out, a);
  }
  out += ')';
}

}  // namespace

std::string python_exception_arg_repr(const VmValue& value) {
  std::string out;
  append_exception_arg_repr(out, value);
  return out;
}

std::string VmException::python_repr() const {
  std::string out;
  append_exception_repr(out, *this);
  return out;
}

std::string VmValue::python_repr() const {
  std::string out;
  append_python_repr(out);
  return out;
}

void VmValue::append_python_repr(std::string& out) const {
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
        append_integer_text(out, u_.i);
      }
      return;
    case VmKind::Float:
      append_float_display_text(out, u_.f);
      return;
    case VmKind::Decimal:
      decimal_value().append_python_repr(out);
      return;
    case VmKind::DateTime:
      datetime_value().append_text(out);
      return;
    case VmKind::TimeDelta:
      timedelta_value().append_text(out);
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
