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

// A list of a known final size, filled element by element in order.
class ListBuilder {
 public:
  explicit ListBuilder(std::size_t size)
      : list_(check(PyList_New(compat::kPyPy ? 0 : static_cast<Py_ssize_t>(size)))) {}

  void add(Ref element) {
    if constexpr (compat::kPyPy) {
      check_status(PyList_Append(list_.get(), element.get()));
    } else {
      PyList_SET_ITEM(list_.get(), next_++, element.release());
    }
  }

  Ref done() { return std::move(list_); }

 private:
  Ref list_;
  Py_ssize_t next_ = 0;
};

template <class Range, class Convert>
Ref list_of(Range&& items, Convert convert) {
  ListBuilder list(std::size(items));
  for (auto&& item : items) list.add(convert(item));
  return list.done();
}

}  // namespace vornix::py
