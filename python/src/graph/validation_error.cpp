#include "graph/validation_error.hpp"

#include <string>

#include "base/result.hpp"
#include "graph/edge.hpp"
#include "graph/max_salvos.hpp"
#include "graph/port_ref.hpp"
#include "support/classes.hpp"
#include "support/errors.hpp"
#include "support/no_constructor.hpp"
#include "support/py_text.hpp"
#include "support/types.hpp"

namespace vornix::py {
namespace {

using Error = vornix::GraphValidationError;
using ErrorObject = Boxed<Error>;

const Error& value_of(PyObject* self) { return boxed_value<Error>(self); }

// Builds the details dict one key at a time, in the order callers see.
class Details {
 public:
  Details() : dict_(check(PyDict_New())) {}
  Details& add(const char* key, Ref value) {
    check_status(PyDict_SetItemString(dict_.get(), key, value.get()));
    return *this;
  }
  Details& add(const char* key, const std::string& text) { return add(key, to_py_str(text)); }
  Details& add(const char* key, const vornix::PortRef& port) {
    return add(key, port_ref_to_python(port));
  }
  Details& add_edge_ends(const vornix::Edge& edge) {
    return add("edge_source", edge.source).add("edge_target", edge.target);
  }
  Ref take() { return std::move(dict_); }

 private:
  Ref dict_;
};

Ref bool_object(bool b) { return Ref::borrow(b ? Py_True : Py_False); }

// The condition kinds of a missing port share their fields and key order.
template <class MissingPort>
void add_condition_port(Details& d, const MissingPort& e) {
  d.add("node_name", e.node_name)
      .add("condition_name", e.condition_name)
      .add("is_input_condition", bool_object(e.is_input_condition))
      .add("missing_port", e.missing_port);
}

Ref details_of(const Error& error) {
  Details d;
  std::visit(
      Overloaded{
          [&](const Error::MultipleEdgesFromOutputPort& e) {
            d.add("output_port", e.output_port)
                .add("edge_count", check(PyLong_FromUnsignedLongLong(e.edge_count)));
          },
          [&](const Error::EdgeReferencesNonexistentNode& e) {
            d.add_edge_ends(e.edge).add("missing_node", e.missing_node);
          },
          [&](const Error::EdgeReferencesNonexistentPort& e) {
            d.add_edge_ends(e.edge).add("missing_port", e.missing_port);
          },
          [&](const Error::EdgeSourceNotOutputPort& e) { d.add_edge_ends(e.edge); },
          [&](const Error::EdgeTargetNotInputPort& e) { d.add_edge_ends(e.edge); },
          [&](const Error::SalvoConditionReferencesNonexistentPort& e) {
            add_condition_port(d, e);
          },
          [&](const Error::SalvoConditionTermReferencesNonexistentPort& e) {
            add_condition_port(d, e);
          },
          [&](const Error::InputSalvoConditionInvalidMaxSalvos& e) {
            d.add("node_name", e.node_name)
                .add("condition_name", e.condition_name)
                .add("max_salvos", max_salvos_to_python(e.max_salvos));
          },
          [&](const Error::DependencyEdgeNotInGraph& e) { d.add("edge", edge_to_python(e.edge)); },
          [&](const Error::DependencyRequestConfigWithoutDependencyEdges& e) {
            d.add("node_name", e.node_name);
          },
      },
      error.value);
  return d.take();
}

PyObject* get_kind(PyObject* self, void*) { return to_py_str(value_of(self).kind()).release(); }

PyObject* get_message(PyObject* self, void*) {
  return to_py_str(value_of(self).message()).release();
}

PyObject* error_str(PyObject* self) { return to_py_str(value_of(self).message()).release(); }

PyObject* get_details(PyObject* self, void*) { return details_of(value_of(self)).release(); }

// Kind and message go in as they are, between plain single quotes.
PyObject* error_repr(PyObject* self) {
  const Error& e = value_of(self);
  return to_py_str("GraphValidationErrorInfo(kind='" + std::string(e.kind()) + "', message='" +
                   e.message() + "')")
      .release();
}

PyDoc_STRVAR(error_doc,
             "Structured validation error from graph validation.\n\n"
             "Provides access to the error variant name, human-readable message,\n"
             "and a dict of variant-specific fields (node names, port refs, etc.).");

PyGetSetDef error_getset[] = {
    {"kind", guarded<get_kind>, nullptr,
     PyDoc_STR("The error variant name (e.g., \"MultipleEdgesFromOutputPort\")."), nullptr},
    {"message", guarded<get_message>, nullptr, PyDoc_STR("The human-readable error message."),
     nullptr},
    {"details", guarded<get_details>, nullptr,
     PyDoc_STR("Dict of variant-specific fields (node names, port refs, counts, etc.)."), nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

Ref make_graph_validation_error_info_class() {
  PyType_Slot slots[] = {
      slot(Py_tp_doc, error_doc),
      slot(Py_tp_new, refuse_new),
      slot(Py_tp_dealloc, boxed_dealloc<Error>),
      slot(Py_tp_repr, guarded<error_repr>),
      slot(Py_tp_str, guarded<error_str>),
      slot(Py_tp_getset, error_getset),
      {0, nullptr},
  };
  PyType_Spec spec = {
      .name = "GraphValidationErrorInfo",
      .basicsize = static_cast<int>(sizeof(ErrorObject)),
      .itemsize = 0,
      .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
      .slots = slots,
  };
  return make_class(spec);
}

Ref validation_error_to_python(const vornix::GraphValidationError& error) {
  return new_boxed(types().graph_validation_error_info.get(), error);
}

}  // namespace vornix::py
