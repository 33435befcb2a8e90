// VmExecutionError: the one error type inside the engine, a message and
// nothing else. VmResult<T> carries either a value or such an error; every
// fallible operation returns one instead of throwing, so no C++ exception can
// escape into the Python host.
#pragma once

#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <cstdint>
#include <new>

#include "values/debug_checks.hpp"

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

// A value of T or an error E. The value lives inline and the error is boxed
// behind one pointer, so the success path is the value plus a null pointer:
// no variant index, no visit, and a Result<VmValue> is 24 bytes. Errors are
// rare and may allocate. Accessing the wrong side is a programming error.
template <class T, class E = VmExecutionError>
class [[nodiscard]] Result {
 public:
  Result(T value) : error_(nullptr) { new (&value_) T(std::move(value)); }  // NOLINT: implicit by design
  Result(E error) : error_(new E(std::move(error))) {}                    // NOLINT: implicit by design
  Result(const Result& other) : error_(nullptr) {
    if (other.error_ == moved_from()) {
      error_ = moved_from();  // nothing to copy from a result whose error moved out
    } else if (other.error_ != nullptr) {
      error_ = new E(*other.error_);
    } else {
      new (&value_) T(other.value_);
    }
  }
  Result(Result&& other) noexcept(std::is_nothrow_move_constructible_v<T>) : error_(other.error_) {
    if (error_ != nullptr) {
      other.error_ = moved_from();  // the box now belongs to this result
    } else {
      new (&value_) T(std::move(other.value_));
    }
  }
  Result& operator=(Result other) noexcept(std::is_nothrow_move_constructible_v<T>) {
    destroy();
    new (this) Result(std::move(other));
    return *this;
  }
  ~Result() { destroy(); }

  bool ok() const { return error_ == nullptr; }
  explicit operator bool() const { return ok(); }

  T& value() & {
    VELN_DEBUG_CHECK(ok(), "the value of a failed result");
    return value_;
  }
  const T& value() const& {
    VELN_DEBUG_CHECK(ok(), "the value of a failed result");
    return value_;
  }
  T&& value() && {
    VELN_DEBUG_CHECK(ok(), "the value of a failed result");
    return std::move(value_);
  }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T&& operator*() && { return std::move(*this).value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

  const E& error() const& {
    VELN_DEBUG_CHECK(error_ != nullptr && error_ != moved_from(), "a result without an error");
    return *error_;
  }
  E&& error() && {
    VELN_DEBUG_CHECK(error_ != nullptr && error_ != moved_from(), "a result without an error");
    return std::move(*error_);
  }

 private:
  // Marks a result whose error box was moved out: it holds nothing to
  // destroy. Never dereferenced.
  static E* moved_from() { return reinterpret_cast<E*>(alignof(E)); }

  // Null and the moved-from mark own no box: one comparison tells a box
  // apart, so destroying a success with a trivial value is a single test.
  bool owns_error_box() const { return reinterpret_cast<std::uintptr_t>(error_) > alignof(E); }

  // The error side is out of line, so that the success side inlines.
  void destroy() {
    if (error_ == nullptr) [[likely]] {
      value_.~T();
    } else {
      destroy_error();
    }
    error_ = moved_from();
  }
  [[gnu::noinline]] void destroy_error() {
    if (owns_error_box()) delete error_;
  }

  union {
    T value_;
  };
  E* error_;
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
