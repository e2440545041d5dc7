// Method and getter descriptors that keep their doc strings.
//
// Some interpreters (PyPy) make method and getset descriptors from a class's
// tables without the doc strings, and without __text_signature__. Where that
// is so, make_class() replaces each instance method and getter of a new class
// by one of these, which behave like the interpreter's own descriptors and
// show the doc string split from its text signature as CPython shows it.
#pragma once

#include "support/python.hpp"
#include "support/ref.hpp"

namespace vornix::py {

// Replaces the instance methods of `methods` (a null-terminated table, or
// null) and the getters of `getset` in the class dict of `type`.
// REQUIRES: `type` is still mutable; the tables have static storage.
void install_documented_descriptors(PyObject* type, PyMethodDef* methods, PyGetSetDef* getset);

}  // namespace vornix::py
