// The automatic flow step: edges deliver, nodes fire input salvos, automatic
// requests are issued and every queued request becomes epochs at its sources.
//
// Each phase walks only what can have work: the indexes of non-empty edge and
// input-port locations, the nodes with OnStartup triggers and the dependency
// targets of the requesting node. A step therefore costs in proportion to the
// packets and requests in flight, not to the size of the network.

#include <set>
#include <utility>

#include "base/fault.hpp"
#include "graph/cascade.hpp"
#include "graph/salvo.hpp"
#include "net/state.hpp"

namespace vornix {

namespace {

struct EdgeMoveCandidate {
  PacketLocation from_location;
  PacketLocation to_location;
  Ulid packet_id;
  bool can_move = false;
};

// How many packets a salvo takes from a port holding `held`.
std::size_t take_count(const PacketCount& count, std::size_t held) {
  return std::visit(Overloaded{
                        [&](const PacketCount::All&) { return held; },
                        [&](const PacketCount::Count& c) {
                          return c.n < held ? static_cast<std::size_t>(c.n) : held;
                        },
                    },
                    count.value);
}

bool has_no_salvo_trigger(const Node& node) {
  return node.dependency_request_config &&
         node.dependency_request_config->has_trigger(DependencyRequestTrigger::OnNoSalvoTriggered);
}

}  // namespace

// ---------------------------------------------------------------- shared with is_blocked

StringMap<std::uint64_t> NetSim::input_packet_counts(const Node& node) const {
  StringMap<std::uint64_t> counts;
  counts.reserve(node.in_ports.size());
  for (const auto& [port, spec] : node.in_ports) {
    counts.emplace(port, packet_count_at(PacketLocation::input_port(node.name, port)));
  }
  return counts;
}

const OrderedMap<SalvoCondition>::Entry* NetSim::first_holding_input_condition(
    const Node& node) const {
  if (node.in_salvo_conditions.empty()) return nullptr;
  const StringMap<std::uint64_t> counts = input_packet_counts(node);
  for (const auto& entry : node.in_salvo_conditions) {
    if (evaluate_salvo_condition(entry.second.term, counts, node.in_ports)) return &entry;
  }
  return nullptr;
}

bool NetSim::input_port_has_room(const PortRef& target, const Port& port) const {
  const std::optional<std::uint64_t> capacity = port.slots_spec.capacity();
  if (!capacity) return true;
  return packet_count_at(PacketLocation::input_port(target.node_name, target.port_name)) <
         *capacity;
}

std::vector<std::string> NetSim::nodes_with_waiting_packets() const {
  std::vector<std::string> names;
  std::unordered_set<std::string_view> seen;
  for (const PacketLocation& location : nonempty_input_ports_) {
    const auto& port = std::get<PacketLocation::InputPort>(location.value);
    // The views point into the index's own keys, which outlive this walk.
    if (seen.insert(port.node_name).second) names.push_back(port.node_name);
  }
  return names;
}

// ---------------------------------------------------------------- phases

bool NetSim::move_along_edges(std::vector<NetEvent>& events) {
  // Every capacity is judged before any packet moves: a port fed by several
  // edges takes one packet from each of them when it had room at the start,
  // and may end the step above its capacity.
  std::vector<EdgeMoveCandidate> candidates;
  candidates.reserve(nonempty_edges_.size());
  for (const PacketLocation& location : nonempty_edges_) {
    const Edge& edge = std::get<PacketLocation::Edge>(location.value).edge;
    const Node* target = graph_.find_node(edge.target.node_name);
    if (target == nullptr) internal_fault("Edge targets a non-existent node");
    auto port = target->in_ports.find(edge.target.port_name);
    if (port == target->in_ports.end()) internal_fault("Edge targets a non-existent input port");
    candidates.push_back(EdgeMoveCandidate{
        location,
        PacketLocation::input_port(edge.target.node_name, edge.target.port_name),
        queue_at(location)->front(),
        input_port_has_room(edge.target, port->second),
    });
  }

  bool moved = false;
  for (EdgeMoveCandidate& c : candidates) {
    if (!c.can_move) continue;
    move_packet(c.packet_id, c.to_location);
    events.push_back(make_event<NetEvent::PacketMoved>(
        c.packet_id, std::move(c.from_location), std::move(c.to_location), std::uint64_t{0}));
    moved = true;
  }
  return moved;
}

bool NetSim::try_trigger_input_salvo(const Node& node, std::vector<NetEvent>& events) {
  const OrderedMap<SalvoCondition>::Entry* firing = first_holding_input_condition(node);
  if (firing == nullptr) return false;
  const auto& [condition_name, condition] = *firing;

  const Ulid epoch_id = Ulid::generate();
  Salvo salvo{condition_name, {}};
  for (const auto& [port, count] : condition.ports) {
    const PacketQueue* queue = queue_at(PacketLocation::input_port(node.name, port));
    if (queue == nullptr) continue;
    std::size_t remaining = take_count(count, queue->size());
    for (auto it = queue->begin(); remaining > 0; ++it, --remaining) {
      salvo.packets.emplace_back(port, *it);
    }
  }

  insert_startable_epoch(Epoch{epoch_id, node.name, salvo, {}, EpochState::Startable, {}});
  create_epoch_locations(epoch_id, node);
  events.push_back(make_event<NetEvent::InputSalvoTriggered>(epoch_id, condition_name));
  events.push_back(make_event<NetEvent::EpochCreated>(epoch_id));

  const PacketLocation into = PacketLocation::node(epoch_id);
  for (const auto& [port, packet_id] : salvo.packets) {
    PacketLocation from = PacketLocation::input_port(node.name, port);
    const PacketQueue* queue = queue_at(from);
    const std::optional<std::size_t> index = queue ? queue->index_of(packet_id) : std::nullopt;
    if (!index) internal_fault("Packet should exist at from_location");
    move_packet(packet_id, into);
    events.push_back(make_event<NetEvent::PacketMoved>(packet_id, std::move(from), into,
                                                       static_cast<std::uint64_t>(*index)));
  }
  return true;
}

void NetSim::issue_startup_requests(std::vector<NetEvent>& events) {
  if (startup_requests_emitted_) return;
  bool issued = false;
  for (const std::string& name : startup_nodes_) {
    const Node* node = graph_.find_node(name);
    if (node == nullptr || !node->dependency_request_config) continue;
    const std::string& label = node->dependency_request_config->label;
    events.push_back(
        make_event<NetEvent::RequestCreated>(name, label, RequestCreatedSource::OnStartup));
    pending_requests_.push_back(PendingRequest{name, label});
    issued = true;
  }
  // With no OnStartup trigger anywhere the flag stays false; the walk above is
  // then over an empty list and costs nothing.
  if (issued) startup_requests_emitted_ = true;
}

void NetSim::issue_no_salvo_requests(const std::vector<std::string>& waiting,
                                     const std::vector<bool>& fired,
                                     std::vector<NetEvent>& events) {
  for (std::size_t i = 0; i < waiting.size(); ++i) {
    if (fired[i]) continue;
    const Node* node = graph_.find_node(waiting[i]);
    if (node == nullptr || !has_no_salvo_trigger(*node)) continue;
    auto token = request_tokens_.find(waiting[i]);
    if (token == request_tokens_.end() || !token->second) continue;
    // One request per wait: the token comes back when an epoch of the node
    // finishes or is cancelled, not on every step the node stays stuck.
    token->second = false;
    const std::string& label = node->dependency_request_config->label;
    events.push_back(make_event<NetEvent::RequestCreated>(
        waiting[i], label, RequestCreatedSource::OnNoSalvoTriggered));
    pending_requests_.push_back(PendingRequest{waiting[i], label});
  }
}

Result<bool, NetActionError> NetSim::resolve_requests(std::vector<NetEvent>& events) {
  if (pending_requests_.empty()) return false;
  // Requests queued during this step are resolved too. Taken requests are not
  // put back if a later one fails: re-running them would only fail again.
  const std::vector<PendingRequest> requests = std::exchange(pending_requests_, {});

  std::vector<std::pair<std::string, std::string>> resolved;  // (source node, label)
  std::set<std::pair<std::string, std::string>> seen;
  for (const PendingRequest& request : requests) {
    auto targets = dependency_targets_by_node_.find(request.node_name);
    if (targets == dependency_targets_by_node_.end() || targets->second.empty()) continue;
    auto cascade = cascade_backward(graph_, targets->second);
    if (!cascade) {
      return Unexpected{NetActionError{NetActionError::RequestUnconnectedPort{
          std::move(cascade.error().node_name), std::move(cascade.error().port_name)}}};
    }
    for (const std::string& source : cascade->source_nodes) {
      if (!seen.emplace(source, request.label).second) continue;
      resolved.emplace_back(source, request.label);
    }
    events.push_back(make_event<NetEvent::RequestCascadeResolved>(
        std::move(cascade->source_nodes), request.label));
  }
  // Request epochs are made only once every request resolved, so a failing
  // request leaves no half-served set of epochs behind.

  for (const auto& [source, label] : resolved) {
    const Ulid epoch_id = Ulid::generate();
    const Node* node = graph_.find_node(source);
    if (node == nullptr) internal_fault("Source node from cascade should exist");
    insert_startable_epoch(Epoch{epoch_id,
                                 source,
                                 Salvo{std::string(kRequestSalvoCondition), {}},
                                 {},
                                 EpochState::Startable,
                                 {}});
    create_epoch_locations(epoch_id, *node);
    events.push_back(make_event<NetEvent::EpochCreated>(epoch_id));
    events.push_back(make_event<NetEvent::RequestEpochCreated>(epoch_id, source, label));
  }
  return !resolved.empty();
}

// ---------------------------------------------------------------- the step

NetActionResponse NetSim::run_step() {
  std::vector<NetEvent> events;
  bool made_progress = move_along_edges(events);

  // Built once, after the edge moves, and shared by the salvo and no-salvo
  // request phases so both see the same nodes in the same order.
  const std::vector<std::string> waiting = nodes_with_waiting_packets();
  std::vector<bool> fired(waiting.size(), false);
  for (std::size_t i = 0; i < waiting.size(); ++i) {
    const Node* node = graph_.find_node(waiting[i]);
    if (node == nullptr) continue;
    fired[i] = try_trigger_input_salvo(*node, events);
    made_progress = made_progress || fired[i];
  }

  issue_startup_requests(events);
  issue_no_salvo_requests(waiting, fired, events);

  const std::size_t changes_end = events.size();
  Result<bool, NetActionError> resolved = resolve_requests(events);
  if (!resolved) {
    // The changes of the earlier phases stay in the sim, so their events go
    // back with the error: dropping them would leave changes nobody can see
    // or undo. Resolution notes of this step are not changes and are dropped
    // with the epochs they would have led to.
    events.resize(changes_end);
    return NetActionResponse{
        NetActionResponse::Error{std::move(resolved).error(), std::move(events)}};
  }
  made_progress = made_progress || *resolved;
  return NetActionResponse{NetActionResponse::Success{
      NetActionResponseData{NetActionResponseData::StepResult{made_progress}}, std::move(events)}};
}

}  // namespace vornix
