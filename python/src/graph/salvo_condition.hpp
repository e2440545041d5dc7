// SalvoCondition: one named condition of a node (how often it may fire, the
// ports whose packets it takes, and the term that must hold).
#pragma once

#include "graph/elements.hpp"
#include "support/python.hpp"
#include "support/ref.hpp"

namespace vornix::py {

Ref make_salvo_condition_class();
// The engine value inside a SalvoCondition instance, or null for any other object.
const vornix::SalvoCondition* salvo_condition_or_null(PyObject* obj) noexcept;
// A new SalvoCondition holding a copy of `condition`.
// REQUIRES: its term was built from Python (see term.hpp on nesting depth).
Ref salvo_condition_to_python(const vornix::SalvoCondition& condition);

}  // namespace vornix::py
