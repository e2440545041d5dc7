#include "support/enum_class.hpp"

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "base/fault.hpp"
#include "support/args.hpp"
#include "support/classes.hpp"
#include "support/errors.hpp"
#include "support/no_constructor.hpp"
#include "support/pickling.hpp"
#include "support/py_text.hpp"
#include "support/types.hpp"

namespace vornix::py {
namespace {

struct EnumObject {
  PyObject ob_base;
  const EnumClassSpec* spec;
  std::int64_t number;
};

EnumObject& as_enum(PyObject* o) noexcept { return *reinterpret_cast<EnumObject*>(o); }

// Which spec made which class: one entry per spec, in the registry.
const EnumClassSpec& spec_of_class(PyObject* type) {
  for (const auto& [cls, spec] : types().enum_classes) {
    if (cls.get() == type) return *spec;
  }
  vornix::internal_fault("not an enumeration class");
}

Ref new_instance(PyObject* type, const EnumClassSpec& spec, std::int64_t number) {
  if (number < 0 || static_cast<std::size_t>(number) >= spec.members.size()) {
    vornix::internal_fault("enumeration value out of range");
  }
  Ref obj = check(PyType_GenericAlloc(reinterpret_cast<PyTypeObject*>(type), 0));
  as_enum(obj.get()).spec = &spec;
  as_enum(obj.get()).number = number;
  return obj;
}

PyObject* enum_repr(PyObject* self) {
  const EnumObject& e = as_enum(self);
  const std::string text =
      std::string(e.spec->name) + "." + e.spec->members[static_cast<std::size_t>(e.number)];
  return to_py_str(text).release();
}

PyObject* enum_int(PyObject* self) { return PyLong_FromLongLong(as_enum(self).number); }

PyObject* enum_richcompare(PyObject* self, PyObject* other, int op) {
  if (op != Py_EQ && op != Py_NE) Py_RETURN_NOTIMPLEMENTED;
  std::int64_t theirs = 0;
  if (Py_TYPE(other) == Py_TYPE(self)) {
    theirs = as_enum(other).number;
  } else if (auto n = as_int64(other)) {
    theirs = *n;
  } else {
    Py_RETURN_NOTIMPLEMENTED;
  }
  const bool equal = as_enum(self).number == theirs;
  return PyBool_FromLong(equal == (op == Py_EQ));
}

// Members pickle and copy by name, so they come back as the class's own
// member objects.
PyObject* enum_reduce(PyObject* self, PyObject*) {
  const EnumObject& e = as_enum(self);
  PyObject* cls = reinterpret_cast<PyObject*>(Py_TYPE(self));
  return reduce_to_member(cls, e.spec->members[static_cast<std::size_t>(e.number)]).release();
}

// The spec's static methods followed by __reduce__, kept for as long as the
// class may live (the process); one table per spec, even across retried imports.
PyMethodDef* method_table(const EnumClassSpec& spec) {
  static auto* tables = new std::map<const EnumClassSpec*, std::vector<PyMethodDef>>();
  std::vector<PyMethodDef>& table = (*tables)[&spec];
  if (table.empty()) {
    for (const PyMethodDef* m = spec.methods; m != nullptr && m->ml_name != nullptr; ++m) {
      table.push_back(*m);
    }
    table.push_back(reduce_method<enum_reduce>());
    table.push_back({nullptr, nullptr, 0, nullptr});
  }
  return table.data();
}

void enum_dealloc(PyObject* self) noexcept {
  PyTypeObject* tp = Py_TYPE(self);
  auto free_fn = reinterpret_cast<freefunc>(PyType_GetSlot(tp, Py_tp_free));
  free_fn(self);
  Py_DECREF(tp);
}

}  // namespace

Ref make_enum_class(const EnumClassSpec& spec) {
  // Instances hash only through the class's own function; without one the
  // class defines equality alone, which makes its instances unhashable.
  hashfunc hash = spec.hash != nullptr ? spec.hash : PyObject_HashNotImplemented;
  PyType_Slot slots[] = {
      slot(Py_tp_doc, spec.doc),
      // Refused by a constructor of our own rather than by a class flag, which
      // CPython 3.9 lacks.
      slot(Py_tp_new, refuse_new),
      slot(Py_tp_repr, guarded<enum_repr>),
      slot(Py_tp_richcompare, guarded<enum_richcompare>),
      slot(Py_nb_int, guarded<enum_int>),
      slot(Py_tp_hash, hash),
      slot(Py_tp_dealloc, enum_dealloc),
      slot(Py_tp_methods, method_table(spec)),
      {0, nullptr},
  };
  PyType_Spec type_spec = {
      .name = spec.name,
      .basicsize = static_cast<int>(sizeof(EnumObject)),
      .itemsize = 0,
      .flags = Py_TPFLAGS_DEFAULT,
      .slots = slots,
  };
  Ref cls = make_class(type_spec);
  for (std::size_t i = 0; i < spec.members.size(); ++i) {
    Ref member = new_instance(cls.get(), spec, static_cast<std::int64_t>(i));
    set_class_attr(cls.get(), spec.members[i], member.get());
  }
  make_immutable(cls.get());
  types().enum_classes.emplace_back(Ref::borrow(cls.get()), &spec);
  return cls;
}

bool is_enum_instance(PyObject* type, PyObject* obj) noexcept {
  return reinterpret_cast<PyObject*>(Py_TYPE(obj)) == type;
}

std::int64_t enum_number(PyObject* obj) noexcept { return as_enum(obj).number; }

Ref enum_value(PyObject* type, std::int64_t number) {
  return new_instance(type, spec_of_class(type), number);
}

Ref enum_member(PyObject* type, std::int64_t number) {
  const EnumClassSpec& spec = spec_of_class(type);
  if (number < 0 || static_cast<std::size_t>(number) >= spec.members.size()) {
    vornix::internal_fault("enumeration value out of range");
  }
  return check(PyObject_GetAttrString(type, spec.members[static_cast<std::size_t>(number)]));
}

}  // namespace vornix::py
