// PortType: whether a port is an input or an output (an enumeration class
// with a deterministic hash, unlike the other enumeration classes).
#pragma once

#include <string_view>

#include "graph/elements.hpp"
#include "support/python.hpp"
#include "support/ref.hpp"

namespace vornix::py {

Ref make_port_type_class();
// A new PortType instance equal to the class attribute for `t`.
Ref port_type_to_python(vornix::PortType t);
// The port type of a PortType argument; TypeError
// "argument '{name}': expected PortType, got {type}" otherwise.
vornix::PortType port_type_arg(std::string_view name, PyObject* obj);

}  // namespace vornix::py
