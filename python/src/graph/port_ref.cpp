#include "graph/port_ref.hpp"

#include <string>
#include <utility>

#include "graph/port_type.hpp"
#include "support/args.hpp"
#include "support/classes.hpp"
#include "support/errors.hpp"
#include "support/exact.hpp"
#include "support/pickling.hpp"
#include "support/py_text.hpp"
#include "support/types.hpp"

namespace vornix::py {
namespace {

using PortRefObject = Boxed<vornix::PortRef>;

const vornix::PortRef& value_of(PyObject* self) { return boxed_value<vornix::PortRef>(self); }

PyObject* port_ref_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  static constexpr const char* kNames[] = {"node_name", "port_type", "port_name"};
  static constexpr Signature kSig{"PortRef", kNames, 3};
  PyObject* argv[3] = {};
  parse_args(kSig, args, kwargs, argv);
  vornix::PortRef value;
  value.node_name = str_arg("node_name", argv[0]);
  value.port_type = port_type_arg("port_type", argv[1]);
  value.port_name = str_arg("port_name", argv[2]);
  return new_boxed(reinterpret_cast<PyObject*>(type), std::move(value)).release();
}

PyObject* get_node_name(PyObject* self, void*) {
  return to_py_str(value_of(self).node_name).release();
}
PyObject* get_port_type(PyObject* self, void*) {
  return port_type_to_python(value_of(self).port_type).release();
}
PyObject* get_port_name(PyObject* self, void*) {
  return to_py_str(value_of(self).port_name).release();
}

// Names go in as they are: the repr mirrors the constructor call for the
// common case and is not meant to be evaluated back.
PyObject* port_ref_repr(PyObject* self) {
  const vornix::PortRef& p = value_of(self);
  const std::string text = "PortRef('" + p.node_name + "', " +
                           std::string(vornix::diagnostic(p.port_type)) + ", '" + p.port_name +
                           "')";
  return to_py_str(text).release();
}

PyObject* port_ref_str(PyObject* self) { return to_py_str(to_text(value_of(self))).release(); }

PyObject* port_ref_richcompare(PyObject* self, PyObject* other, int op) {
  if ((op != Py_EQ && op != Py_NE) || Py_TYPE(other) != Py_TYPE(self)) {
    Py_RETURN_NOTIMPLEMENTED;
  }
  const bool equal = value_of(self) == value_of(other);
  return PyBool_FromLong(equal == (op == Py_EQ));
}

Py_hash_t port_ref_hash(PyObject* self) { return python_hash(vornix::stable_hash(value_of(self))); }

PyDoc_STRVAR(port_ref_doc,
             "PortRef(node_name, port_type, port_name)\n--\n\n"
             "A reference to a specific port on a specific node.");

PyGetSetDef port_ref_getset[] = {
    {"node_name", guarded<get_node_name>, nullptr,
     PyDoc_STR("The name of the node containing this port."), nullptr},
    {"port_type", guarded<get_port_type>, nullptr,
     PyDoc_STR("Whether this is an input or output port."), nullptr},
    {"port_name", guarded<get_port_name>, nullptr, PyDoc_STR("The name of the port on the node."),
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// Rebuilt by the constructor from the getters' values.
constexpr const char* kPortRefFields[] = {"node_name", "port_type", "port_name"};
constexpr ReduceRecipe kPortRefRecipe{&ClassRegistry::port_ref, nullptr, kPortRefFields};

PyMethodDef port_ref_pickle_methods[] = {
    reduce_method<reduce_by_getters<kPortRefRecipe>>(),
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

Ref make_port_ref_class() {
  PyType_Slot slots[] = {
      slot(Py_tp_doc, port_ref_doc),
      slot(Py_tp_new, guarded<port_ref_new>),
      slot(Py_tp_dealloc, boxed_dealloc<vornix::PortRef>),
      slot(Py_tp_repr, guarded<port_ref_repr>),
      slot(Py_tp_str, guarded<port_ref_str>),
      slot(Py_tp_richcompare, guarded<port_ref_richcompare>),
      slot(Py_tp_hash, guarded<port_ref_hash>),
      slot(Py_tp_getset, port_ref_getset),
      slot(Py_tp_methods, port_ref_pickle_methods),
      {0, nullptr},
  };
  PyType_Spec spec = {
      .name = "PortRef",
      .basicsize = static_cast<int>(sizeof(PortRefObject)),
      .itemsize = 0,
      .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
      .slots = slots,
  };
  return make_class(spec);
}

Ref port_ref_to_python(const vornix::PortRef& p) { return new_boxed(types().port_ref.get(), p); }

const vornix::PortRef* port_ref_or_null(PyObject* obj) noexcept {
  return exact_or_null<vornix::PortRef>(types().port_ref.get(), obj);
}

const vornix::PortRef& port_ref_arg(std::string_view name, PyObject* obj) {
  const vornix::PortRef* p = port_ref_or_null(obj);
  if (p == nullptr) raise_arg_type_error(name, "PortRef", obj);
  return *p;
}

}  // namespace vornix::py
