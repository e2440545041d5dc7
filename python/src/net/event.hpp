// NetEvent: one recorded change, as the binding hands it to Python. Borrow-
// checked; made only from engine events (event_to_python) and converted back
// for undo (event_from_python), both in net/conversions.hpp.
#pragma once

#include "support/python.hpp"
#include "support/ref.hpp"

namespace vornix::py {

Ref make_net_event_class();

}  // namespace vornix::py
