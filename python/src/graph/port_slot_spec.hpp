// PortSlotSpec (enumeration: Infinite, Finite) and PortSlotSpecFinite (a
// capacity): a port's capacity as Python sees it.
#pragma once

#include "graph/elements.hpp"
#include "support/python.hpp"
#include "support/ref.hpp"

namespace vornix::py {

Ref make_port_slot_spec_class();
Ref make_port_slot_spec_finite_class();

// Null (omitted), None and either PortSlotSpec member give Infinite (the bare
// Finite member carries no capacity); a PortSlotSpecFinite gives Finite.
// TypeError "Expected PortSlotSpec or PortSlotSpecFinite" otherwise.
vornix::PortSlotSpec port_slot_spec_from_python(PyObject* obj);
// PortSlotSpec.Infinite or a new PortSlotSpecFinite.
Ref port_slot_spec_to_python(const vornix::PortSlotSpec& spec);

}  // namespace vornix::py
