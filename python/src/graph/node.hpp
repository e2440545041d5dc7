// Node: a processing node with its ports, salvo conditions and optional
// dependency-request configuration.
#pragma once

#include "graph/elements.hpp"
#include "support/python.hpp"
#include "support/ref.hpp"

namespace vornix::py {

Ref make_node_class();
// The engine value inside a Node instance, or null for any other object.
const vornix::Node* node_or_null(PyObject* obj) noexcept;
// A new Node holding a copy of `node`.
// REQUIRES: its terms were built from Python (see term.hpp on nesting depth).
Ref node_to_python(const vornix::Node& node);

}  // namespace vornix::py
