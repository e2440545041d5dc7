// Building Python lists from C++ ranges.
//
//   Ref names = list_of(node_names, [](const std::string& n) { return to_py_str(n); });
//
// The list is made at its final size and each element is stored as it is
// converted, with no intermediate copy; a failed conversion drops the list
// (its unset slots are NULL, which the interpreter frees safely) and
// propagates PyErrorAlreadySet.
//
// Where the interpreter emulates the C API (PyPy), a list made at its final
// size keeps its elements in C storage, and every later read of an element
// from Python pays the emulation again (a list of three read once costs some
// 10 us); a list grown by appending holds the interpreter's own objects.
#pragma once

#include <cstddef>

#include "support/compat.hpp"
#include "support/errors.hpp"
#include "support/python.hpp"
#include "support/ref.hpp"

namespace vornix::py {

template <class Range, class Convert>
Ref list_of(Range&& items, Convert convert) {
  if constexpr (compat::kPyPy) {
    Ref list = check(PyList_New(0));
    for (auto&& item : items) {
      Ref element = convert(item);
      check_status(PyList_Append(list.get(), element.get()));
    }
    return list;
  }
  Ref list = check(PyList_New(static_cast<Py_ssize_t>(std::size(items))));
  Py_ssize_t i = 0;
  for (auto&& item : items) {
    Ref element = convert(item);
    PyList_SET_ITEM(list.get(), i++, element.release());
  }
  return list;
}

}  // namespace vornix::py
