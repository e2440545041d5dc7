// EpochState: the lifecycle state of an epoch (an unhashable enumeration
// class).
#pragma once

#include <string_view>

#include "net/records.hpp"
#include "support/python.hpp"
#include "support/ref.hpp"

namespace vornix::py {

Ref make_epoch_state_class();
// A new EpochState instance equal to the class attribute for `s`.
Ref epoch_state_to_python(vornix::EpochState s);
// The state of an EpochState argument; TypeError
// "argument '{name}': expected EpochState, got {type}" otherwise.
vornix::EpochState epoch_state_arg(std::string_view name, PyObject* obj);

}  // namespace vornix::py
