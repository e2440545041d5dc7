// The C API as the binding uses it, on every CPython it builds for (3.9 on).
//
// CPython 3.9 lacks a few things that later versions provide. This header
// fills those gaps in one place, so that no other file tests interpreter
// versions:
//
// - PyModule_AddObjectRef (3.10) is provided where it is missing.
// - The class flags Py_TPFLAGS_IMMUTABLETYPE and
//   Py_TPFLAGS_DISALLOW_INSTANTIATION (3.10) are defined with CPython's
//   values where they are missing, so that class specs can ask for them
//   everywhere. Only make_class() (support/classes.cpp) reads them, and it
//   passes on to the interpreter just what the interpreter implements,
//   providing the rest itself.
//
// The module is written for CPython's object layout and allocator. PyPy runs
// the pure-Python front end instead, which drives the engine through its C
// interface; its emulation of the C API is not a target.
#pragma once

#include "support/python.hpp"

#if defined(PYPY_VERSION)
#error "vornix_sim's extension module is for CPython only; PyPy uses the pure-Python front end"
#endif

namespace vornix::py::compat {

// Whether the interpreter refuses attribute changes on classes that carry
// Py_TPFLAGS_IMMUTABLETYPE (3.10 on). Before that, make_class() freezes a
// class by giving it a metatype that refuses changes.
#if defined(Py_TPFLAGS_IMMUTABLETYPE)
inline constexpr bool kNativeImmutableClasses = true;
#else
inline constexpr bool kNativeImmutableClasses = false;
#endif

}  // namespace vornix::py::compat

#ifndef Py_TPFLAGS_IMMUTABLETYPE
#define Py_TPFLAGS_IMMUTABLETYPE (1UL << 8)
#endif
#ifndef Py_TPFLAGS_DISALLOW_INSTANTIATION
#define Py_TPFLAGS_DISALLOW_INSTANTIATION (1UL << 7)
#endif

#if PY_VERSION_HEX < 0x030A0000
// Like PyModule_AddObject, but never steals `value` (not even on success).
inline int PyModule_AddObjectRef(PyObject* module, const char* name, PyObject* value) {
  Py_XINCREF(value);
  const int status = PyModule_AddObject(module, name, value);
  if (status < 0) Py_XDECREF(value);
  return status;
}
#endif
