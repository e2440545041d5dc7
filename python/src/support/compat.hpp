// The C API as the binding uses it, on every interpreter it builds for.
//
// The oldest supported interpreters (CPython 3.9, PyPy at the 3.9 level) lack
// a few things that later CPython versions provide. This header fills those
// gaps in one place, so that no other file tests interpreter versions:
//
// - PyModule_AddObjectRef (CPython 3.10) is provided where it is missing.
// - The class flags Py_TPFLAGS_IMMUTABLETYPE and
//   Py_TPFLAGS_DISALLOW_INSTANTIATION (CPython 3.10) are defined with
//   CPython's values where they are missing, so that class specs can ask for
//   them everywhere. Only make_class() (support/classes.cpp) reads them, and
//   it passes on to the interpreter just what the interpreter implements,
//   providing the rest itself.
#pragma once

#include "support/python.hpp"

namespace vornix::py::compat {

#if defined(PYPY_VERSION)
inline constexpr bool kPyPy = true;
#else
inline constexpr bool kPyPy = false;
#endif

// Whether the interpreter refuses attribute changes on classes that carry
// Py_TPFLAGS_IMMUTABLETYPE (CPython 3.10 on).
#if defined(Py_TPFLAGS_IMMUTABLETYPE) && !defined(PYPY_VERSION)
inline constexpr bool kNativeImmutableClasses = true;
#else
inline constexpr bool kNativeImmutableClasses = false;
#endif

// Whether a class object may be given another metatype after it was made.
// CPython reads the metatype from the object on every use; PyPy keeps its own
// type object, fixed when the class is made.
inline constexpr bool kMetatypeCanChange = !kPyPy;

// Whether instances of classes made from specs lack an attribute dict, as the
// spec asks, and whether method and getter descriptors keep their doc strings
// and text signatures. PyPy gives every such instance a dict and drops both
// texts from the descriptors.
inline constexpr bool kInstancesWithoutDict = !kPyPy;
inline constexpr bool kDescriptorsKeepDocs = !kPyPy;

// Whether a str made in C costs far more than one made by the interpreter
// (PyPy emulates the C API and pays about a microsecond for each).
inline constexpr bool kStrCrossingIsCostly = kPyPy;

// Whether object.__new__(cls) refuses classes with a constructor (or a
// refusal) of their own. PyPy allocates an instance regardless.
inline constexpr bool kObjectNewChecksClasses = !kPyPy;

// Whether Python code may derive only from classes with Py_TPFLAGS_BASETYPE.
// PyPy lets it derive from any class.
inline constexpr bool kBaseTypeFlagHonoured = !kPyPy;

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
