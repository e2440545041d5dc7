#include "support/descriptors.hpp"

#include <cstring>
#include <string_view>

#include "support/errors.hpp"

namespace vornix::py {
namespace {

// A getter descriptor: the class it belongs to, the texts it shows and the getter.
// Descriptors live as long as their class, which lives for the process.
struct DescrObject {
  PyObject ob_base;
  PyObject* objclass;  // owned
  PyObject* name;      // owned str
  PyObject* doc;       // owned str or None
  PyGetSetDef* getter;
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

PyObject* descr_get_doc(PyObject* self, void*) { return Ref::borrow(as_descr(self).doc).release(); }
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
  PyTypeObject* tp = Py_TYPE(self);
  auto free_fn = reinterpret_cast<freefunc>(PyType_GetSlot(tp, Py_tp_free));
  free_fn(self);
  Py_DECREF(tp);
}

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

PyGetSetDef getter_getset[] = {
    {"__doc__", guarded<descr_get_doc>, nullptr, nullptr, nullptr},
    {"__name__", guarded<descr_get_name>, nullptr, nullptr, nullptr},
    {"__qualname__", guarded<descr_get_qualname>, nullptr, nullptr, nullptr},
    {"__objclass__", guarded<descr_get_objclass>, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// The getter descriptor class, made on first use and kept for the process.
PyObject* getter_class() {
  static PyObject* cls = nullptr;
  if (cls != nullptr) return cls;
  PyType_Slot slots[] = {
      slot(Py_tp_descr_get, guarded<getter_get>), slot(Py_tp_descr_set, guarded<getter_set>),
      slot(Py_tp_repr, guarded<getter_repr>),     slot(Py_tp_getset, getter_getset),
      slot(Py_tp_dealloc, descr_dealloc),         {0, nullptr},
  };
  PyType_Spec spec = {
      .name = "vornix_sim.getset_descriptor",
      .basicsize = static_cast<int>(sizeof(DescrObject)),
      .itemsize = 0,
      .flags = Py_TPFLAGS_DEFAULT,
      .slots = slots,
  };
  cls = check(PyType_FromSpec(&spec)).release();
  return cls;
}

Ref new_getter(PyObject* type, PyGetSetDef* getter) {
  Ref text_name = check(PyUnicode_FromString(getter->name));
  Ref doc;
  Ref signature;
  split_doc(getter->name, getter->doc, doc, signature);
  Ref obj = check(PyType_GenericAlloc(reinterpret_cast<PyTypeObject*>(getter_class()), 0));
  DescrObject& d = as_descr(obj.get());
  d.objclass = Ref::borrow(type).release();
  d.name = text_name.release();
  d.doc = doc.release();
  d.getter = getter;
  return obj;
}

// The method descriptor is written in Python. Each method call goes through
// it, and on an interpreter that emulates the C API every object a C
// descriptor made per call (a bound method, an argument tuple, a bound
// builtin) would cost a trip through that emulation; the interpreter's JIT
// sees through this one and calls the interpreter's own descriptor, which
// does the call and checks the instance again, directly. A bound method of
// the descriptor itself shows the descriptor's texts, which lets
// introspection drop the bound instance from the signature.
constexpr const char* kMethodDescriptorSource = R"py(
from types import MethodType as _bind


class method_descriptor:
    __slots__ = ("_call", "_name", "_doc", "_signature", "_objclass")

    def __new__(cls, *args, **kwargs):
        raise TypeError("cannot create 'vornix_sim.method_descriptor' instances")

    def __get__(self, obj, cls=None):
        if obj is None:
            return self
        if not isinstance(obj, self._objclass):
            raise TypeError("descriptor '%s' for '%s' objects doesn't apply to a '%s' object"
                            % (self._name, self._objclass.__name__, type(obj).__name__))
        return _bind(self, obj)

    def __call__(self, *args, **kwargs):
        if not args:
            raise TypeError("descriptor '%s' of '%s' object needs an argument"
                            % (self._name, self._objclass.__name__))
        if not isinstance(args[0], self._objclass):
            raise TypeError("descriptor '%s' for '%s' objects doesn't apply to a '%s' object"
                            % (self._name, self._objclass.__name__, type(args[0]).__name__))
        return self._call(*args, **kwargs)

    def __repr__(self):
        return "<method '%s' of '%s' objects>" % (self._name, self._objclass.__name__)

    def __setattr__(self, name, value):
        raise AttributeError("attribute '%s' of 'method_descriptor' objects is not writable"
                             % name)

    def __delattr__(self, name):
        raise AttributeError("attribute '%s' of 'method_descriptor' objects is not writable"
                             % name)

    def __getattr__(self, name):
        # The class body cannot hold a __qualname__ of its instances.
        if name == "__qualname__":
            return self._objclass.__qualname__ + "." + self._name
        raise AttributeError("'method_descriptor' object has no attribute '%s'" % name)

    __doc__ = property(lambda self: self._doc)
    __name__ = property(lambda self: self._name)
    __text_signature__ = property(lambda self: self._signature)
    __objclass__ = property(lambda self: self._objclass)


def make(call, name, doc, signature, objclass):
    d = object.__new__(method_descriptor)
    for field, value in (("_call", call), ("_name", name), ("_doc", doc),
                         ("_signature", signature), ("_objclass", objclass)):
        object.__setattr__(d, field, value)
    return d
)py";

// The factory of method descriptors, made on first use and kept for the
// process.
PyObject* method_factory() {
  static PyObject* make = nullptr;
  if (make != nullptr) return make;
  Ref globals = check(PyDict_New());
  check_status(PyDict_SetItemString(globals.get(), "__builtins__", PyEval_GetBuiltins()));
  Ref module_name = check(PyUnicode_FromString("vornix_sim"));
  check_status(PyDict_SetItemString(globals.get(), "__name__", module_name.get()));
  Ref code = check(Py_CompileString(kMethodDescriptorSource, "<vornix_sim>", Py_file_input));
  Ref ran = check(PyEval_EvalCode(code.get(), globals.get(), globals.get()));
  PyObject* found = PyDict_GetItemString(globals.get(), "make");
  if (found == nullptr) raise(PyExc_SystemError, "method descriptor factory missing");
  make = Ref::borrow(found).release();
  return make;
}

// A documented method descriptor that calls through `native`, the
// interpreter's own descriptor of the method.
Ref new_method(PyObject* type, PyMethodDef* method, PyObject* native) {
  Ref text_name = check(PyUnicode_FromString(method->ml_name));
  Ref doc;
  Ref signature;
  split_doc(method->ml_name, method->ml_doc, doc, signature);
  return check(PyObject_CallFunctionObjArgs(method_factory(), native, text_name.get(), doc.get(),
                                            signature.get(), type, nullptr));
}

}  // namespace

Ref text_signature_of(const char* name, const char* raw_doc) {
  Ref doc;
  Ref signature;
  split_doc(name, raw_doc, doc, signature);
  return signature;
}

void install_class_doc(PyObject* type, const char* name, const char* raw_doc) {
  if (raw_doc == nullptr) return;
  Ref doc;
  Ref signature;
  split_doc(name, raw_doc, doc, signature);
  check_status(PyObject_SetAttrString(type, "__doc__", doc.get()));
}

void install_documented_descriptors(PyObject* type, PyMethodDef* methods, PyGetSetDef* getset) {
  for (PyMethodDef* m = methods; m != nullptr && m->ml_name != nullptr; ++m) {
    // Static methods are plain functions, which keep their doc strings.
    if ((m->ml_flags & (METH_STATIC | METH_CLASS)) != 0) continue;
    Ref native = check(PyObject_GetAttrString(type, m->ml_name));
    Ref d = new_method(type, m, native.get());
    check_status(PyObject_SetAttrString(type, m->ml_name, d.get()));
  }
  for (PyGetSetDef* g = getset; g != nullptr && g->name != nullptr; ++g) {
    Ref d = new_getter(type, g);
    check_status(PyObject_SetAttrString(type, g->name, d.get()));
  }
}

}  // namespace vornix::py
