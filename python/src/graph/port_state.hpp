// PortState (enumeration: Empty, Full, NonEmpty, NonFull) and
// PortStateNumeric (a numbered predicate such as less_than(3)): the port-state
// predicates of salvo-condition terms.
#pragma once

#include "graph/elements.hpp"
#include "support/python.hpp"
#include "support/ref.hpp"

namespace vornix::py {

Ref make_port_state_class();
Ref make_port_state_numeric_class();

// A PortState member or a PortStateNumeric; TypeError
// "Expected PortState or PortStateNumeric" otherwise.
vornix::PortState port_state_from_python(PyObject* obj);
// A new PortState instance for the four plain states, a new PortStateNumeric
// for the numbered ones.
Ref port_state_to_python(const vornix::PortState& state);

}  // namespace vornix::py
