// DependencyRequestTrigger (enumeration: OnStartup, OnNoSalvoTriggered) and
// DependencyRequestConfig (triggers and a label): a node's automatic
// dependency requests.
#pragma once

#include <string_view>

#include "graph/elements.hpp"
#include "support/python.hpp"
#include "support/ref.hpp"

namespace vornix::py {

Ref make_dependency_request_trigger_class();
Ref make_dependency_request_config_class();

// The engine value of a DependencyRequestConfig argument; TypeError
// "argument '{name}': expected DependencyRequestConfig, got {type}" otherwise.
const vornix::DependencyRequestConfig& request_config_arg(std::string_view name, PyObject* obj);
// A new DependencyRequestConfig holding a copy of `config`.
Ref request_config_to_python(const vornix::DependencyRequestConfig& config);

}  // namespace vornix::py
