// NetAction: what a caller asks a simulation to do. Borrow-checked; made only
// by the static constructors. Identifier arguments are kept as the text of
// str(argument), unchecked, and parsed when the action is performed or undone
// (action_arg in net/conversions.hpp).
#pragma once

#include "support/python.hpp"
#include "support/ref.hpp"

namespace vornix::py {

Ref make_net_action_class();

}  // namespace vornix::py
