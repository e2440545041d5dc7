#include "graph/edge.hpp"

#include <string>
#include <utility>

#include "graph/port_ref.hpp"
#include "support/args.hpp"
#include "support/classes.hpp"
#include "support/errors.hpp"
#include "support/exact.hpp"
#include "support/pickling.hpp"
#include "support/py_text.hpp"
#include "support/types.hpp"

namespace vornix::py {
namespace {

using EdgeObject = Boxed<vornix::Edge>;

const vornix::Edge& value_of(PyObject* self) { return boxed_value<vornix::Edge>(self); }

// No check that the source is an output and the target an input: graph
// validation reports such edges with the rest of a graph's problems.
PyObject* edge_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  static constexpr const char* kNames[] = {"source", "target"};
  static constexpr Signature kSig{"Edge", kNames, 2};
  PyObject* argv[2] = {};
  parse_args(kSig, args, kwargs, argv);
  vornix::Edge value;
  value.source = port_ref_arg("source", argv[0]);
  value.target = port_ref_arg("target", argv[1]);
  return new_boxed(reinterpret_cast<PyObject*>(type), std::move(value)).release();
}

PyObject* get_source(PyObject* self, void*) {
  return port_ref_to_python(value_of(self).source).release();
}
PyObject* get_target(PyObject* self, void*) {
  return port_ref_to_python(value_of(self).target).release();
}

PyObject* edge_repr(PyObject* self) {
  const vornix::Edge& e = value_of(self);
  return to_py_str("Edge(" + to_text(e.source) + ", " + to_text(e.target) + ")").release();
}

PyObject* edge_str(PyObject* self) { return to_py_str(to_text(value_of(self))).release(); }

PyObject* edge_richcompare(PyObject* self, PyObject* other, int op) {
  if ((op != Py_EQ && op != Py_NE) || Py_TYPE(other) != Py_TYPE(self)) {
    Py_RETURN_NOTIMPLEMENTED;
  }
  const bool equal = value_of(self) == value_of(other);
  return PyBool_FromLong(equal == (op == Py_EQ));
}

Py_hash_t edge_hash(PyObject* self) { return python_hash(vornix::stable_hash(value_of(self))); }

PyDoc_STRVAR(edge_doc,
             "Edge(source, target)\n--\n\n"
             "A connection between two ports in the graph.\n\n"
             "Edges connect output ports to input ports, allowing packets to flow\n"
             "between nodes.");

PyGetSetDef edge_getset[] = {
    {"source", guarded<get_source>, nullptr,
     PyDoc_STR("The output port where this edge originates."), nullptr},
    {"target", guarded<get_target>, nullptr,
     PyDoc_STR("The input port where this edge terminates."), nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// Rebuilt by the constructor from the getters' values.
constexpr const char* kEdgeFields[] = {"source", "target"};
constexpr ReduceRecipe kEdgeRecipe{&ClassRegistry::edge, nullptr, kEdgeFields};

PyMethodDef edge_pickle_methods[] = {
    reduce_method<reduce_by_getters<kEdgeRecipe>>(),
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

Ref make_edge_class() {
  PyType_Slot slots[] = {
      slot(Py_tp_doc, edge_doc),
      slot(Py_tp_new, guarded<edge_new>),
      slot(Py_tp_dealloc, boxed_dealloc<vornix::Edge>),
      slot(Py_tp_repr, guarded<edge_repr>),
      slot(Py_tp_str, guarded<edge_str>),
      slot(Py_tp_richcompare, guarded<edge_richcompare>),
      slot(Py_tp_hash, guarded<edge_hash>),
      slot(Py_tp_getset, edge_getset),
      slot(Py_tp_methods, edge_pickle_methods),
      {0, nullptr},
  };
  PyType_Spec spec = {
      .name = "Edge",
      .basicsize = static_cast<int>(sizeof(EdgeObject)),
      .itemsize = 0,
      .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
      .slots = slots,
  };
  return make_class(spec);
}

Ref edge_to_python(const vornix::Edge& e) { return new_boxed(types().edge.get(), e); }

const vornix::Edge* edge_or_null(PyObject* obj) noexcept {
  return exact_or_null<vornix::Edge>(types().edge.get(), obj);
}

const vornix::Edge& edge_arg(std::string_view name, PyObject* obj) {
  const vornix::Edge* e = edge_or_null(obj);
  if (e == nullptr) raise_arg_type_error(name, "Edge", obj);
  return *e;
}

}  // namespace vornix::py
