#include "support/descriptors.hpp"

#include <cstring>
#include <string_view>

#include "support/errors.hpp"

namespace vornix::py {
namespace {

// What both kinds hold: the class they belong to and the texts they show.
// Descriptors live as long as their class, which lives for the process.
struct DescrObject {
  PyObject ob_base;
  PyObject* objclass;  // owned
  PyObject* name;      // owned str
  PyObject* doc;       // owned str or None
  PyObject* signature;  // owned str or None
  PyMethodDef* method;  // null for a getter
  PyGetSetDef* getter;  // null for a method
};

DescrObject& as_descr(PyObject* o) noexcept { return *reinterpret_cast<DescrObject*>(o); }

const char* objclass_name(const DescrObject& d) noexcept {
  return reinterpret_cast<PyTypeObject*>(d.objclass)->tp_name;
}

// A doc string of the form "name(args)\n--\n\ntext" is the text signature
// "(args)" and the doc "text"; any other doc string is all doc.
void split_doc(const char* name, const char* raw, Ref& doc, Ref& signature) {
  signature = Ref::borrow(Py_None);
  if (raw == nullptr) {
    doc = Ref::borrow(Py_None);
    return;
  }
  const std::string_view text(raw);
  const std::string_view marker = ")\n--\n\n";
  const std::size_t name_len = std::strlen(name);
  const std::size_t end = text.find(marker);
  if (text.substr(0, name_len) == name && text.size() > name_len && text[name_len] == '(' &&
      end != std::string_view::npos) {
    const std::string_view sig = text.substr(name_len, end + 1 - name_len);
    const std::string_view rest = text.substr(end + marker.size());
    signature = check(PyUnicode_FromStringAndSize(sig.data(), static_cast<Py_ssize_t>(sig.size())));
    doc = check(PyUnicode_FromStringAndSize(rest.data(), static_cast<Py_ssize_t>(rest.size())));
    return;
  }
  doc = check(PyUnicode_FromString(raw));
}

// Whether `obj` may use the descriptor; sets CPython's error otherwise.
bool applies_to(const DescrObject& d, PyObject* obj) {
  if (PyObject_TypeCheck(obj, reinterpret_cast<PyTypeObject*>(d.objclass))) return true;
  PyErr_Format(PyExc_TypeError, "descriptor '%U' for '%s' objects doesn't apply to a '%s' object",
               d.name, objclass_name(d), Py_TYPE(obj)->tp_name);
  return false;
}

PyObject* descr_get_doc(PyObject* self, void*) {
  return Ref::borrow(as_descr(self).doc).release();
}
PyObject* descr_get_signature(PyObject* self, void*) {
  return Ref::borrow(as_descr(self).signature).release();
}
PyObject* descr_get_name(PyObject* self, void*) {
  return Ref::borrow(as_descr(self).name).release();
}
PyObject* descr_get_qualname(PyObject* self, void*) {
  const DescrObject& d = as_descr(self);
  Ref owner = check(PyObject_GetAttrString(d.objclass, "__qualname__"));
  return PyUnicode_FromFormat("%S.%U", owner.get(), d.name);
}
PyObject* descr_get_objclass(PyObject* self, void*) {
  return Ref::borrow(as_descr(self).objclass).release();
}

void descr_dealloc(PyObject* self) noexcept {
  DescrObject& d = as_descr(self);
  Py_XDECREF(d.objclass);
  Py_XDECREF(d.name);
  Py_XDECREF(d.doc);
  Py_XDECREF(d.signature);
  PyTypeObject* tp = Py_TYPE(self);
  auto free_fn = reinterpret_cast<freefunc>(PyType_GetSlot(tp, Py_tp_free));
  free_fn(self);
  Py_DECREF(tp);
}

// ---- methods ----

PyObject* method_get(PyObject* self, PyObject* obj, PyObject*) {
  const DescrObject& d = as_descr(self);
  if (obj == nullptr || obj == Py_None) return Ref::borrow(self).release();
  if (!applies_to(d, obj)) return nullptr;
  return PyCFunction_NewEx(d.method, obj, nullptr);
}

// Called through the class: the instance comes first.
PyObject* method_call(PyObject* self, PyObject* args, PyObject* kwargs) {
  const DescrObject& d = as_descr(self);
  if (PyTuple_GET_SIZE(args) < 1) {
    PyErr_Format(PyExc_TypeError, "descriptor '%U' of '%s' object needs an argument", d.name,
                 objclass_name(d));
    return nullptr;
  }
  PyObject* obj = PyTuple_GET_ITEM(args, 0);
  if (!applies_to(d, obj)) return nullptr;
  Ref bound = check(PyCFunction_NewEx(d.method, obj, nullptr));
  Ref rest = check(PyTuple_GetSlice(args, 1, PyTuple_GET_SIZE(args)));
  return PyObject_Call(bound.get(), rest.get(), kwargs);
}

PyObject* method_repr(PyObject* self) {
  const DescrObject& d = as_descr(self);
  return PyUnicode_FromFormat("<method '%U' of '%s' objects>", d.name, objclass_name(d));
}

// ---- getters ----

PyObject* getter_get(PyObject* self, PyObject* obj, PyObject*) {
  const DescrObject& d = as_descr(self);
  if (obj == nullptr || obj == Py_None) return Ref::borrow(self).release();
  if (!applies_to(d, obj)) return nullptr;
  return d.getter->get(obj, d.getter->closure);
}

int getter_set(PyObject* self, PyObject* obj, PyObject* value) {
  const DescrObject& d = as_descr(self);
  if (!applies_to(d, obj)) return -1;
  if (d.getter->set != nullptr) return d.getter->set(obj, value, d.getter->closure);
  PyErr_Format(PyExc_AttributeError, "attribute '%U' of '%s' objects is not writable", d.name,
               objclass_name(d));
  return -1;
}

PyObject* getter_repr(PyObject* self) {
  const DescrObject& d = as_descr(self);
  return PyUnicode_FromFormat("<attribute '%U' of '%s' objects>", d.name, objclass_name(d));
}

PyGetSetDef method_getset[] = {
    {"__doc__", guarded<descr_get_doc>, nullptr, nullptr, nullptr},
    {"__text_signature__", guarded<descr_get_signature>, nullptr, nullptr, nullptr},
    {"__name__", guarded<descr_get_name>, nullptr, nullptr, nullptr},
    {"__qualname__", guarded<descr_get_qualname>, nullptr, nullptr, nullptr},
    {"__objclass__", guarded<descr_get_objclass>, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyGetSetDef getter_getset[] = {
    {"__doc__", guarded<descr_get_doc>, nullptr, nullptr, nullptr},
    {"__name__", guarded<descr_get_name>, nullptr, nullptr, nullptr},
    {"__qualname__", guarded<descr_get_qualname>, nullptr, nullptr, nullptr},
    {"__objclass__", guarded<descr_get_objclass>, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// The two descriptor classes, made on first use and kept for the process.
PyObject* descriptor_class(bool method) {
  static PyObject* classes[2] = {nullptr, nullptr};
  PyObject*& cls = classes[method ? 1 : 0];
  if (cls != nullptr) return cls;
  PyType_Slot method_slots[] = {
      slot(Py_tp_descr_get, guarded<method_get>),
      slot(Py_tp_call, guarded<method_call>),
      slot(Py_tp_repr, guarded<method_repr>),
      slot(Py_tp_getset, method_getset),
      slot(Py_tp_dealloc, descr_dealloc),
      {0, nullptr},
  };
  PyType_Slot getter_slots[] = {
      slot(Py_tp_descr_get, guarded<getter_get>),
      slot(Py_tp_descr_set, guarded<getter_set>),
      slot(Py_tp_repr, guarded<getter_repr>),
      slot(Py_tp_getset, getter_getset),
      slot(Py_tp_dealloc, descr_dealloc),
      {0, nullptr},
  };
  PyType_Spec spec = {
      .name = method ? "vornix_sim.method_descriptor" : "vornix_sim.getset_descriptor",
      .basicsize = static_cast<int>(sizeof(DescrObject)),
      .itemsize = 0,
      .flags = Py_TPFLAGS_DEFAULT,
      .slots = method ? method_slots : getter_slots,
  };
  cls = check(PyType_FromSpec(&spec)).release();
  return cls;
}

Ref new_descr(PyObject* type, const char* name, const char* raw_doc, PyMethodDef* method,
              PyGetSetDef* getter) {
  Ref text_name = check(PyUnicode_FromString(name));
  Ref doc;
  Ref signature;
  split_doc(name, raw_doc, doc, signature);
  if (getter != nullptr) signature = Ref::borrow(Py_None);
  PyObject* cls = descriptor_class(method != nullptr);
  Ref obj = check(PyType_GenericAlloc(reinterpret_cast<PyTypeObject*>(cls), 0));
  DescrObject& d = as_descr(obj.get());
  d.objclass = Ref::borrow(type).release();
  d.name = text_name.release();
  d.doc = doc.release();
  d.signature = signature.release();
  d.method = method;
  d.getter = getter;
  return obj;
}

}  // namespace

void install_documented_descriptors(PyObject* type, PyMethodDef* methods, PyGetSetDef* getset) {
  for (PyMethodDef* m = methods; m != nullptr && m->ml_name != nullptr; ++m) {
    // Static methods are plain functions, which keep their doc strings.
    if ((m->ml_flags & (METH_STATIC | METH_CLASS)) != 0) continue;
    Ref d = new_descr(type, m->ml_name, m->ml_doc, m, nullptr);
    check_status(PyObject_SetAttrString(type, m->ml_name, d.get()));
  }
  for (PyGetSetDef* g = getset; g != nullptr && g->name != nullptr; ++g) {
    Ref d = new_descr(type, g->name, g->doc, nullptr, g);
    check_status(PyObject_SetAttrString(type, g->name, d.get()));
  }
}

}  // namespace vornix::py
