// How failures travel through the binding.
//
// Binding code is written in plain C++: a helper that sees a failed C API call
// (the Python error is already set) throws PyErrorAlreadySet, and a helper
// that refuses input sets the Python error itself and throws the same. Engine
// invariant breaks arrive as vornix::InternalError. No exception may unwind
// into the interpreter, so every function the interpreter calls is wrapped by
// guarded<> (or one of the table helpers below), which turns whatever was
// thrown into a set Python error and the slot's error value:
//
//   static PyObject* edge_repr(PyObject* self) { ... may throw ... }
//   PyType_Slot s = slot(Py_tp_repr, guarded<edge_repr>);
//   PyMethodDef m = {"get", fastcall_kw<get_impl>(), METH_FASTCALL | METH_KEYWORDS, doc};
//
// set_python_error_from_current_exception() in errors.cpp is the only place
// with catch clauses.
#pragma once

#include <string>
#include <string_view>
#include <type_traits>

#include "support/python.hpp"
#include "support/ref.hpp"

namespace vornix::py {

// Thrown after the Python error indicator has been set.
struct PyErrorAlreadySet {};

// Adopts `p` as a new reference; throws PyErrorAlreadySet when it is null
// (the call that returned it has set the error).
Ref check(PyObject* p);
// Throws PyErrorAlreadySet when a C API status result is negative.
int check_status(int status);

// Holds the pending Python error (if any) out of the interpreter, so that
// clean-up calls can run in between without losing or clobbering it, and
// sets it again when it goes out of scope, replacing (or clearing) whatever
// was set in between. A caller that means to raise something else takes it.
//
//   PendingError pending;                 // the interrupt, fetched
//   if (PyObject* exc = pending.exception()) add_events(exc);
//   throw PyErrorAlreadySet{};            // the interrupt is set again
class PendingError {
 public:
  PendingError() noexcept { PyErr_Fetch(&type_, &value_, &tb_); }
  ~PendingError() { PyErr_Restore(type_, value_, tb_); }
  PendingError(const PendingError&) = delete;
  PendingError& operator=(const PendingError&) = delete;

  // The exception object, normalized, its traceback attached; null when no
  // error was pending. Borrowed: the guard still holds it.
  PyObject* exception() noexcept;
  // The same, taken: nothing is set again when the guard goes.
  Ref take_exception() noexcept;

 private:
  PyObject* type_ = nullptr;
  PyObject* value_ = nullptr;
  PyObject* tb_ = nullptr;
};

// Sets `type` with `message` and throws PyErrorAlreadySet.
[[noreturn]] void raise(PyObject* type, std::string_view message);
[[noreturn]] void raise_type_error(std::string_view message);
[[noreturn]] void raise_value_error(std::string_view message);

// Sets the Python error that matches the exception being handled:
// PyErrorAlreadySet keeps the error already set, vornix::InternalError raises
// the module's internal-fault class with what() as message, std::bad_alloc
// raises MemoryError, any other exception SystemError.
// REQUIRES: called inside a catch block.
void set_python_error_from_current_exception() noexcept;

// The class behind internal faults: derived directly from BaseException so
// that `except Exception` does not swallow a broken invariant. Created once at
// import; not a module attribute. Borrowed; null before import.
PyObject* internal_fault_class() noexcept;
// Creates that class (qualified name "vornix_sim.InternalFault") and records
// it in the registry (support/types.hpp). Called once by the module's entry
// point.
void create_internal_fault_class();

// Replaces the pending Python error by an internal fault with `message`,
// keeping the original as its cause, and throws PyErrorAlreadySet.
// REQUIRES: a Python error is set.
[[noreturn]] void raise_internal_fault_from_pending(std::string_view message);

namespace detail {

template <class R>
R error_value() noexcept {
  if constexpr (std::is_pointer_v<R>) {
    return nullptr;
  } else {
    return static_cast<R>(-1);
  }
}

template <auto Impl>
struct Guarded;

template <class R, class... A, R (*Impl)(A...)>
struct Guarded<Impl> {
  static R call(A... a) noexcept {
    try {
      return Impl(a...);
    } catch (...) {
      set_python_error_from_current_exception();
      if constexpr (std::is_void_v<R>) {
        PyErr_WriteUnraisable(nullptr);  // a void slot has no way to report it
      } else {
        return error_value<R>();
      }
    }
  }
};

template <class R, class... A, R (*Impl)(A...) noexcept>
struct Guarded<Impl> {
  static R call(A... a) noexcept { return Impl(a...); }
};

}  // namespace detail

// The noexcept wrapper of `Impl` with the same signature. Failure returns
// nullptr for pointer results and -1 for integer results (tp_hash, nb_bool,
// sq_length, ...), as the interpreter expects.
template <auto Impl>
inline constexpr auto guarded = &detail::Guarded<Impl>::call;

// Signature of a METH_FASTCALL | METH_KEYWORDS method (also for METH_STATIC,
// where self is null).
using FastcallKwImpl = PyObject* (*)(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                     PyObject* kwnames);

// The PyCFunction to put in a method table for a fastcall-with-keywords
// implementation. Casting through void(*)() keeps -Wcast-function-type quiet.
template <FastcallKwImpl Impl>
PyCFunction fastcall_kw() noexcept {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(guarded<Impl>));
}

// The PyCFunction for a METH_NOARGS implementation PyObject*(PyObject* self, PyObject*).
template <PyObject* (*Impl)(PyObject*, PyObject*)>
PyCFunction noargs() noexcept {
  return guarded<Impl>;
}

// A PyType_Slot entry: functions go through void*, data pointers lose const.
template <class T>
PyType_Slot slot(int id, T* p) noexcept {
  if constexpr (std::is_function_v<T>) {
    return PyType_Slot{id, reinterpret_cast<void*>(p)};
  } else {
    return PyType_Slot{id, const_cast<void*>(static_cast<const void*>(p))};
  }
}

}  // namespace vornix::py
