// VmExecutionError: the one error type inside the engine, a message and
// nothing else. VmResult<T> carries either a value or such an error; every
// fallible operation returns one instead of throwing, so no C++ exception can
// escape into the Python host.
#pragma once

#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>

namespace veln {

struct VmExecutionError {
  std::string message;

  VmExecutionError() = default;
  explicit VmExecutionError(std::string msg) : message(std::move(msg)) {}
  static VmExecutionError make(std::string_view msg) { return VmExecutionError(std::string(msg)); }

  // Displays as exactly its message.
  const std::string& display() const { return message; }
  friend bool operator==(const VmExecutionError&, const VmExecutionError&) = default;
};

// A value of T or an error E. Kept deliberately small: construction from
// either side, a test, and access. Accessing the wrong side is a programming
// error and is checked in debug builds by std::get.
template <class T, class E = VmExecutionError>
class [[nodiscard]] Result {
 public:
  Result(T value) : v_(std::in_place_index<0>, std::move(value)) {}  // NOLINT: implicit by design
  Result(E error) : v_(std::in_place_index<1>, std::move(error)) {}  // NOLINT: implicit by design

  bool ok() const { return v_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() & { return *std::get_if<0>(&v_); }
  const T& value() const& { return *std::get_if<0>(&v_); }
  T&& value() && { return std::move(*std::get_if<0>(&v_)); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T&& operator*() && { return std::move(*this).value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

  const E& error() const& { return *std::get_if<1>(&v_); }
  E&& error() && { return std::move(*std::get_if<1>(&v_)); }

 private:
  std::variant<T, E> v_;
};

// Success-or-error for operations without a value.
struct Ok {};

template <class T>
using VmResult = Result<T, VmExecutionError>;
using VmStatus = Result<Ok, VmExecutionError>;

inline VmExecutionError vm_error(std::string message) { return VmExecutionError(std::move(message)); }

}  // namespace veln

// Propagates an error: VELN_TRY(auto x, expr) binds x to the value of expr or
// returns its error from the enclosing function.
#define VELN_CONCAT_INNER(a, b) a##b
#define VELN_CONCAT(a, b) VELN_CONCAT_INNER(a, b)
#define VELN_TRY_IMPL(tmp, decl, expr) \
  auto tmp = (expr);                   \
  if (!tmp.ok()) return std::move(tmp).error(); \
  decl = std::move(tmp).value()
#define VELN_TRY(decl, expr) VELN_TRY_IMPL(VELN_CONCAT(veln_try_, __LINE__), decl, expr)
// Propagates the error of a status-returning call.
#define VELN_CHECK(expr)                                   \
  do {                                                     \
    auto veln_check_tmp = (expr);                          \
    if (!veln_check_tmp.ok()) return std::move(veln_check_tmp).error(); \
  } while (0)
