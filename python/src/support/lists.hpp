// Building Python lists from C++ ranges.
//
//   Ref names = list_of(node_names, [](const std::string& n) { return to_py_str(n); });
//
// The list is made at its final size and each element is stored as it is
// converted, with no intermediate copy; a failed conversion drops the list
// (its unset slots are NULL, which the interpreter frees safely) and
// propagates PyErrorAlreadySet.
#pragma once

#include <cstddef>

#include "support/errors.hpp"
#include "support/python.hpp"
#include "support/ref.hpp"

namespace vornix::py {

template <class Range, class Convert>
Ref list_of(Range&& items, Convert convert) {
  Ref list = check(PyList_New(static_cast<Py_ssize_t>(std::size(items))));
  Py_ssize_t i = 0;
  for (auto&& item : items) {
    Ref element = convert(item);
    PyList_SET_ITEM(list.get(), i++, element.release());
  }
  return list;
}

}  // namespace vornix::py
