// Argument binding in the order CPython binds a Python function's arguments:
// positionals, then keywords (unknown or repeated names fail here), then the
// count of positionals, then the missing required parameters. The messages are
// CPython's own for that case, so callers see the familiar wording.
#include "python_bindings/argument_binding.hpp"

#include <string>

#include "python_bindings/py_ref.hpp"
#include "python_bindings/python_errors.hpp"
#include "python_bindings/value_conversion.hpp"

namespace veln {
namespace {

std::size_t positional_count(const FunctionSignature& signature) {
  std::size_t count = 0;
  while (count < signature.parameters.size() && !signature.parameters[count].keyword_only) ++count;
  return count;
}

// Index of the parameter named by `keyword` (a str), or -1.
Py_ssize_t find_parameter(const FunctionSignature& signature, PyObject* keyword) {
  for (std::size_t i = 0; i < signature.parameters.size(); ++i) {
    if (PyUnicode_CompareWithASCIIString(keyword, signature.parameters[i].name) == 0) {
      return static_cast<Py_ssize_t>(i);
    }
  }
  return -1;
}

void raise_too_many_positional(const FunctionSignature& signature, std::size_t positional,
                               Py_ssize_t given, std::span<PyObject*> slots) {
  Py_ssize_t keyword_only_given = 0;
  for (std::size_t i = positional; i < slots.size(); ++i) {
    if (slots[i] != nullptr) ++keyword_only_given;
  }
  PyRef keyword_only_part(
      keyword_only_given == 0
          ? PyUnicode_FromString("")
          : PyUnicode_FromFormat(" positional argument%s (and %zd keyword-only argument%s)",
                                 given != 1 ? "s" : "", keyword_only_given,
                                 keyword_only_given != 1 ? "s" : ""));
  if (!keyword_only_part) return;
  PyErr_Format(PyExc_TypeError, "%s() takes %zd positional argument%s but %zd%U %s given",
               signature.function_name, static_cast<Py_ssize_t>(positional), positional != 1 ? "s" : "",
               given, keyword_only_part.get(), given == 1 && keyword_only_given == 0 ? "was" : "were");
}

// "'a'", "'a' and 'b'", "'a', 'b', and 'c'": CPython's list of missing names.
std::string join_missing_names(std::span<const char* const> names) {
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) text += names.size() == 2 ? " and " : (i + 1 == names.size() ? ", and " : ", ");
    text += '\'';
    text += names[i];
    text += '\'';
  }
  return text;
}

// Reports the missing required parameters of one kind; returns true if any.
bool raise_if_missing(const FunctionSignature& signature, std::span<PyObject*> slots, bool keyword_only) {
  const char* missing[16];
  std::size_t count = 0;
  for (std::size_t i = 0; i < slots.size(); ++i) {
    const ParameterSpec& parameter = signature.parameters[i];
    if (parameter.keyword_only == keyword_only && parameter.required && slots[i] == nullptr &&
        count < std::size(missing)) {
      missing[count++] = parameter.name;
    }
  }
  if (count == 0) return false;
  const std::string names = join_missing_names(std::span<const char* const>(missing, count));
  PyErr_Format(PyExc_TypeError, "%s() missing %zd required %s argument%s: %s", signature.function_name,
               static_cast<Py_ssize_t>(count), keyword_only ? "keyword-only" : "positional",
               count == 1 ? "" : "s", names.c_str());
  return true;
}

void raise_wrong_type(const FunctionSignature& signature, const char* parameter, const char* expected,
                      PyObject* value) {
  PyRef type_name(value == Py_None ? PyUnicode_FromString("None") : PyType_GetName(Py_TYPE(value)));
  if (!type_name) return;
  PyErr_Format(PyExc_TypeError, "%s() argument '%s' must be %s, not %U", signature.function_name, parameter,
               expected, type_name.get());
}

std::optional<std::string_view> utf8_view(const char* parameter, PyObject* value) {
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(value, &size);
  if (data == nullptr) {
    note_argument_failure(parameter);
    return std::nullopt;
  }
  return std::string_view(data, static_cast<std::size_t>(size));
}

}  // namespace

bool bind_arguments(const FunctionSignature& signature, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, std::span<PyObject*> slots) noexcept {
  return guard_boundary(false, [&] {
    for (PyObject*& slot : slots) slot = nullptr;
    const std::size_t positional = positional_count(signature);
    const std::size_t given = static_cast<std::size_t>(nargs);
    for (std::size_t i = 0; i < given && i < positional; ++i) slots[i] = args[i];

    const Py_ssize_t keyword_count = kwnames == nullptr ? 0 : PyTuple_Size(kwnames);
    if (keyword_count < 0) return false;
    for (Py_ssize_t k = 0; k < keyword_count; ++k) {
      PyObject* keyword = PyTuple_GetItem(kwnames, k);  // borrowed
      if (keyword == nullptr) return false;
      if (!PyUnicode_Check(keyword)) {
        PyErr_Format(PyExc_TypeError, "%s() keywords must be strings", signature.function_name);
        return false;
      }
      const Py_ssize_t index = find_parameter(signature, keyword);
      if (index < 0) {
        if (PyErr_Occurred()) return false;
        PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%S'", signature.function_name,
                     keyword);
        return false;
      }
      if (slots[index] != nullptr) {
        PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%S'", signature.function_name,
                     keyword);
        return false;
      }
      slots[index] = args[nargs + k];
    }

    if (given > positional) {
      raise_too_many_positional(signature, positional, nargs, slots);
      return false;
    }
    if (raise_if_missing(signature, slots, false)) return false;
    if (raise_if_missing(signature, slots, true)) return false;
    return true;
  });
}

std::optional<std::string_view> convert_str_argument(const FunctionSignature& signature,
                                                     const char* parameter, PyObject* value) noexcept {
  if (!PyUnicode_Check(value)) {
    raise_wrong_type(signature, parameter, "str", value);
    note_argument_failure(parameter);
    return std::nullopt;
  }
  return utf8_view(parameter, value);
}

bool convert_optional_str_argument(const FunctionSignature& signature, const char* parameter,
                                   PyObject* value, std::optional<std::string_view>& result) noexcept {
  result.reset();
  if (value == nullptr || value == Py_None) return true;
  if (!PyUnicode_Check(value)) {
    raise_wrong_type(signature, parameter, "str or None", value);
    note_argument_failure(parameter);
    return false;
  }
  result = utf8_view(parameter, value);
  return result.has_value();
}

std::optional<bool> convert_bool_argument(const FunctionSignature& signature, const char* parameter,
                                          PyObject* value) noexcept {
  if (PyBool_Check(value)) return value == Py_True;
  return guard_boundary<std::optional<bool>>(std::nullopt, [&]() -> std::optional<bool> {
    const auto path = python_class_path(value);
    if (path && path->first == "numpy" && (path->second == "bool_" || path->second == "bool")) {
      const int truth = PyObject_IsTrue(value);
      if (truth >= 0) return truth == 1;
    } else {
      raise_wrong_type(signature, parameter, "bool", value);
    }
    note_argument_failure(parameter);
    return std::nullopt;
  });
}

std::optional<uint64_t> convert_u64_argument(const char* parameter, PyObject* value) noexcept {
  PyRef index(PyNumber_Index(value));
  if (index) {
    const unsigned long long converted = PyLong_AsUnsignedLongLong(index.get());
    if (!(converted == static_cast<unsigned long long>(-1) && PyErr_Occurred() != nullptr)) return converted;
  }
  note_argument_failure(parameter);
  return std::nullopt;
}

void note_argument_failure(const char* parameter) noexcept {
  char note[128];
  PyOS_snprintf(note, sizeof note, "while processing '%s'", parameter);
  add_note_to_current_error(note);
}

}  // namespace veln
