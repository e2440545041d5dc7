#include "graph/cascade.hpp"

#include <deque>
#include <unordered_set>
#include <utility>

#include "base/fault.hpp"

namespace vornix {

namespace {

PortRef input_of(const std::string& node_name, const std::string& port_name) {
  return PortRef{node_name, PortType::Input, port_name};
}

// Whether any input port of `node` has an incoming edge.
bool is_fed(const Graph& graph, const Node& node) {
  for (const auto& entry : node.in_ports) {
    if (!graph.get_edges_by_head(input_of(node.name, entry.first)).empty()) return true;
  }
  return false;
}

}  // namespace

Result<CascadeResult, CascadeUnconnectedPort> cascade_backward(
    const Graph& graph, const std::vector<PortRef>& start_ports) {
  std::deque<PortRef> queue(start_ports.begin(), start_ports.end());
  // The requesting node is deliberately not pre-marked: if a cycle leads back
  // to it, it is expanded like any other upstream node.
  std::unordered_set<std::string, StringHash, std::equal_to<>> visited;
  CascadeResult result;

  while (!queue.empty()) {
    const PortRef port = std::move(queue.front());
    queue.pop_front();
    const EdgeList incoming = graph.get_edges_by_head(port);
    if (incoming.empty()) {
      return Unexpected{CascadeUnconnectedPort{port.node_name, port.port_name}};
    }
    for (const Edge& edge : incoming) {
      const std::string& source_name = edge.source.node_name;
      if (!visited.insert(source_name).second) continue;
      const Node* source = graph.find_node(source_name);
      if (source == nullptr) internal_fault("Edge references non-existent node");
      if (is_fed(graph, *source)) {
        for (const auto& entry : source->in_ports) {
          queue.push_back(input_of(source_name, entry.first));
        }
      } else {
        // Each node passes here at most once (the visited set), so the list
        // can never receive a name twice.
        result.source_nodes.push_back(source_name);
      }
    }
  }
  return result;
}

}  // namespace vornix
