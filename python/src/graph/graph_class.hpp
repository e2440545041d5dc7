// Graph: the Python class that owns one engine graph, built once and never
// changed afterwards.
#pragma once

#include <string_view>

#include "graph/graph.hpp"
#include "support/python.hpp"
#include "support/ref.hpp"

namespace vornix::py {

Ref make_graph_class();
// The engine graph inside a Graph instance, or null for any other object.
const vornix::Graph* graph_from_python(PyObject* obj) noexcept;
// The engine graph of a Graph argument; TypeError
// "argument '{name}': expected Graph, got {type}" otherwise.
const vornix::Graph& graph_arg(std::string_view name, PyObject* obj);
// A new Graph owning `graph`.
// REQUIRES: its terms were built from Python (see term.hpp on nesting depth).
Ref graph_to_python(vornix::Graph graph);

}  // namespace vornix::py
