// Python <-> VmValue conversion. Integers cross through a 64-bit fast path,
// else through hexadecimal text (CPython refuses decimal text beyond 4300
// digits, power-of-two bases it does not limit). Containers are converted
// from snapshots of their items (lists, tuples) or through the guarded dict
// walk, at most kVmMaxDepth levels deep, so a self-referencing value is
// refused rather than followed. Every reference taken here is a PyRef.
#include "python_bindings/value_conversion.hpp"

#include <gmpxx.h>

#include <array>
#include <string_view>

#include "interpreter_support/sets/set_algebra.hpp"
#include "interpreter_support/time_construction.hpp"
#include "python_bindings/python_errors.hpp"
#include "values/bounded_text.hpp"
#include "values/vm_datetime.hpp"
#include "values/vm_decimal.hpp"

namespace veln {
namespace {

// The host's value classes, by module path and class name.
enum class HostClass : uint8_t { Decimal, Datetime, Timedelta, Set, FrozenSet };
struct HostClassPath {
  const char* module;
  const char* name;
};
constexpr std::array<HostClassPath, 5> kHostClasses = {{
    {"veln_runtime_types.decimal", "VondrelDecimal"},
    {"veln_runtime_types.time", "Datetime"},
    {"veln_runtime_types.time", "Timedelta"},
    {"veln_runtime_types.collections", "VondrelSet"},
    {"veln_runtime_types.collections", "VondrelFrozenSet"},
}};
// Python's own classes accepted on input beside the host's.
constexpr HostClassPath kPythonDatetime = {"datetime", "datetime"};
constexpr HostClassPath kPythonTimedelta = {"datetime", "timedelta"};

constexpr std::array<const char*, 7> kDatetimeFields = {"year", "month", "day", "hour",
                                                        "minute", "second", "microsecond"};

VmExecutionError host_failure() { return vm_error(take_host_error_text()); }

VmExecutionError unsupported_python_value(const std::string& type_name) {
  return vm_error("unsupported Python value at VM boundary: " + type_name);
}

std::string_view utf8_of(PyObject* str) {
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(str, &size);
  return data == nullptr ? std::string_view() : std::string_view(data, static_cast<size_t>(size));
}

bool is_class(const std::pair<std::string, std::string>& path, const HostClassPath& cls) {
  return path.first == cls.module && path.second == cls.name;
}

std::optional<HostClass> host_class_of(const std::pair<std::string, std::string>& path) {
  for (size_t i = 0; i < kHostClasses.size(); ++i) {
    if (is_class(path, kHostClasses[i])) return static_cast<HostClass>(i);
  }
  return std::nullopt;
}

// Entering one more level of containers: the nesting limit, with the
// interpreter's own recursion check as a backstop. A NestingLevel leaves the
// level entered just before it was made.
VmStatus enter_nesting_level(uint32_t level) {
  if (level > kVmMaxDepth) return vm_error(std::string(kVmDepthMessage));
  if (Py_EnterRecursiveCall(" while converting a Python value") != 0) return host_failure();
  return Ok{};
}
struct LeaveNestingLevel {
  LeaveNestingLevel() = default;
  LeaveNestingLevel(const LeaveNestingLevel&) = delete;
  LeaveNestingLevel& operator=(const LeaveNestingLevel&) = delete;
  ~LeaveNestingLevel() { Py_LeaveRecursiveCall(); }
};

VmResult<VmValue> int_from_python(PyObject* obj) {
  int overflow = 0;
  const long long small = PyLong_AsLongLongAndOverflow(obj, &overflow);
  if (small == -1 && PyErr_Occurred() != nullptr) return host_failure();
  if (overflow == 0) return VmValue::integer(static_cast<int64_t>(small));
  // One unit per 64-bit word of the magnitude, checked before any text of
  // it is built.
  PyRef bits(PyObject_CallMethod(obj, "bit_length", nullptr));
  if (!bits) return host_failure();
  const unsigned long long bit_length = PyLong_AsUnsignedLongLong(bits.get());
  if (bit_length == static_cast<unsigned long long>(-1) && PyErr_Occurred() != nullptr) return host_failure();
  VELN_CHECK(vm_check_units(1 + bit_length / 64 + (bit_length % 64 != 0)));
  PyRef hex(PyNumber_ToBase(obj, 16));  // "0x..." or "-0x..."
  if (!hex) return host_failure();
  const std::string_view text = utf8_of(hex.get());
  if (text.data() == nullptr) return host_failure();
  const bool negative = text.starts_with('-');
  const std::string_view digits = text.substr(negative ? 3 : 2);
  mpz_class magnitude;
  if (digits.empty() || mpz_set_str(magnitude.get_mpz_t(), digits.data(), 16) != 0) {
    return vm_error("invalid integer text at VM boundary");
  }
  if (negative) magnitude = -magnitude;
  return VmValue::integer(std::move(magnitude));
}

VmResult<VmValue> str_from_python(PyObject* obj) {
  const std::string_view text = utf8_of(obj);
  if (text.data() == nullptr) {  // lone surrogates have no UTF-8 form
    PyErr_Clear();
    return unsupported_python_value(python_type_name(obj));
  }
  return VmValue::make_str(std::string(text));
}

class PythonToVm {
 public:
  VmResult<VmValue> convert(PyObject* obj, uint32_t level) {
    if (obj == Py_None) return VmValue::none();
    if (PyBool_Check(obj)) return VmValue::boolean(obj == Py_True);
    // Exact built-in scalars first: their class path and type name are known,
    // so steps that could not apply are skipped without looking them up.
    if (PyLong_CheckExact(obj)) return int_from_python(obj);
    if (PyUnicode_CheckExact(obj)) return str_from_python(obj);
    if (PyFloat_CheckExact(obj)) return VmValue::float64(PyFloat_AsDouble(obj));
    if (PyList_Check(obj)) {
      PyRef snapshot(PyList_AsTuple(obj));
      if (!snapshot) return host_failure();
      return sequence(VmKind::List, snapshot.get(), level + 1);
    }
    if (PyTuple_Check(obj)) return sequence(VmKind::Tuple, obj, level + 1);
    if (PyDict_Check(obj)) return dict(obj, level + 1);
    if (PyBytes_Check(obj)) {
      char* data = nullptr;
      Py_ssize_t size = 0;
      if (PyBytes_AsStringAndSize(obj, &data, &size) < 0) return host_failure();
      return VmValue::make_bytes(std::string(data, static_cast<size_t>(size)));
    }
    if (PyByteArray_Check(obj)) {
      const char* data = PyByteArray_AsString(obj);
      if (data == nullptr) return host_failure();
      return VmValue::make_bytearray(std::string(data, static_cast<size_t>(PyByteArray_Size(obj))));
    }
    if (auto path = python_class_path(obj)) {
      VmResult<std::optional<VmValue>> by_class = host_class_value(obj, *path, level);
      if (!by_class.ok()) return std::move(by_class).error();
      if (by_class.value().has_value()) return std::move(*by_class.value());
    }
    const std::string type_name = python_type_name(obj);
    if (type_name == "float") {
      const double value = PyFloat_AsDouble(obj);
      if (!(value == -1.0 && PyErr_Occurred() != nullptr)) return VmValue::float64(value);
      PyErr_Clear();
    }
    if (type_name == "int" && PyLong_Check(obj)) return int_from_python(obj);
    if (PyUnicode_Check(obj)) return str_from_python(obj);
    return unsupported_python_value(type_name);
  }

 private:
  // Step 8: the classes recognised by their path; nullopt when the path names
  // none of them (or a timedelta without a readable seconds attribute).
  VmResult<std::optional<VmValue>> host_class_value(PyObject* obj, const std::pair<std::string, std::string>& path,
                                                    uint32_t level) {
    std::optional<HostClass> cls = host_class_of(path);
    if (is_class(path, kPythonDatetime)) cls = HostClass::Datetime;
    if (is_class(path, kPythonTimedelta)) cls = HostClass::Timedelta;
    if (!cls) return std::optional<VmValue>();
    switch (*cls) {
      case HostClass::Datetime: {
        std::array<int64_t, kDatetimeFields.size()> fields{};
        for (size_t i = 0; i < fields.size(); ++i) {
          VELN_TRY(fields[i], extract_i64_attr(obj, kDatetimeFields[i]));
        }
        VELN_TRY(VmDateTime value, datetime_from_components(fields[0], fields[1], fields[2], fields[3], fields[4],
                                                            fields[5], fields[6]));
        return std::optional<VmValue>(VmValue::datetime(value));
      }
      case HostClass::Timedelta: {
        // Only the seconds attribute counts (for datetime.timedelta the
        // seconds within a day); without it the value is not a time delta.
        VmResult<int64_t> seconds = extract_i64_attr(obj, "seconds");
        if (!seconds.ok()) return std::optional<VmValue>();
        return std::optional<VmValue>(VmValue::timedelta_seconds(seconds.value()));
      }
      case HostClass::Decimal: {
        PyRef text(PyObject_Str(obj));
        if (!text) return host_failure();
        const std::string_view literal = utf8_of(text.get());
        if (literal.data() == nullptr) return host_failure();
        VELN_TRY(VmDecimal value, VmDecimal::from_str_literal(literal));
        return std::optional<VmValue>(VmValue::decimal(std::move(value)));
      }
      case HostClass::Set:
      case HostClass::FrozenSet: {
        VELN_TRY(VmValue value, host_set(obj, *cls == HostClass::Set ? VmKind::Set : VmKind::FrozenSet, level + 1));
        return std::optional<VmValue>(std::move(value));
      }
    }
    return std::optional<VmValue>();
  }

  // Items of a tuple (a list's snapshot, or a tuple, which cannot change).
  VmResult<VmValue> sequence(VmKind kind, PyObject* tuple, uint32_t level) {
    VELN_CHECK(enter_nesting_level(level));
    LeaveNestingLevel leave;
    const Py_ssize_t count = PyTuple_Size(tuple);
    std::vector<VmValue> items;
    items.reserve(static_cast<size_t>(count));
    for (Py_ssize_t i = 0; i < count; ++i) {
      PyRef item = PyRef::borrowed(PyTuple_GetItem(tuple, i));
      VELN_TRY(VmValue value, convert(item.get(), level));
      items.push_back(std::move(value));
    }
    return VmValue::make_sequence(kind, std::move(items));
  }

  VmResult<VmValue> dict(PyObject* obj, uint32_t level) {
    VELN_CHECK(enter_nesting_level(level));
    LeaveNestingLevel leave;
    std::vector<VmDictPair> pairs;
    VELN_CHECK(walk_dict(obj, [&](PyObject* key, PyObject* value) -> VmStatus {
      VELN_TRY(VmValue vm_key, convert(key, level));
      VELN_TRY(VmValue vm_value, convert(value, level));
      pairs.push_back(VmDictPair{std::move(vm_key), std::move(vm_value)});
      return Ok{};
    }));
    return VmValue::make_dict(std::move(pairs));
  }

  // The host's set classes: iterated, converted, and put into canonical set
  // order without duplicates, as every set of the engine is.
  VmResult<VmValue> host_set(PyObject* obj, VmKind kind, uint32_t level) {
    VELN_CHECK(enter_nesting_level(level));
    LeaveNestingLevel leave;
    PyRef iterator(PyObject_GetIter(obj));
    if (!iterator) return host_failure();
    std::vector<VmValue> items;
    while (PyRef item{PyIter_Next(iterator.get())}) {
      VELN_TRY(VmValue value, convert(item.get(), level));
      items.push_back(std::move(value));
    }
    if (PyErr_Occurred() != nullptr) return host_failure();
    VELN_TRY(std::vector<VmValue> normalised, normalize_set_items(std::move(items)));
    return VmValue::make_sequence(kind, std::move(normalised));
  }
};

// ---------------------------------------------------------------------------
void raise_type_error(const std::string& message) {
  PyRef text(PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
  if (text) PyErr_SetObject(PyExc_TypeError, text.get());
}

// The diagnostic form is bounded: a value whose form would pass the limit
// of a text is refused with the size message instead.
void raise_unsupported_value(const VmValue& value) {
  const VmExecutionError error = vm_bounded_error([&value](BoundedText& out) {
    out += "unsupported VM value at Python boundary: ";
    value.append_diagnostic_text(out);
  });
  raise_type_error(error.message);
}

PyObject* new_str(std::string_view text) {
  return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "surrogatepass");
}

class VmToPython {
 public:
  PyObject* convert(const VmValue& value) {
    switch (value.kind()) {
      case VmKind::None:
        Py_RETURN_NONE;
      case VmKind::Bool:
        return PyBool_FromLong(value.bool_value() ? 1 : 0);
      case VmKind::Int:
        return integer(value);
      case VmKind::Float:
        return PyFloat_FromDouble(value.float_value());
      case VmKind::Decimal: {
        PyRef text(new_str(value.decimal_value().to_string()));
        if (!text) return nullptr;
        return call_host_class(HostClass::Decimal, text.get());
      }
      case VmKind::DateTime:
        return datetime(value.datetime_value());
      case VmKind::TimeDelta: {
        PyRef kwargs(Py_BuildValue("{s:L}", "seconds", static_cast<long long>(value.timedelta_raw_seconds())));
        return kwargs ? call_with_keywords(HostClass::Timedelta, nullptr, kwargs.get()) : nullptr;
      }
      case VmKind::String:
      case VmKind::TypeMarker:
        return new_str(value.text());
      case VmKind::Bytes:
        return PyBytes_FromStringAndSize(value.text().data(), static_cast<Py_ssize_t>(value.text_size()));
      case VmKind::ByteArray:
        return PyByteArray_FromStringAndSize(value.text().data(), static_cast<Py_ssize_t>(value.text_size()));
      case VmKind::Set:
      case VmKind::FrozenSet: {
        PyRef items(list(value.items()));
        if (!items) return nullptr;
        return call_host_class(value.is(VmKind::Set) ? HostClass::Set : HostClass::FrozenSet, items.get());
      }
      case VmKind::List:
        return list(value.items());
      case VmKind::Tuple:
        return tuple(value.items());
      case VmKind::Dict:
        return dict(value.dict_pairs());
      case VmKind::ContractHandle:
        return new_str(value.contract_handle_value().module);
      case VmKind::StorageRef:
      case VmKind::ForeignStorageRef:
      case VmKind::EventRef:
      case VmKind::Builtin:
      case VmKind::FunctionRef:
      case VmKind::Exception:
        break;
    }
    raise_unsupported_value(value);
    return nullptr;
  }

  PyObject* list(std::span<const VmValue> items) { return sequence(items, false); }

 private:
  // The classes this conversion has looked up so far: the host's module
  // cache answers the imports, this saves repeating them per item.
  std::array<PyRef, kHostClasses.size()> classes_;

  PyObject* host_class(HostClass which) {
    PyRef& cls = classes_[static_cast<size_t>(which)];
    if (!cls) {
      const HostClassPath& path = kHostClasses[static_cast<size_t>(which)];
      PyRef module(PyImport_ImportModule(path.module));
      if (!module) return nullptr;
      cls = PyRef(PyObject_GetAttrString(module.get(), path.name));
    }
    return cls.get();
  }

  PyObject* call_host_class(HostClass which, PyObject* argument) {
    PyObject* cls = host_class(which);
    return cls == nullptr ? nullptr : PyObject_CallFunctionObjArgs(cls, argument, nullptr);
  }

  PyObject* call_with_keywords(HostClass which, PyObject* args, PyObject* kwargs) {
    PyObject* cls = host_class(which);
    if (cls == nullptr) return nullptr;
    PyRef positional = args != nullptr ? PyRef::borrowed(args) : PyRef(PyTuple_New(0));
    return positional ? PyObject_Call(cls, positional.get(), kwargs) : nullptr;
  }

  PyObject* integer(const VmValue& value) {
    if (value.int_is_small()) return PyLong_FromLongLong(value.small_int());
    std::string hex = value.big_int().get_str(16);
    return PyLong_FromString(hex.c_str(), nullptr, 16);
  }

  PyObject* datetime(const VmDateTime& value) {
    const CivilDate date = value.date();
    PyRef args(Py_BuildValue("(LIIIII)", static_cast<long long>(date.year), date.month, date.day, value.hour(),
                             value.minute(), value.second()));
    if (!args) return nullptr;
    PyRef kwargs(Py_BuildValue("{s:I}", "microsecond", value.microsecond()));
    return kwargs ? call_with_keywords(HostClass::Datetime, args.get(), kwargs.get()) : nullptr;
  }

  PyObject* tuple(std::span<const VmValue> items) { return sequence(items, true); }

  PyObject* sequence(std::span<const VmValue> items, bool as_tuple) {
    const auto size = static_cast<Py_ssize_t>(items.size());
    PyRef out(as_tuple ? PyTuple_New(size) : PyList_New(size));
    if (!out) return nullptr;
    for (Py_ssize_t i = 0; i < size; ++i) {
      PyObject* item = convert(items[static_cast<size_t>(i)]);
      if (item == nullptr) return nullptr;
      // Both steal the item.
      if (as_tuple) {
        PyTuple_SetItem(out.get(), i, item);
      } else {
        PyList_SetItem(out.get(), i, item);
      }
    }
    return out.release();
  }

  PyObject* dict(std::span<const VmDictPair> pairs) {
    PyRef out(PyDict_New());
    if (!out) return nullptr;
    for (const VmDictPair& pair : pairs) {
      PyRef key(convert(pair.key));
      if (!key) return nullptr;
      PyRef item(convert(pair.value));
      if (!item || PyDict_SetItem(out.get(), key.get(), item.get()) < 0) return nullptr;
    }
    return out.release();
  }
};

}  // namespace

VmResult<VmValue> py_to_vm(PyObject* obj) { return PythonToVm().convert(obj, 0); }

VmExecutionError settle_host_conversion(VmExecutionError error) {
  if (PyErr_Occurred() == nullptr) return error;
  return host_failure();
}

PyObject* vm_to_py(const VmValue& value) { return VmToPython().convert(value); }

PyObject* vm_values_to_py_list(std::span<const VmValue> values) { return VmToPython().list(values); }

std::optional<std::pair<std::string, std::string>> python_class_path(PyObject* obj) {
  PyRef cls(PyObject_GetAttrString(obj, "__class__"));
  PyRef module(cls ? PyObject_GetAttrString(cls.get(), "__module__") : nullptr);
  PyRef name(module ? PyObject_GetAttrString(cls.get(), "__name__") : nullptr);
  if (!name || !PyUnicode_Check(module.get()) || !PyUnicode_Check(name.get())) {
    PyErr_Clear();
    return std::nullopt;
  }
  const std::string_view module_text = utf8_of(module.get());
  const std::string_view name_text = utf8_of(name.get());
  if (module_text.data() == nullptr || name_text.data() == nullptr) {
    PyErr_Clear();
    return std::nullopt;
  }
  return std::pair<std::string, std::string>(module_text, name_text);
}

VmResult<std::string> extract_str(PyObject* obj) {
  if (!PyUnicode_Check(obj)) return vm_error("TypeError: " + not_an_instance_text(obj, "str"));
  const std::string_view text = utf8_of(obj);
  if (text.data() == nullptr) return host_failure();
  return std::string(text);
}

VmResult<int64_t> extract_i64_attr(PyObject* obj, const char* name) {
  PyRef attribute(PyObject_GetAttrString(obj, name));
  if (!attribute) return host_failure();
  const long long value = PyLong_AsLongLong(attribute.get());
  if (value == -1 && PyErr_Occurred() != nullptr) return host_failure();
  return static_cast<int64_t>(value);
}

VmResult<VmHashEntry> py_hash_entry_to_vm(PyObject* row) {
  if (!PyTuple_Check(row)) return vm_error("hash entry must be a tuple");
  if (PyTuple_Size(row) != 2) return vm_error("hash entry tuples must contain key and value");
  PyRef key = PyRef::borrowed(PyTuple_GetItem(row, 0));
  PyRef value = PyRef::borrowed(PyTuple_GetItem(row, 1));
  VELN_TRY(std::string key_text, extract_str(key.get()));
  VELN_TRY(VmValue vm_value, py_to_vm(value.get()));
  return VmHashEntry{std::move(key_text), std::move(vm_value)};
}

VmResult<std::vector<VmHashEntry>> py_hash_entries_to_vm(PyObject* rows) {
  PyRef iterator(PyObject_GetIter(rows));
  if (!iterator) return host_failure();
  std::vector<VmHashEntry> entries;
  while (PyRef row{PyIter_Next(iterator.get())}) {
    VELN_TRY(VmHashEntry entry, py_hash_entry_to_vm(row.get()));
    entries.push_back(std::move(entry));
  }
  if (PyErr_Occurred() != nullptr) return host_failure();
  return entries;
}

VmExecutionError dict_changed_error(bool size_changed) {
  const char* message =
      size_changed ? "dictionary changed size during iteration" : "dictionary keys changed during iteration";
  PyErr_SetString(PyExc_RuntimeError, message);
  return vm_error(message);
}

}  // namespace veln
