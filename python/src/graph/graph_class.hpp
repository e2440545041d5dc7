// Graph: the Python class that holds one engine graph, built once and never
// changed afterwards, and shared with every NetSim made over it.
#pragma once

#include <memory>
#include <string_view>

#include "graph/graph.hpp"
#include "support/python.hpp"
#include "support/ref.hpp"

namespace vornix::py {

Ref make_graph_class();
// The engine graph inside a Graph instance, or null for any other object.
const vornix::Graph* graph_or_null(PyObject* obj) noexcept;
// The engine graph of a Graph argument, shared; TypeError
// "argument '{name}': expected Graph, got {type}" otherwise.
std::shared_ptr<const vornix::Graph> graph_arg(std::string_view name, PyObject* obj);
// A new Graph sharing `graph` (never null).
// REQUIRES: its terms were built from Python (see term.hpp on nesting depth).
Ref graph_to_python(std::shared_ptr<const vornix::Graph> graph);

}  // namespace vornix::py
