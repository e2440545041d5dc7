// Blocked detection and running the automatic flow to a standstill.
//
// is_blocked asks the questions the run step acts on (edge deliveries, input
// salvos, queued requests, startup requests) over the step's own worklists:
// an edge or node off its list cannot act, so only the listed ones are
// looked at. It deliberately ignores no-salvo requests: a node stuck waiting
// does not by itself keep the network busy.

#include <span>

#include "net/state.hpp"

namespace vornix {

namespace {

// Whether a step with these events could leave the flow in a different state
// from the one it started in. The step's decisions read only packet
// locations at edges and input ports, the request queue, the request tokens
// and the startup flag; epochs are never read. A step that moved no packet
// and queued no request, starting from an empty queue, changed none of them,
// so the next step would repeat it forever.
bool may_change_flow(std::span<const NetEvent> events, bool had_requests) {
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
    // What cannot act comes off its list here as the step would take it off,
    // so that asking again about a network that has not changed costs O(1).
    // The lists are unordered (the step sorts them), so removal swaps.
    for (std::size_t i = 0; i < edge_work_.size();) {
      const Index e = edge_work_[i];
      if (edge_can_move(edges_[e])) return false;
      edges_[e].queued = false;
      edge_work_[i] = edge_work_.back();
      edge_work_.pop_back();
    }
    for (std::size_t i = 0; i < node_work_.size();) {
      const Index node = node_work_[i];
      const NodeInfo& info = nodes_[node];
      const bool waiting = has_waiting_packets(node);
      if (waiting && first_holding_input_condition(node).has_value()) return false;
      if (waiting && info.no_salvo && info.token == 2) {
        // Its request is the step's to make; the step finds it on ask_work_.
        info.queued = Work::Parked;
        if (!info.on_ask_list) {
          info.on_ask_list = true;
          ask_work_.push_back(node);
        }
      } else {
        info.queued = Work::Off;
      }
      node_work_[i] = node_work_.back();
      node_work_.pop_back();
    }
  }
  if (!pending_requests_.empty()) return false;
  // startup_nodes_ lists exactly the nodes whose configuration has OnStartup.
  if (has_nodes && !startup_requests_emitted_ && !startup_nodes_.empty()) return false;
  return true;
}

bool NetSim::run_until_blocked(EventList& events, const std::function<bool()>& interrupted) {
  while (!is_blocked()) {
    if (interrupted && interrupted()) return false;
    const bool had_requests = !pending_requests_.empty();
    // Each step writes straight into the caller's list, whose storage the
    // caller may keep from run to run. A failed step keeps the changes it
    // made before failing, and their events, which belong in the log like
    // any others; the run goes on.
    const std::size_t first = events.size();
    (void)step_into(events);
    const bool changed_flow =
        may_change_flow(std::span<const NetEvent>(events).subspan(first), had_requests);
    // A node whose condition holds without its salvo taking the packets that
    // make it hold fires a new epoch on every step; stop rather than loop
    // (and grow the epoch set) forever.
    if (!changed_flow) break;
  }
  return true;
}

EventList NetSim::run_until_blocked() {
  EventList events;
  run_until_blocked(events, {});
  return events;
}

}  // namespace vornix
