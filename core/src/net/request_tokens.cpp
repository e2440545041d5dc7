// Request tokens of nodes with an OnNoSalvoTriggered trigger.
#include "net/state.hpp"

namespace vornix {

void NetSim::set_token(Index node, bool value) {
  nodes_[node].token = value ? 2 : 1;
  // A node stuck with waiting packets may ask again.
  if (value) queue_node(node);
}

void NetSim::set_request_token(std::string_view node_name, bool value) {
  const Index node = node_index(node_name);
  if (node == kNone || !nodes_[node].no_salvo) return;
  set_token(node, value);
}

}  // namespace vornix
