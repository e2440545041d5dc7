#include "support/classes.hpp"

#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/py_text.hpp"

namespace vornix::py {
namespace {

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

// The metatype of frozen classes where the interpreter has no immutable
// classes of its own (3.9): refuses every change, as later versions do.
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

// The text signature in a raw doc string of `name` ("name(args)\n--\n\n..."),
// as "(args)"; None when it has none.
Ref text_signature_of(const char* name, const char* raw_doc) {
  if (raw_doc == nullptr) return Ref::borrow(Py_None);
  const std::string_view text(raw_doc);
  const std::string_view marker = ")\n--\n\n";
  const std::size_t name_len = std::strlen(name);
  const std::size_t end = text.find(marker);
  if (text.substr(0, name_len) != name || text.size() <= name_len || text[name_len] != '(' ||
      end == std::string_view::npos) {
    return Ref::borrow(Py_None);
  }
  const std::string_view sig = text.substr(name_len, end + 1 - name_len);
  return check(PyUnicode_FromStringAndSize(sig.data(), static_cast<Py_ssize_t>(sig.size())));
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
  PyType_Spec made = spec;
  made.flags &= ~static_cast<unsigned int>(Py_TPFLAGS_IMMUTABLETYPE);

  const bool qualified = std::strchr(spec.name, '.') != nullptr;
  Ref cls = qualified ? check(PyType_FromSpec(&made)) : make_quietly(made);
  if (!qualified) {
    Ref module = check(PyUnicode_FromString("vornix_sim"));
    set_class_attr(cls.get(), "__module__", module.get());
  }
  if constexpr (!compat::kNativeImmutableClasses) {
    const char* dot = std::strrchr(spec.name, '.');
    const char* bare_name = dot != nullptr ? dot + 1 : spec.name;
    keep_text_signature(cls.get(), bare_name, find_slot<const char>(spec, Py_tp_doc));
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
  } else {
    // The class becomes an instance of a metatype that refuses changes. The
    // metatype derives from `type` and adds no fields, so the class object's
    // layout stays valid; the class keeps a reference to it for good.
    PyObject* meta = frozen_metatype();
    Py_INCREF(meta);
    Py_SET_TYPE(type, reinterpret_cast<PyTypeObject*>(meta));
    PyType_Modified(tp);
  }
}

}  // namespace vornix::py
