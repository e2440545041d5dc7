// Epoch: a borrow-checked snapshot of one execution of a node, identifiers
// stored as text (net/record_values.hpp). Only the binding makes them
// (epoch_to_python in net/conversions.hpp).
#pragma once

#include <string>
#include <string_view>

#include "net/record_values.hpp"
#include "support/python.hpp"
#include "support/ref.hpp"

namespace vornix::py {

Ref make_epoch_class();

Ref epoch_value_to_python(const EpochValue& epoch);
// A copy of the value of an Epoch argument; TypeError
// "argument '{name}': expected Epoch, got {type}" for any other object.
EpochValue epoch_arg(std::string_view name, PyObject* obj);
// The value of an Epoch object, or null for any other object.
// REQUIRES: the caller holds no borrow conflict (epochs are never changed).
const EpochValue* epoch_from_python(PyObject* obj) noexcept;

// Epoch(id='...', node_name="A", state=EpochState.Running): repr() of an
// Epoch, also embedded in the representation of epoch events.
std::string epoch_repr(const EpochValue& epoch);

}  // namespace vornix::py
