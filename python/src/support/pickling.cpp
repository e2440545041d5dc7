#include "support/pickling.hpp"

namespace vornix::py {

Ref reduce_call(PyObject* callable, Ref args) {
  return check(PyTuple_Pack(2, callable, args.get()));
}

Ref reduce_to_factory(PyObject* cls, const char* factory, Ref args) {
  if (factory == nullptr) return reduce_call(cls, std::move(args));
  Ref callable = check(PyObject_GetAttrString(cls, factory));
  return reduce_call(callable.get(), std::move(args));
}

Ref reduce_to_member(PyObject* cls, const char* member) {
  Ref builtins = check(PyImport_ImportModule("builtins"));
  Ref getattr_fn = check(PyObject_GetAttrString(builtins.get(), "getattr"));
  Ref name = check(PyUnicode_FromString(member));
  return reduce_call(getattr_fn.get(), check(PyTuple_Pack(2, cls, name.get())));
}

Ref reduce_with_getters(PyObject* self, const ReduceRecipe& recipe) {
  Ref args = check(PyTuple_New(static_cast<Py_ssize_t>(recipe.getters.size())));
  for (std::size_t i = 0; i < recipe.getters.size(); ++i) {
    Ref value = check(PyObject_GetAttrString(self, recipe.getters[i]));
    PyTuple_SET_ITEM(args.get(), static_cast<Py_ssize_t>(i), value.release());
  }
  return reduce_to_factory((types().*recipe.cls).get(), recipe.factory, std::move(args));
}

}  // namespace vornix::py
