// GraphValidationErrorInfo: the Python view of one graph validation error
// (its kind, message and variant-specific fields). Frozen; instances come
// only from Graph.validate().
#pragma once

#include "graph/validate.hpp"
#include "support/python.hpp"
#include "support/ref.hpp"

namespace vornix::py {

Ref make_graph_validation_error_info_class();
// A new GraphValidationErrorInfo holding a copy of `error`.
Ref validation_error_to_python(const vornix::GraphValidationError& error);

}  // namespace vornix::py
