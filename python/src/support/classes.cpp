#include "support/classes.hpp"

#include <cstring>

namespace vornix::py {
namespace {

// Restores a pending Python error (if any) when it goes out of scope, so
// that clean-up calls can run in between without losing or clobbering it.
class PendingError {
 public:
  PendingError() { PyErr_Fetch(&type_, &value_, &tb_); }
  ~PendingError() { PyErr_Restore(type_, value_, tb_); }
  PendingError(const PendingError&) = delete;
  PendingError& operator=(const PendingError&) = delete;

 private:
  PyObject* type_ = nullptr;
  PyObject* value_ = nullptr;
  PyObject* tb_ = nullptr;
};

// Classes are made under their bare names, which the interpreter greets with
// a DeprecationWarning ("has no __module__ attribute"). Under `-W error`
// that warning would fail the import, so it is silenced while the class is
// made, with the caller's warning filters restored afterwards.
Ref make_quietly(PyType_Spec& spec) {
  Ref warnings = check(PyImport_ImportModule("warnings"));
  Ref saved = check(PyObject_CallMethod(warnings.get(), "catch_warnings", nullptr));
  Ref entered = check(PyObject_CallMethod(saved.get(), "__enter__", nullptr));
  Ref filtered = Ref::steal(PyObject_CallMethod(warnings.get(), "simplefilter", "sO", "ignore",
                                                PyExc_DeprecationWarning));
  Ref cls = filtered ? Ref::steal(PyType_FromSpec(&spec)) : Ref();
  {
    PendingError keep;
    Ref exited = Ref::steal(
        PyObject_CallMethod(saved.get(), "__exit__", "OOO", Py_None, Py_None, Py_None));
    if (!exited) PyErr_Clear();  // the filters are best effort; the class decides
  }
  if (!cls) throw PyErrorAlreadySet{};
  return cls;
}

}  // namespace

Ref make_class(PyType_Spec& spec) {
  if (std::strchr(spec.name, '.') != nullptr) return check(PyType_FromSpec(&spec));
  return make_quietly(spec);
}

void set_class_attr(PyObject* type, const char* name, PyObject* value) {
  check_status(PyObject_SetAttrString(type, name, value));
}

void make_immutable(PyObject* type) noexcept {
#if defined(Py_TPFLAGS_IMMUTABLETYPE) && !defined(PYPY_VERSION)
  // No API sets the flag after creation, and a class made immutable from the
  // start refuses the attributes we still have to add. CPython's own static
  // classes get the flag the same way; type_setattro reads it on every set.
  reinterpret_cast<PyTypeObject*>(type)->tp_flags |= Py_TPFLAGS_IMMUTABLETYPE;
  PyType_Modified(reinterpret_cast<PyTypeObject*>(type));
#else
  (void)type;  // PyPy keeps class attributes in its own type object
#endif
}

}  // namespace vornix::py
