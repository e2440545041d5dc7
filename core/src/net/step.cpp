// The automatic flow step: edges deliver, nodes fire input salvos, automatic
// requests are issued and every queued request becomes epochs at its sources.
//
// The step reads only its worklists: the edges whose front packet may move
// and the nodes whose input ports or request token changed since they were
// last tried. An edge leaves its list when it is empty or its target is full
// and comes back when it gains a packet or its target regains room; a node
// leaves when it has no waiting packets or was tried without firing (and had
// its no-salvo request handled) and comes back when one of its ports or its
// token changes. Both lists are walked in index order, so the events of a
// step do not depend on hashing. A step costs in proportion to what moved.

#include <algorithm>
#include <set>
#include <utility>

#include "base/fault.hpp"
#include "graph/cascade.hpp"
#include "graph/salvo.hpp"
#include "net/state.hpp"

namespace vornix {

namespace {

// Puts a worklist in index order. A list mostly arrives in that order
// already, filled by the walks of the step before, which go in index order
// themselves: one pass tells, where a sort costs several.
void sort_worklist(std::vector<std::uint32_t>& list) {
  if (!std::is_sorted(list.begin(), list.end())) std::sort(list.begin(), list.end());
}

}  // namespace

std::optional<std::size_t> NetSim::first_holding_input_condition(Index node) const {
  if (nodes_[node].node->in_salvo_conditions.empty()) return std::nullopt;
  const std::vector<CompiledCondition>& compiled = node_conditions(node).in;
  for (std::size_t i = 0; i < compiled.size(); ++i) {
    if (input_term_holds(compiled[i])) return i;
  }
  return std::nullopt;
}

bool NetSim::has_waiting_packets(Index node) const {
  for (Index p = in_begin_[node]; p < in_begin_[node + 1]; ++p) {
    if (in_ports_[p].queue && !in_ports_[p].queue->empty()) return true;
  }
  return false;
}

bool NetSim::edge_can_move(const EdgeInfo& edge) const {
  if (!edge.queue || edge.queue->empty()) return false;
  const InPortInfo& target = in_ports_[edge.target];
  return target.capacity == kUnbounded ||
         (target.queue ? target.queue->size() : 0) < target.capacity;
}

// ---------------------------------------------------------------- phases

bool NetSim::move_along_edges(EventList& events) {
  // Every capacity is judged before any packet moves: a port fed by several
  // edges takes one packet from each of them when it had room at the start,
  // and may end the step above its capacity.
  // The worklist is taken whole; it keeps the storage of the step before,
  // so a step that moves one packet allocates nothing.
  std::vector<Index>& work = edge_scratch_;
  work.clear();
  work.swap(edge_work_);
  sort_worklist(work);
  std::vector<Index>& moving = moving_scratch_;
  moving.clear();
  for (Index e : work) {
    edges_[e].queued = false;
    if (edge_can_move(edges_[e])) moving.push_back(e);
  }
  // Room for the step's usual events at once: one per edge move and, for
  // each node that may fire, its salvo, its epoch and one packet taken.
  // Growing the list instead would move every event built so far.
  // The list may be a whole run's, so it grows geometrically: reserving
  // just enough on every step would move the run's events each time.
  const std::size_t needed =
      events.size() + moving.size() + 3 * (node_work_.size() + moving.size());
  if (needed > events.capacity()) events.reserve(std::max(needed, 2 * events.capacity()));
  for (Index e : moving) {
    EdgeInfo& edge = edges_[e];
    auto& packet = packets_.at_handle(edge.queue->ref_at(edge.queue->front_slot()));
    move_recorded(packet.id, packet.rec, Loc{Kind::InputPort, edge.target, {}}, events);
    if (!edge.queue->empty()) queue_edge(e);
  }
  return !moving.empty();
}

bool NetSim::try_trigger_input_salvo(Index node, EventList& events) {
  const std::optional<std::size_t> firing = first_holding_input_condition(node);
  if (!firing) return false;

  const Ulid epoch_id = Ulid::generate();
  // The salvo is written straight into the new epoch's record.
  Salvo& salvo = open_epoch(epoch_id, node).epoch.edit().in_salvo;
  const NodeConditions& conditions = node_conditions(node);
  const Name& shared_condition = conditions.in_names[*firing];
  salvo.salvo_condition = shared_condition;
  // (input port, the packet's handle)
  std::vector<std::pair<Index, std::uint32_t>>& taken = taken_scratch_;
  taken.clear();
  const CompiledCondition& condition = conditions.in[*firing];
  for (const auto& [p, count] : condition.ports) {
    const PacketQueue* q = p == kNone ? nullptr : in_ports_[p].queue.get();
    if (q == nullptr || q->empty()) continue;
    std::uint64_t remaining = take_count(count, q->size());
    for (PacketQueue::Slot s = q->front_slot(); remaining > 0; s = q->next(s), --remaining) {
      salvo.packets.emplace_back(shared_in_port_name(p), q->id_at(s));
      taken.emplace_back(p, q->ref_at(s));
    }
  }

  emit<NetEvent::InputSalvoTriggered>(events, epoch_id, shared_condition);
  emit<NetEvent::EpochCreated>(events, epoch_id);

  const Loc inside{Kind::Node, 0, epoch_id};
  for (const auto& [port, handle] : taken) {
    auto& packet = packets_.at_handle(handle);
    if (!(packet.rec.loc == Loc{Kind::InputPort, port, {}})) {
      internal_fault("Packet should exist at from_location");
    }
    move_recorded(packet.id, packet.rec, inside, events);
  }
  return true;
}

void NetSim::issue_startup_requests(EventList& events) {
  if (startup_requests_emitted_) return;
  bool issued = false;
  for (Index node : startup_nodes_) {
    const Node& n = *nodes_[node].node;
    const std::string& label = n.dependency_request_config->label;
    emit<NetEvent::RequestCreated>(events, n.name, label, RequestCreatedSource::OnStartup);
    pending_requests_.push_back(PendingRequest{n.name, label});
    issued = true;
  }
  // With no OnStartup trigger anywhere the flag stays false; the walk above is
  // then over an empty list and costs nothing.
  if (issued) startup_requests_emitted_ = true;
}

void NetSim::issue_no_salvo_requests(const std::vector<Index>& waiting,
                                     const std::vector<bool>& fired, EventList& events) {
  for (std::size_t i = 0; i < waiting.size(); ++i) {
    NodeInfo& info = nodes_[waiting[i]];
    if (fired[i] || !info.no_salvo || info.token != 2) continue;
    // One request per wait: the token comes back when an epoch of the node
    // finishes or is cancelled, not on every step the node stays stuck.
    info.token = 1;
    const std::string& label = info.node->dependency_request_config->label;
    emit<NetEvent::RequestCreated>(events, info.node->name, label,
                                   RequestCreatedSource::OnNoSalvoTriggered);
    pending_requests_.push_back(PendingRequest{info.node->name, label});
  }
}

Result<bool, NetActionError> NetSim::resolve_requests(EventList& events) {
  if (pending_requests_.empty()) return false;
  // Requests queued during this step are resolved too. Taken requests are not
  // put back if a later one fails: re-running them would only fail again.
  const std::vector<PendingRequest> requests = std::exchange(pending_requests_, {});

  std::vector<std::pair<std::string, std::string>> resolved;  // (source node, label)
  std::set<std::pair<std::string, std::string>> seen;
  for (const PendingRequest& request : requests) {
    const Index node = node_index(request.node_name);
    auto targets = dependency_targets_.find(node);
    if (node == kNone || targets == dependency_targets_.end()) continue;
    auto cascade = cascade_backward(*graph_, targets->second);
    if (!cascade) {
      return Unexpected{NetActionError{NetActionError::RequestUnconnectedPort{
          std::move(cascade.error().node_name), std::move(cascade.error().port_name)}}};
    }
    for (const std::string& source : cascade->source_nodes) {
      if (!seen.emplace(source, request.label).second) continue;
      resolved.emplace_back(source, request.label);
    }
    emit<NetEvent::RequestCascadeResolved>(events, std::move(cascade->source_nodes), request.label);
  }
  // Request epochs are made only once every request resolved, so a failing
  // request leaves no half-served set of epochs behind.

  for (const auto& [source, label] : resolved) {
    const Ulid epoch_id = Ulid::generate();
    const Index node = node_index(source);
    if (node == kNone) internal_fault("Source node from cascade should exist");
    add_epoch(Epoch{epoch_id,
                    shared_node_name(node),
                    Salvo{request_condition_, {}},
                    {},
                    EpochState::Startable,
                    {}},
              node);
    emit<NetEvent::EpochCreated>(events, epoch_id);
    emit<NetEvent::RequestEpochCreated>(events, epoch_id, source, label);
  }
  return !resolved.empty();
}

// ---------------------------------------------------------------- the step

NetActionResponse NetSim::run_step() {
  EventList events;
  Result<bool, NetActionError> made_progress = step_into(events);
  if (!made_progress) {
    // The changes of the earlier phases stay in the sim, and so do the
    // requests this step took and resolved: their events go back with the
    // error, in the order they happened, so the log is complete.
    return NetActionResponse{
        NetActionResponse::Error{std::move(made_progress).error(), std::move(events)}};
  }
  return NetActionResponse{NetActionResponse::Success{
      NetActionResponseData{NetActionResponseData::StepResult{*made_progress}}, std::move(events)}};
}

Result<bool, NetActionError> NetSim::step_into(EventList& events) {
  bool made_progress = move_along_edges(events);

  // Built once, after the edge moves, and shared by the salvo and no-salvo
  // request phases so both see the same nodes in the same order.
  std::vector<Index>& waiting = node_scratch_;
  waiting.clear();
  waiting.swap(node_work_);
  for (Index node : ask_work_) {
    nodes_[node].on_ask_list = false;
    if (nodes_[node].queued == Work::Parked) waiting.push_back(node);
  }
  ask_work_.clear();
  sort_worklist(waiting);
  for (Index node : waiting) nodes_[node].queued = Work::Off;
  std::erase_if(waiting, [&](Index node) { return !has_waiting_packets(node); });
  std::vector<bool>& fired = fired_scratch_;
  // Cleared, then grown: assign() would clear the storage of the longest
  // list any step ever had, which after one busy step is a cost per step
  // in proportion to the network.
  fired.clear();
  fired.resize(waiting.size(), false);
  for (std::size_t i = 0; i < waiting.size(); ++i) {
    fired[i] = try_trigger_input_salvo(waiting[i], events);
    made_progress = made_progress || fired[i];
    // A node that fired may fire again next step: its salvo may have left
    // packets, or taken none.
    if (fired[i]) queue_node(waiting[i]);
  }

  issue_startup_requests(events);
  issue_no_salvo_requests(waiting, fired, events);

  Result<bool, NetActionError> resolved = resolve_requests(events);
  if (!resolved) return Unexpected{std::move(resolved).error()};
  return made_progress || *resolved;
}

}  // namespace vornix
