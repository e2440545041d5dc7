// The tp_new of classes whose instances only the binding makes.
//
// A heap type without its own tp_new would inherit object's, and calling the
// class would hand out an instance whose C++ value was never constructed.
// This one refuses the call instead, on every interpreter (the
// DISALLOW_INSTANTIATION flag is not available everywhere we build).
//
//   slot(Py_tp_new, refuse_new)
#pragma once

#include <string>

#include "support/errors.hpp"
#include "support/py_text.hpp"
#include "support/python.hpp"

namespace vornix::py {

inline PyObject* refuse_new(PyTypeObject* type, PyObject*, PyObject*) noexcept {
  const std::string name = class_name(reinterpret_cast<PyObject*>(type));
  PyErr_Format(PyExc_TypeError, "cannot create '%s' instances", name.c_str());
  return nullptr;
}

}  // namespace vornix::py
