// MaxSalvos (enumeration: Infinite) and MaxSalvosFinite (a limit): how often
// a salvo condition may fire.
#pragma once

#include <string>

#include "graph/elements.hpp"
#include "support/python.hpp"
#include "support/ref.hpp"

namespace vornix::py {

Ref make_max_salvos_class();
Ref make_max_salvos_finite_class();

// MaxSalvos.Infinite or a MaxSalvosFinite; TypeError
// "Expected MaxSalvos or MaxSalvosFinite" otherwise.
vornix::MaxSalvos max_salvos_from_python(PyObject* obj);
// A new MaxSalvos.Infinite instance or a new MaxSalvosFinite.
Ref max_salvos_to_python(const vornix::MaxSalvos& max);
// "MaxSalvos.Infinite" or "MaxSalvos.finite(n)", as in the reprs.
std::string max_salvos_repr(const vornix::MaxSalvos& max);

}  // namespace vornix::py
