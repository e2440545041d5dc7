// Epoch: a borrow-checked snapshot of one execution of a node. Only the
// binding makes them, from engine epochs (epoch_to_python in
// net/conversions.hpp); the object shares its engine epoch and converts
// fields when they are read.
#pragma once

#include <string>
#include <string_view>

#include "net/record_values.hpp"
#include "support/python.hpp"
#include "support/ref.hpp"

namespace vornix::py {

Ref make_epoch_class();

Ref epoch_to_python(SharedEpoch epoch);
// The epoch of an Epoch argument (shared); TypeError
// "argument '{name}': expected Epoch, got {type}" for any other object.
SharedEpoch epoch_arg(std::string_view name, PyObject* obj);

// Epoch(id='...', node_name="A", state=EpochState.Running): repr() of an
// Epoch, also embedded in the representation of epoch events.
std::string epoch_repr(const vornix::Epoch& epoch);

}  // namespace vornix::py
