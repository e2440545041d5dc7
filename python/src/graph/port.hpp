// Port: a port declaration on a node, holding its capacity.
#pragma once

#include "graph/elements.hpp"
#include "support/python.hpp"
#include "support/ref.hpp"

namespace vornix::py {

Ref make_port_class();
// The engine value inside a Port instance, or null for any other object.
const vornix::Port* port_or_null(PyObject* obj) noexcept;
// A new Port holding a copy of `port`.
Ref port_to_python(const vornix::Port& port);

}  // namespace vornix::py
