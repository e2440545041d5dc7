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
#include <span>
#include <string>

#include "support/errors.hpp"
#include "support/py_text.hpp"
#include "support/python.hpp"
#include "support/ref.hpp"

namespace vornix::py {

// A list of a known final size, filled element by element in order.
class ListBuilder {
 public:
  explicit ListBuilder(std::size_t size)
      : list_(check(PyList_New(static_cast<Py_ssize_t>(size)))) {}

  void add(Ref element) { PyList_SET_ITEM(list_.get(), next_++, element.release()); }

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

// A new list of strs holding the texts, in order.
inline Ref str_list(std::span<const std::string> items) {
  return list_of(items, [](const std::string& item) { return to_py_str(item); });
}

}  // namespace vornix::py
