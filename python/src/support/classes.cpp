#include "support/classes.hpp"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "support/descriptors.hpp"
#include "support/py_text.hpp"

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
    Ref exited =
        Ref::steal(PyObject_CallMethod(saved.get(), "__exit__", "OOO", Py_None, Py_None, Py_None));
    if (!exited) PyErr_Clear();  // the filters are best effort; the class decides
  }
  if (!cls) throw PyErrorAlreadySet{};
  return cls;
}

// Instances of our classes have no attribute of their own to set, and no
// dict. Where the interpreter gives them one anyway, this refuses what
// CPython refuses, with its messages, and keeps instances from changing their
// class (which would read one value as another).
int instance_setattro(PyObject* self, PyObject* name, PyObject* value) {
  if (PyUnicode_Check(name) && PyUnicode_CompareWithASCIIString(name, "__class__") == 0) {
    PyErr_SetString(PyExc_TypeError,
                    "__class__ assignment only supported for mutable types or ModuleType "
                    "subclasses");
    return -1;
  }
  Ref found = Ref::steal(PyObject_GetAttr(reinterpret_cast<PyObject*>(Py_TYPE(self)), name));
  if (!found) {
    PyErr_Clear();
    PyErr_Format(PyExc_AttributeError, "'%s' object has no attribute '%U'", Py_TYPE(self)->tp_name,
                 name);
    return -1;
  }
  // A data descriptor (a getter) refuses by itself, in its own words.
  if (PyObject_HasAttrString(reinterpret_cast<PyObject*>(Py_TYPE(found.get())), "__set__")) {
    return PyObject_GenericSetAttr(self, name, value);
  }
  PyErr_Format(PyExc_AttributeError, "'%s' object attribute '%U' is read-only",
               Py_TYPE(self)->tp_name, name);
  return -1;
}

// Where the interpreter lets Python code derive from any class, the classes
// not meant as bases refuse when a subclass is made, as CPython refuses them.
PyObject* refuse_subclass(PyObject* cls, PyObject*, PyObject*) {
  Ref mro = check(PyObject_GetAttrString(cls, "__mro__"));
  PyObject* base = PyTuple_Size(mro.get()) > 1 ? PyTuple_GetItem(mro.get(), 1) : cls;
  const std::string name = class_name(base);
  PyErr_Format(PyExc_TypeError, "type '%s' is not an acceptable base type", name.c_str());
  return nullptr;
}

PyMethodDef refuse_subclass_def = {
    "__init_subclass__",
    reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(guarded<refuse_subclass>)),
    METH_VARARGS | METH_KEYWORDS | METH_CLASS, nullptr};

// The metatype of frozen classes where the interpreter has no immutable
// classes of its own: refuses every change, as CPython does for those.
int frozen_class_setattro(PyObject* type, PyObject* name, PyObject* value) {
  (void)value;
  PyErr_Format(PyExc_TypeError, "cannot set %R attribute of immutable type '%s'", name,
               reinterpret_cast<PyTypeObject*>(type)->tp_name);
  return -1;
}

// CPython 3.9 drops the text signature from the doc string of a class made
// from a spec, so the frozen metatype shows the one kept here instead.
std::vector<std::pair<PyObject*, Ref>>& class_signatures() {
  static auto* signatures = new std::vector<std::pair<PyObject*, Ref>>();
  return *signatures;
}

void keep_text_signature(PyObject* type, const char* name, const char* raw_doc) {
  Ref signature = text_signature_of(name, raw_doc);
  auto& all = class_signatures();
  std::erase_if(all, [type](const auto& entry) { return entry.first == type; });
  all.emplace_back(type, std::move(signature));
}

PyObject* frozen_class_text_signature(PyObject* type, void*) {
  for (const auto& [cls, signature] : class_signatures()) {
    if (cls == type) return Ref::borrow(signature.get()).release();
  }
  Py_RETURN_NONE;
}

PyGetSetDef frozen_class_getset[] = {
    {"__text_signature__", frozen_class_text_signature, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyObject* frozen_metatype() {
  static PyObject* meta = nullptr;
  if (meta != nullptr) return meta;
  PyType_Slot slots[] = {
      slot(Py_tp_setattro, frozen_class_setattro),
      slot(Py_tp_getset, frozen_class_getset),
      {0, nullptr},
  };
  PyType_Spec spec = {
      .name = "vornix_sim.FrozenClass",
      .basicsize = 0,
      .itemsize = 0,
      .flags = Py_TPFLAGS_DEFAULT,
      .slots = slots,
  };
  Ref bases = check(PyTuple_Pack(1, reinterpret_cast<PyObject*>(&PyType_Type)));
  meta = check(PyType_FromSpecWithBases(&spec, bases.get())).release();
  return meta;
}

template <class T>
T* find_slot(const PyType_Spec& spec, int id) {
  for (const PyType_Slot* s = spec.slots; s->slot != 0; ++s) {
    if (s->slot == id) return static_cast<T*>(s->pfunc);
  }
  return nullptr;
}

}  // namespace

Ref make_class(PyType_Spec& spec) {
  // The class is made mutable, to receive its attributes, and frozen last.
  const bool frozen = (spec.flags & Py_TPFLAGS_IMMUTABLETYPE) != 0;
  std::vector<PyType_Slot> slots;
  for (const PyType_Slot* s = spec.slots; s->slot != 0; ++s) slots.push_back(*s);
  if (!compat::kInstancesWithoutDict && find_slot<void>(spec, Py_tp_setattro) == nullptr) {
    slots.push_back(slot(Py_tp_setattro, instance_setattro));
  }
  slots.push_back({0, nullptr});
  PyType_Spec made = spec;
  made.flags &= ~static_cast<unsigned int>(Py_TPFLAGS_IMMUTABLETYPE);
  made.slots = slots.data();

  const bool qualified = std::strchr(spec.name, '.') != nullptr;
  Ref cls = qualified ? check(PyType_FromSpec(&made)) : make_quietly(made);
  if (!qualified) {
    Ref module = check(PyUnicode_FromString("vornix_sim"));
    set_class_attr(cls.get(), "__module__", module.get());
  }
  const char* dot = std::strrchr(spec.name, '.');
  const char* bare_name = dot != nullptr ? dot + 1 : spec.name;
  if (!compat::kNativeImmutableClasses && compat::kMetatypeCanChange) {
    keep_text_signature(cls.get(), bare_name, find_slot<const char>(spec, Py_tp_doc));
  }
  if (!compat::kObjectNewChecksClasses) {
    // Instances are made by the binding alone, which allocates them
    // directly. object.__new__(cls) would make one whose value was never
    // built; it refuses classes with abstract methods, so the class has one.
    Ref names = check(Py_BuildValue("(s)", "__new__"));
    Ref abstract = check(PyFrozenSet_New(names.get()));
    set_class_attr(cls.get(), "__abstractmethods__", abstract.get());
  }
  if (!compat::kBaseTypeFlagHonoured && (spec.flags & Py_TPFLAGS_BASETYPE) == 0) {
    Ref refusal = check(
        PyDescr_NewClassMethod(reinterpret_cast<PyTypeObject*>(cls.get()), &refuse_subclass_def));
    set_class_attr(cls.get(), "__init_subclass__", refusal.get());
  }
  if (!compat::kDescriptorsKeepDocs) {
    install_class_doc(cls.get(), bare_name, find_slot<const char>(spec, Py_tp_doc));
    install_documented_descriptors(cls.get(), find_slot<PyMethodDef>(spec, Py_tp_methods),
                                   find_slot<PyGetSetDef>(spec, Py_tp_getset));
  }
  if (frozen) make_immutable(cls.get());
  return cls;
}

void set_class_attr(PyObject* type, const char* name, PyObject* value) {
  check_status(PyObject_SetAttrString(type, name, value));
}

void make_immutable(PyObject* type) {
  auto* tp = reinterpret_cast<PyTypeObject*>(type);
  if constexpr (compat::kNativeImmutableClasses) {
    // No API sets the flag after creation, and a class made immutable from
    // the start refuses the attributes we still have to add. CPython's own
    // static classes get the flag the same way; type_setattro reads it on
    // every set, and nothing has looked at the class yet.
    tp->tp_flags |= Py_TPFLAGS_IMMUTABLETYPE;
    PyType_Modified(tp);
  } else if constexpr (compat::kMetatypeCanChange) {
    // The class becomes an instance of a metatype that refuses changes. The
    // metatype derives from `type` and adds no fields, so the class object's
    // layout stays valid; the class keeps a reference to it for good.
    PyObject* meta = frozen_metatype();
    Py_INCREF(meta);
    Py_SET_TYPE(type, reinterpret_cast<PyTypeObject*>(meta));
    PyType_Modified(tp);
  } else {
    // PyPy fixes a class's metatype when the class is made and ignores
    // flags set later: its classes stay open to new class attributes.
    (void)tp;
  }
}

}  // namespace vornix::py
