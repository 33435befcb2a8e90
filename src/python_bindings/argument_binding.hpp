// Binding and conversion of the arguments of the module's functions (the
// fast-call convention with keywords). Binding failures are worded as CPython
// words them for a Python function of the same signature; conversion failures
// carry the note "while processing '<parameter>'". Requires the interpreter
// lock; never throws.
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace veln {

struct ParameterSpec {
  const char* name;
  bool keyword_only;  // declared after "*"
  bool required;
};

struct FunctionSignature {
  const char* function_name;
  std::span<const ParameterSpec> parameters;  // positional-or-keyword ones first
};

// Fills `slots` (one per parameter, borrowed references; nullptr where an
// optional parameter was not given) from a fast call. Returns false with a
// TypeError set on a binding failure.
bool bind_arguments(const FunctionSignature& signature, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, std::span<PyObject*> slots) noexcept;

// A str argument as its UTF-8 bytes (embedded NULs kept). The view borrows
// the str's own UTF-8 buffer and stays valid while the argument lives, that is
// for the whole call. Returns nullopt with the error set (TypeError for another
// type, UnicodeEncodeError for lone surrogates), noted with the parameter name.
std::optional<std::string_view> convert_str_argument(const FunctionSignature& signature,
                                                     const char* parameter, PyObject* value) noexcept;

// As convert_str_argument, where None (or an omitted argument, nullptr) means
// absent: `result` is then nullopt. Returns false with the error set.
bool convert_optional_str_argument(const FunctionSignature& signature, const char* parameter,
                                   PyObject* value, std::optional<std::string_view>& result) noexcept;

// A bool argument: a Python bool, or numpy's boolean scalar by its truth.
// Returns nullopt with a TypeError noted with the parameter name.
std::optional<bool> convert_bool_argument(const FunctionSignature& signature, const char* parameter,
                                          PyObject* value) noexcept;

// An integer argument in 0 .. 2^64 - 1 (an int, or any object with an integer
// index). Returns nullopt with the error noted: TypeError for another type,
// OverflowError outside the range.
std::optional<uint64_t> convert_u64_argument(const char* parameter, PyObject* value) noexcept;

// Adds the note naming the parameter to the error currently set.
void note_argument_failure(const char* parameter) noexcept;

}  // namespace veln
