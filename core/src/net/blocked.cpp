// Blocked detection and running the automatic flow to a standstill.
//
// is_blocked asks the questions the run step acts on (edge deliveries, input
// salvos, queued requests, startup requests) over the step's own worklists:
// an edge or node off its list cannot act, so only the listed ones are
// looked at. It deliberately ignores no-salvo requests: a node stuck waiting
// does not by itself keep the network busy.

#include "net/state.hpp"

namespace vornix {

namespace {

std::vector<NetEvent>& events_of(NetActionResponse& response) {
  return std::visit([](auto& r) -> std::vector<NetEvent>& { return r.events; }, response.value);
}

// Whether a step with these events could leave the flow in a different state
// from the one it started in. The step's decisions read only packet
// locations at edges and input ports, the request queue, the request tokens
// and the startup flag; epochs are never read. A step that moved no packet
// and queued no request, starting from an empty queue, changed none of them,
// so the next step would repeat it forever.
bool may_change_flow(const std::vector<NetEvent>& events, bool had_requests) {
  if (had_requests) return true;
  for (const NetEvent& e : events) {
    if (std::holds_alternative<NetEvent::PacketMoved>(e.value) ||
        std::holds_alternative<NetEvent::RequestCreated>(e.value)) {
      return true;
    }
  }
  return false;
}

}  // namespace

bool NetSim::is_blocked() const {
  const bool has_nodes = !nodes_.empty();
  if (has_nodes) {
    for (Index e : edge_work_) {
      if (edge_can_move(edges_[e])) return false;
    }
    for (Index node : node_work_) {
      if (has_waiting_packets(node) && first_holding_input_condition(node) != nullptr) return false;
    }
  }
  if (!pending_requests_.empty()) return false;
  // startup_nodes_ lists exactly the nodes whose configuration has OnStartup.
  if (has_nodes && !startup_requests_emitted_ && !startup_nodes_.empty()) return false;
  return true;
}

std::vector<NetEvent> NetSim::run_until_blocked() {
  std::vector<NetEvent> all;
  while (!is_blocked()) {
    const bool had_requests = !pending_requests_.empty();
    NetActionResponse response = do_action(NetAction{NetAction::RunStep{}});
    // A failed step keeps the changes it made before failing and reports
    // their events beside the error; they belong in the log like any others.
    std::vector<NetEvent>& events = events_of(response);
    const bool changed_flow = may_change_flow(events, had_requests);
    all.insert(all.end(), std::make_move_iterator(events.begin()),
               std::make_move_iterator(events.end()));
    // A node whose condition holds without its salvo taking the packets that
    // make it hold fires a new epoch on every step; stop rather than loop
    // (and grow the epoch set) forever.
    if (!changed_flow) break;
  }
  return all;
}

}  // namespace vornix
