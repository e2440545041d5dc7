#include "graph/graph_class.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "base/fault.hpp"
#include "graph/edge.hpp"
#include "graph/node.hpp"
#include "graph/port_ref.hpp"
#include "graph/validate.hpp"
#include "graph/validation_error.hpp"
#include "support/args.hpp"
#include "support/classes.hpp"
#include "support/errors.hpp"
#include "support/exact.hpp"
#include "support/pickling.hpp"
#include "support/py_text.hpp"
#include "support/types.hpp"

namespace vornix::py {
namespace {

// The engine graph is immutable, so every holder shares the one object.
using SharedGraph = std::shared_ptr<const vornix::Graph>;
using GraphObject = Boxed<SharedGraph>;

const vornix::Graph& value_of(PyObject* self) { return *boxed_value<SharedGraph>(self); }
BorrowFlag& borrow_of(PyObject* self) { return as_boxed<SharedGraph>(self).borrow; }

std::vector<vornix::Node> nodes_arg(PyObject* obj) {
  std::vector<Ref> items = sequence_arg("nodes", obj);
  std::vector<vornix::Node> nodes;
  nodes.reserve(items.size());
  for (const Ref& item : items) {
    const vornix::Node* node = node_or_null(item.get());
    if (node == nullptr) raise_arg_type_error("nodes", "Node", item.get());
    nodes.push_back(*node);
  }
  return nodes;
}

std::vector<vornix::Edge> edges_arg(std::string_view name, PyObject* obj) {
  std::vector<Ref> items = sequence_arg(name, obj);
  std::vector<vornix::Edge> edges;
  edges.reserve(items.size());
  for (const Ref& item : items) edges.push_back(edge_arg(name, item.get()));
  return edges;
}

// A repeated node name makes the engine throw its internal fault, which
// reaches the caller as the BaseException-derived fault: a graph with two
// nodes of one name is a programming error, not a validation finding.
PyObject* graph_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  static constexpr const char* kNames[] = {"nodes", "edges", "dependency_edges"};
  static constexpr Signature kSig{"Graph", kNames, 2};
  PyObject* argv[3] = {};
  parse_args(kSig, args, kwargs, argv);
  std::vector<vornix::Node> nodes = nodes_arg(argv[0]);
  std::vector<vornix::Edge> edges = edges_arg("edges", argv[1]);
  std::optional<std::vector<vornix::Edge>> dependency_edges;
  if (!is_none_or_omitted(argv[2])) dependency_edges = edges_arg("dependency_edges", argv[2]);
  vornix::Graph graph(std::move(nodes), std::move(edges));
  if (dependency_edges)
    graph = std::move(graph).with_dependency_edges(std::move(*dependency_edges));
  return new_boxed(reinterpret_cast<PyObject*>(type),
                   SharedGraph(std::make_shared<const vornix::Graph>(std::move(graph))))
      .release();
}

template <class Edges>
Ref edge_list(const Edges& edges) {
  Ref list = check(PyList_New(static_cast<Py_ssize_t>(std::size(edges))));
  Py_ssize_t i = 0;
  for (const vornix::Edge& e : edges) PyList_SET_ITEM(list.get(), i++, edge_to_python(e).release());
  return list;
}

PyObject* graph_nodes(PyObject* self, PyObject*) {
  SharedBorrow hold(borrow_of(self));
  Ref dict = check(PyDict_New());
  for (const vornix::Node& node : value_of(self).nodes()) {
    Ref key = to_py_str(node.name);
    Ref value = node_to_python(node);
    check_status(PyDict_SetItem(dict.get(), key.get(), value.get()));
  }
  return dict.release();
}

PyObject* graph_edges(PyObject* self, PyObject*) {
  SharedBorrow hold(borrow_of(self));
  return edge_list(value_of(self).edges()).release();
}

PyObject* graph_dependency_edges(PyObject* self, PyObject*) {
  SharedBorrow hold(borrow_of(self));
  return edge_list(value_of(self).dependency_edges()).release();
}

PyObject* graph_validate(PyObject* self, PyObject*) {
  SharedBorrow hold(borrow_of(self));
  const std::vector<vornix::GraphValidationError> errors = value_of(self).validate();
  Ref list = check(PyList_New(static_cast<Py_ssize_t>(errors.size())));
  for (std::size_t i = 0; i < errors.size(); ++i) {
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i),
                    validation_error_to_python(errors[i]).release());
  }
  return list.release();
}

PyObject* graph_get_edges_by_head(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                  PyObject* kwnames) {
  static constexpr const char* kNames[] = {"input_port_ref"};
  static constexpr Signature kSig{"get_edges_by_head", kNames, 1};
  PyObject* argv[1] = {};
  parse_args(kSig, args, nargs, kwnames, argv);
  const vornix::PortRef& port = port_ref_arg("input_port_ref", argv[0]);
  SharedBorrow hold(borrow_of(self));
  return edge_list(value_of(self).get_edges_by_head(port)).release();
}

PyObject* graph_is_dependency_edge(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                   PyObject* kwnames) {
  static constexpr const char* kNames[] = {"edge"};
  static constexpr Signature kSig{"is_dependency_edge", kNames, 1};
  PyObject* argv[1] = {};
  parse_args(kSig, args, nargs, kwnames, argv);
  const vornix::Edge& edge = edge_arg("edge", argv[0]);
  SharedBorrow hold(borrow_of(self));
  return PyBool_FromLong(value_of(self).is_dependency_edge(edge) ? 1 : 0);
}

PyObject* graph_repr(PyObject* self) {
  SharedBorrow hold(borrow_of(self));
  const vornix::Graph& g = value_of(self);
  return to_py_str("Graph(nodes=" + std::to_string(g.nodes().size()) +
                   ", edges=" + std::to_string(g.edges().size()) + ")")
      .release();
}

// A graph pickles as its constructor call, with the nodes and the edges in
// the order they were given (every edge as often as it was given), so the
// graph unpickled is built exactly as this one was.
PyObject* graph_reduce(PyObject* self, PyObject*) {
  SharedBorrow hold(borrow_of(self));
  const vornix::Graph& g = value_of(self);
  Ref nodes = check(PyList_New(0));
  for (const vornix::Node& node : g.nodes()) {
    check_status(PyList_Append(nodes.get(), node_to_python(node).get()));
  }
  const std::span<const vornix::Edge> distinct = g.edges();
  const std::span<const std::uint32_t> given = g.edges_as_given();
  Ref edges = check(PyList_New(static_cast<Py_ssize_t>(given.size())));
  for (std::size_t i = 0; i < given.size(); ++i) {
    PyList_SET_ITEM(edges.get(), static_cast<Py_ssize_t>(i),
                    edge_to_python(distinct[given[i]]).release());
  }
  Ref args =
      check(PyTuple_Pack(3, nodes.get(), edges.get(), edge_list(g.dependency_edges()).get()));
  return reduce_to_factory(types().graph.get(), nullptr, std::move(args)).release();
}

PyDoc_STRVAR(graph_doc,
             "Graph(nodes, edges, dependency_edges=None)\n--\n\n"
             "The static topology of a flow-based network.");

PyMethodDef graph_methods[] = {
    {"nodes", noargs<graph_nodes>(), METH_NOARGS,
     PyDoc_STR("nodes($self)\n--\n\nReturns a dict of all nodes, keyed by name.")},
    {"edges", noargs<graph_edges>(), METH_NOARGS,
     PyDoc_STR("edges($self)\n--\n\nReturns a list of all edges.")},
    {"validate", noargs<graph_validate>(), METH_NOARGS,
     PyDoc_STR("validate($self)\n--\n\n"
               "Validate the graph and return a list of structured validation errors.")},
    {"get_edges_by_head", fastcall_kw<graph_get_edges_by_head>(), METH_FASTCALL | METH_KEYWORDS,
     PyDoc_STR("get_edges_by_head($self, input_port_ref)\n--\n\n"
               "Returns all edges that have the given input port as their target (head).\n"
               "Fan-in is allowed, so multiple edges can connect to the same input port.")},
    {"is_dependency_edge", fastcall_kw<graph_is_dependency_edge>(), METH_FASTCALL | METH_KEYWORDS,
     PyDoc_STR("is_dependency_edge($self, edge)\n--\n\nCheck if an edge is a dependency edge.")},
    {"dependency_edges", noargs<graph_dependency_edges>(), METH_NOARGS,
     PyDoc_STR("dependency_edges($self)\n--\n\nReturns the set of dependency edges as a list.")},
    reduce_method<graph_reduce>(),
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

Ref make_graph_class() {
  PyType_Slot slots[] = {
      slot(Py_tp_doc, graph_doc),
      slot(Py_tp_new, guarded<graph_new>),
      slot(Py_tp_dealloc, boxed_dealloc<SharedGraph>),
      slot(Py_tp_repr, guarded<graph_repr>),
      slot(Py_tp_methods, graph_methods),
      {0, nullptr},
  };
  PyType_Spec spec = {
      .name = "Graph",
      .basicsize = static_cast<int>(sizeof(GraphObject)),
      .itemsize = 0,
      .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
      .slots = slots,
  };
  return make_class(spec);
}

const vornix::Graph* graph_or_null(PyObject* obj) noexcept {
  const SharedGraph* g = exact_or_null<SharedGraph>(types().graph.get(), obj);
  return g == nullptr ? nullptr : g->get();
}

std::shared_ptr<const vornix::Graph> graph_arg(std::string_view name, PyObject* obj) {
  const SharedGraph* g = exact_or_null<SharedGraph>(types().graph.get(), obj);
  if (g == nullptr) raise_arg_type_error(name, "Graph", obj);
  return *g;
}

Ref graph_to_python(std::shared_ptr<const vornix::Graph> graph) {
  if (graph == nullptr) internal_fault("a Graph over no graph");
  return new_boxed(types().graph.get(), std::move(graph));
}

}  // namespace vornix::py
