// Edge: a frozen value class holding the engine's Edge directly.
#pragma once

#include <string_view>

#include "graph/elements.hpp"
#include "support/python.hpp"
#include "support/ref.hpp"

namespace vornix::py {

Ref make_edge_class();
// A new Edge holding a copy of `e`.
Ref edge_to_python(const vornix::Edge& e);
// The engine value inside an Edge instance, or null for any other object.
const vornix::Edge* edge_or_null(PyObject* obj) noexcept;
// The engine value of an Edge argument; TypeError
// "argument '{name}': expected Edge, got {type}" otherwise.
const vornix::Edge& edge_arg(std::string_view name, PyObject* obj);

}  // namespace vornix::py
