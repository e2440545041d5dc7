// Method and getter descriptors that keep their doc strings.
//
// Some interpreters (PyPy) make method and getset descriptors from a class's
// tables without the doc strings, and without __text_signature__. Where that
// is so, make_class() replaces each instance method and getter of a new class
// by one of these, which behave like the interpreter's own descriptors and
// show the doc string split from its text signature as CPython shows it. A
// method still runs through the interpreter's own descriptor, which it keeps.
#pragma once

#include "support/python.hpp"
#include "support/ref.hpp"

namespace vornix::py {

// The text signature in a raw doc string of `name` ("name(args)\n--\n\n..."),
// as "(args)"; None when it has none.
Ref text_signature_of(const char* name, const char* raw_doc);

// Sets the class doc string of `type` (named `name`) from its raw form, split
// from the text signature. (PyPy splits it too, but reads an empty doc as
// None.)
void install_class_doc(PyObject* type, const char* name, const char* raw_doc);

// Replaces the instance methods of `methods` (a null-terminated table, or
// null) and the getters of `getset` in the class dict of `type`.
// REQUIRES: `type` is still mutable; the tables have static storage.
void install_documented_descriptors(PyObject* type, PyMethodDef* methods, PyGetSetDef* getset);

}  // namespace vornix::py
