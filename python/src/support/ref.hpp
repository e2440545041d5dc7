// Ref: an owning reference to a Python object.
//
// A raw PyObject* in binding code is always borrowed; what we own lives in a
// Ref until it is handed to the interpreter with release(). Whether a new Ref
// steals a reference or takes a new one is named at the call site:
//
//   Ref s = Ref::steal(PyUnicode_FromString("x"));   // adopt a new reference
//   Ref t = Ref::borrow(some_borrowed_object);        // take one of our own
//   return s.release();                               // hand it to CPython
//
// Move-only. Needs the interpreter lock like everything else here.
#pragma once

#include <utility>

#include "support/python.hpp"

namespace vornix::py {

class Ref {
 public:
  Ref() = default;
  static Ref steal(PyObject* p) noexcept { return Ref(p); }
  static Ref borrow(PyObject* p) noexcept {
    Py_XINCREF(p);
    return Ref(p);
  }
  Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  Ref& operator=(Ref&& o) noexcept {
    // Drop the old object last: its finalizer may run arbitrary code that
    // must not see this Ref half-assigned.
    Ref old(std::move(*this));
    p_ = std::exchange(o.p_, nullptr);
    return *this;
  }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  ~Ref() { Py_XDECREF(p_); }

  PyObject* get() const noexcept { return p_; }
  [[nodiscard]] PyObject* release() noexcept { return std::exchange(p_, nullptr); }
  explicit operator bool() const noexcept { return p_ != nullptr; }

 private:
  explicit Ref(PyObject* p) noexcept : p_(p) {}
  PyObject* p_ = nullptr;
};

}  // namespace vornix::py
