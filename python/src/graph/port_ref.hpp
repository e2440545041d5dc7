// PortRef: a frozen value class holding the engine's PortRef directly.
#pragma once

#include <string_view>

#include "graph/elements.hpp"
#include "support/python.hpp"
#include "support/ref.hpp"

namespace vornix::py {

Ref make_port_ref_class();
// A new PortRef holding a copy of `p`.
Ref port_ref_to_python(const vornix::PortRef& p);
// The engine value inside a PortRef instance, or null for any other object.
const vornix::PortRef* port_ref_or_null(PyObject* obj) noexcept;
// The engine value of a PortRef argument; TypeError
// "argument '{name}': expected PortRef, got {type}" otherwise.
const vornix::PortRef& port_ref_arg(std::string_view name, PyObject* obj);

}  // namespace vornix::py
