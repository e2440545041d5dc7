// Request cascade: the backward walk from a requesting node's input ports to
// the source nodes that can produce packets for it. A pure function of the
// graph.
#pragma once

#include <string>
#include <variant>
#include <vector>

#include "base/result.hpp"
#include "graph/graph.hpp"

namespace vornix {

struct CascadeResult {
  std::vector<std::string> source_nodes;  // each once, in recognition order
};

// The first input port the walk reached that no edge feeds.
struct CascadeUnconnectedPort {
  std::string node_name;
  std::string port_name;
};

// Breadth-first over input ports, expanding each upstream node once; cycles
// end the walk without error. Throws InternalError "Edge references
// non-existent node" on a graph that did not pass validation.
Result<CascadeResult, CascadeUnconnectedPort> cascade_backward(
    const Graph& graph, const std::vector<PortRef>& start_ports);

}  // namespace vornix
