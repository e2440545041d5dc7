// Walking a dict argument without letting the caller pull it out from under us.
//
//   for_each_dict_item(obj, [&](PyObject* key, PyObject* value) { ... });
//
// The dict (or dict subclass) is walked in its own storage order with
// PyDict_Next, ignoring any __iter__ a subclass defines. Each key and value is
// held by a reference of our own while the callback runs, so a callback that
// runs Python code cannot free them. If the dict's size changes between two
// steps the walk cannot continue meaningfully; that is reported as an
// internal fault rather than silently reading a half-updated table.
#pragma once

#include "base/fault.hpp"
#include "support/errors.hpp"
#include "support/python.hpp"
#include "support/ref.hpp"

namespace vornix::py {

// REQUIRES: PyDict_Check(dict).
template <class F>
void for_each_dict_item(PyObject* dict, F&& fn) {
  Ref hold = Ref::borrow(dict);
  const Py_ssize_t size = PyDict_Size(dict);
  Py_ssize_t pos = 0;
  PyObject* key = nullptr;
  PyObject* value = nullptr;
  while (PyDict_Next(dict, &pos, &key, &value)) {
    Ref k = Ref::borrow(key);
    Ref v = Ref::borrow(value);
    fn(k.get(), v.get());
    if (PyDict_Size(dict) != size) {
      vornix::internal_fault("dictionary changed size during iteration");
    }
  }
}

}  // namespace vornix::py
