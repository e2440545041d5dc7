// Making classes and instances that hold engine values.
//
// Classes are heap types made from PyType_Spec at import. A class whose
// instances hold one C++ value uses Boxed<T> as its object struct:
//
//   using PortRefObject = Boxed<vornix::PortRef>;
//   PyType_Spec spec = {.name = "PortRef", .basicsize = sizeof(PortRefObject), ...};
//   slot(Py_tp_dealloc, boxed_dealloc<vornix::PortRef>)
//   Ref obj = new_boxed(types().port_ref.get(), vornix::PortRef{...});
//   const vornix::PortRef& v = boxed_value<vornix::PortRef>(obj.get());
//
// The value is constructed after the interpreter allocated the object and is
// destroyed only when it was constructed, so an object whose
// construction failed still deallocates safely. Boxed objects hold no Python
// references but strs (which cannot form cycles), so they need no
// garbage-collector support.
#pragma once

#include <cstdint>
#include <new>
#include <utility>

#include "support/borrow.hpp"
#include "support/errors.hpp"
#include "support/python.hpp"
#include "support/ref.hpp"

namespace vornix::py {

// A new class from `spec`; throws PyErrorAlreadySet on failure.
// REQUIRES: spec.name, the method/getset tables and the doc string named in
// the slots have static storage (the interpreter keeps pointers to them).
Ref make_class(PyType_Spec& spec);

// Adds a class attribute. Class attributes can only be added while the class
// is still mutable: create it without Py_TPFLAGS_IMMUTABLETYPE, add its
// attributes, then call make_immutable().
void set_class_attr(PyObject* type, const char* name, PyObject* value);
// Forbids rebinding or deleting attributes of the class from now on, as for
// classes made with Py_TPFLAGS_IMMUTABLETYPE.
void make_immutable(PyObject* type);

// A deterministic 64-bit hash as hash() returns it: read as a signed integer,
// with -1 (the interpreter's error marker) moved to -2. Equal values then hash
// alike in every process.
inline Py_hash_t python_hash(std::uint64_t stable) noexcept {
  const auto h = static_cast<Py_hash_t>(stable);
  return h == -1 ? -2 : h;
}

template <class T>
struct Boxed {
  PyObject ob_base;
  bool constructed;  // false until `value` exists; zeroed by the allocator
  BorrowFlag borrow;
  T value;
};

template <class T>
Boxed<T>& as_boxed(PyObject* o) noexcept {
  return *reinterpret_cast<Boxed<T>*>(o);
}

// REQUIRES: `o` is an instance of a class whose object struct is Boxed<T>.
template <class T>
T& boxed_value(PyObject* o) noexcept {
  return as_boxed<T>(o).value;
}

namespace detail {

// Storage for a new instance of `type`, refcount one, fields unset. A plain
// boxed class (no garbage-collector support, no extra slots) takes the object
// allocator directly: every field is written by the caller, so the zeroing of
// the generic allocator would be wasted on large values.
template <class T>
Ref alloc_boxed(PyObject* type) {
  auto* tp = reinterpret_cast<PyTypeObject*>(type);
  if (!PyType_HasFeature(tp, Py_TPFLAGS_HAVE_GC) && tp->tp_itemsize == 0 &&
      tp->tp_basicsize == static_cast<Py_ssize_t>(sizeof(Boxed<T>)) &&
      tp->tp_free == PyObject_Free) {
    void* memory = PyObject_Malloc(sizeof(Boxed<T>));
    if (memory == nullptr) {
      PyErr_NoMemory();
      throw PyErrorAlreadySet{};
    }
    return Ref::steal(PyObject_Init(static_cast<PyObject*>(memory), tp));
  }
  return check(PyType_GenericAlloc(tp, 0));
}

}  // namespace detail

// A new instance of `type` (whose object struct is Boxed<T>) holding `value`.
template <class T>
Ref new_boxed(PyObject* type, T value) {
  Ref obj = detail::alloc_boxed<T>(type);
  Boxed<T>& b = as_boxed<T>(obj.get());
  b.constructed = false;
  new (&b.borrow) BorrowFlag();
  new (&b.value) T(std::move(value));
  b.constructed = true;
  return obj;
}

// The same, with the value built in place from `args` (no temporary to move
// from: the engine's events are large variants).
template <class T, class... Args>
Ref emplace_boxed(PyObject* type, Args&&... args) {
  Ref obj = detail::alloc_boxed<T>(type);
  Boxed<T>& b = as_boxed<T>(obj.get());
  b.constructed = false;
  new (&b.borrow) BorrowFlag();
  new (&b.value) T(std::forward<Args>(args)...);
  b.constructed = true;
  return obj;
}

template <class T>
void boxed_dealloc(PyObject* self) noexcept {
  PyTypeObject* tp = Py_TYPE(self);
  Boxed<T>& b = as_boxed<T>(self);
  if (b.constructed) b.value.~T();
  tp->tp_free(self);
  Py_DECREF(tp);  // heap-type instances own a reference to their class
}

}  // namespace vornix::py
