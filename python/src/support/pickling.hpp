// Pickling and copying by value.
//
// A picklable class reduces an instance to a call of its own public API: its
// constructor or one of its static constructors, with arguments read back
// from the instance. Unpickling, copy.copy and copy.deepcopy then pass through
// the same argument checks as any other caller, so malformed pickle data
// raises that constructor's TypeError or ValueError and never reaches engine
// code. Enumeration members reduce to getattr(Class, "Member"), so they
// unpickle to the class's own member objects.
//
//   constexpr const char* kFields[] = {"source", "target"};
//   constexpr ReduceRecipe kRecipe{&ClassRegistry::edge, nullptr, kFields};
//   PyMethodDef edge_methods[] = {reduce_method<reduce_by_getters<kRecipe>>(), {...}};
//
// Every function throws PyErrorAlreadySet with the Python error set.
#pragma once

#include <span>

#include "support/errors.hpp"
#include "support/python.hpp"
#include "support/ref.hpp"
#include "support/types.hpp"

namespace vornix::py {

// (callable, args): the reduce value that rebuilds an object as callable(*args).
Ref reduce_call(PyObject* callable, Ref args);
// (getattr(cls, factory), args), or (cls, args) when `factory` is null.
Ref reduce_to_factory(PyObject* cls, const char* factory, Ref args);
// (getattr, (cls, member)): a class attribute, found again by name.
Ref reduce_to_member(PyObject* cls, const char* member);

struct ReduceRecipe {
  Ref ClassRegistry::*cls;               // the class that rebuilds the value
  const char* factory;                   // its static constructor, or null for cls(...)
  std::span<const char* const> getters;  // read from the instance, passed by position
};

Ref reduce_with_getters(PyObject* self, const ReduceRecipe& recipe);

template <const ReduceRecipe& R>
PyObject* reduce_by_getters(PyObject* self, PyObject*) {
  return reduce_with_getters(self, R).release();
}

// The method-table entry for a METH_NOARGS `__reduce__` implementation.
template <PyObject* (*Impl)(PyObject*, PyObject*)>
PyMethodDef reduce_method() noexcept {
  return {"__reduce__", noargs<Impl>(), METH_NOARGS,
          PyDoc_STR("__reduce__($self, /)\n--\n\nReturn state information for pickling.")};
}

}  // namespace vornix::py
