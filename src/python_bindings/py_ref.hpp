// PyRef: sole owner of one strong Python reference, released when the owner
// goes out of scope on every path (early returns and C++ unwinding alike).
// It never takes a borrowed reference silently: borrowed ones are adopted
// only through PyRef::borrowed, which adds the reference it will release.
// Must only be used with the interpreter lock held.
#pragma once

#include <Python.h>

#include <utility>

namespace veln {

class PyRef {
 public:
  PyRef() = default;
  // Takes over a new (strong) reference; nullptr stays empty.
  explicit PyRef(PyObject* owned) : obj_(owned) {}
  static PyRef borrowed(PyObject* obj) {
    Py_XINCREF(obj);
    return PyRef(obj);
  }
  PyRef(const PyRef&) = delete;
  PyRef& operator=(const PyRef&) = delete;
  PyRef(PyRef&& other) noexcept : obj_(std::exchange(other.obj_, nullptr)) {}
  PyRef& operator=(PyRef&& other) noexcept {
    if (this != &other) {
      Py_XDECREF(obj_);
      obj_ = std::exchange(other.obj_, nullptr);
    }
    return *this;
  }
  ~PyRef() { Py_XDECREF(obj_); }

  PyObject* get() const { return obj_; }
  explicit operator bool() const { return obj_ != nullptr; }
  // Hands the reference to the caller (for example as a function result).
  PyObject* release() { return std::exchange(obj_, nullptr); }

 private:
  PyObject* obj_ = nullptr;
};

}  // namespace veln
