#include "net/state.hpp"

#include <algorithm>
#include <iterator>

#include "base/fault.hpp"
#include "graph/validate.hpp"

namespace vornix {

// ---------------------------------------------------------------- PacketQueue

void PacketQueue::push_back(const Ulid& id) {
  order_.push_back(id);
  members_.insert(id);
}

void PacketQueue::insert_at(std::size_t index, const Ulid& id) {
  const auto offset = static_cast<std::ptrdiff_t>(std::min(index, order_.size()));
  order_.insert(order_.begin() + offset, id);
  members_.insert(id);
}

bool PacketQueue::erase(const Ulid& id) {
  if (members_.erase(id) == 0) return false;
  // Packets nearly always leave from the front (edges and ports are queues).
  order_.erase(std::find(order_.begin(), order_.end(), id));
  return true;
}

std::optional<std::size_t> PacketQueue::index_of(const Ulid& id) const {
  if (!members_.contains(id)) return std::nullopt;
  return static_cast<std::size_t>(std::find(order_.begin(), order_.end(), id) - order_.begin());
}

// ---------------------------------------------------------------- NetSim

namespace {

std::string invalid_graph_message(const std::vector<GraphValidationError>& errors) {
  std::string message = "Cannot create NetSim with invalid graph:";
  for (const GraphValidationError& e : errors) message += "\n  - " + e.message();
  return message;
}

bool has_no_salvo_trigger(const Node& node) {
  return node.dependency_request_config &&
         node.dependency_request_config->has_trigger(DependencyRequestTrigger::OnNoSalvoTriggered);
}

}  // namespace

NetSim::NetSim(Graph graph) : graph_(std::move(graph)) {
  const std::vector<GraphValidationError> errors = graph_.validate();
  if (!errors.empty()) internal_fault(invalid_graph_message(errors));

  for (const Edge& edge : graph_.edges()) packets_by_location_[PacketLocation::edge(edge)];
  for (const auto& [name, node] : graph_.nodes()) {
    for (const auto& [port, spec] : node.in_ports) {
      packets_by_location_[PacketLocation::input_port(name, port)];
    }
    if (has_no_salvo_trigger(node)) request_tokens_[name] = true;
    if (node.dependency_request_config &&
        node.dependency_request_config->has_trigger(DependencyRequestTrigger::OnStartup)) {
      startup_nodes_.push_back(name);
    }
  }
  packets_by_location_[PacketLocation::outside_net()];

  for (const Edge& edge : graph_.dependency_edges()) {
    dependency_targets_by_node_[edge.target.node_name].push_back(edge.target);
  }
}

const Packet* NetSim::get_packet(const Ulid& id) const {
  auto it = packets_.find(id);
  return it == packets_.end() ? nullptr : &it->second;
}

const Epoch* NetSim::get_epoch(const Ulid& id) const {
  auto it = epochs_.find(id);
  return it == epochs_.end() ? nullptr : &it->second;
}

std::uint64_t NetSim::packet_count_at(const PacketLocation& location) const {
  const PacketQueue* q = queue_at(location);
  return q ? q->size() : 0;
}

std::vector<Ulid> NetSim::get_packets_at_location(const PacketLocation& location) const {
  const PacketQueue* q = queue_at(location);
  return q ? q->to_vector() : std::vector<Ulid>{};
}

std::vector<Ulid> NetSim::get_startable_epochs() const {
  return {startable_epochs_.begin(), startable_epochs_.end()};
}

void NetSim::move_packet(const Ulid& packet_id, const PacketLocation& to) {
  auto packet = packets_.find(packet_id);
  if (packet == packets_.end()) internal_fault("Packet not found: " + packet_id.to_string());
  const PacketLocation from = packet->second.location;
  if (!packets_by_location_.contains(from)) {
    internal_fault("Packet location has no entry in self._packets_by_location.");
  }
  queue_erase(from, packet_id);
  packet->second.location = to;
  auto target = packets_by_location_.find(to);
  if (target == packets_by_location_.end()) {
    internal_fault("Packet location has no entry in self._packets_by_location");
  }
  if (target->second.contains(packet_id)) {
    internal_fault("Attempted to move packet to a location that already contains it.");
  }
  target->second.push_back(packet_id);
  note_queue_state(to, true);
}

void NetSim::set_request_token(std::string_view node_name, bool value) {
  const Node* node = graph_.find_node(node_name);
  if (node == nullptr || !has_no_salvo_trigger(*node)) return;
  auto it = request_tokens_.find(node_name);
  if (it == request_tokens_.end()) {
    request_tokens_.emplace(std::string(node_name), value);
  } else {
    it->second = value;
  }
}

// ---------------------------------------------------------------- location entries

const PacketQueue* NetSim::queue_at(const PacketLocation& location) const {
  auto it = packets_by_location_.find(location);
  return it == packets_by_location_.end() ? nullptr : &it->second;
}

PacketQueue& NetSim::ensure_queue(const PacketLocation& location) {
  return packets_by_location_[location];
}

void NetSim::reset_queue(const PacketLocation& location) {
  packets_by_location_[location] = PacketQueue{};
  note_queue_state(location, false);
}

void NetSim::remove_queue(const PacketLocation& location) {
  packets_by_location_.erase(location);
  note_queue_state(location, false);
}

void NetSim::queue_push_back(const PacketLocation& location, const Ulid& id) {
  ensure_queue(location).push_back(id);
  note_queue_state(location, true);
}

void NetSim::queue_insert_at(const PacketLocation& location, std::size_t index, const Ulid& id) {
  ensure_queue(location).insert_at(index, id);
  note_queue_state(location, true);
}

bool NetSim::queue_erase(const PacketLocation& location, const Ulid& id) {
  auto it = packets_by_location_.find(location);
  if (it == packets_by_location_.end() || !it->second.erase(id)) return false;
  if (it->second.empty()) note_queue_state(location, false);
  return true;
}

void NetSim::note_queue_state(const PacketLocation& location, bool non_empty) {
  std::unordered_set<PacketLocation>* index = nullptr;
  if (std::holds_alternative<PacketLocation::Edge>(location.value)) {
    index = &nonempty_edges_;
  } else if (std::holds_alternative<PacketLocation::InputPort>(location.value)) {
    index = &nonempty_input_ports_;
  } else {
    return;
  }
  if (non_empty) {
    index->insert(location);
  } else {
    index->erase(location);
  }
}

void NetSim::create_epoch_locations(const Ulid& epoch_id, const Node& node) {
  reset_queue(PacketLocation::node(epoch_id));
  for (const auto& [port, spec] : node.out_ports) {
    reset_queue(PacketLocation::output_port(epoch_id, port));
  }
}

void NetSim::remove_epoch_locations(const Ulid& epoch_id, const Node* node) {
  remove_queue(PacketLocation::node(epoch_id));
  if (node == nullptr) return;
  for (const auto& [port, spec] : node->out_ports) {
    remove_queue(PacketLocation::output_port(epoch_id, port));
  }
}

void NetSim::insert_startable_epoch(Epoch epoch) {
  const Ulid id = epoch.id;
  std::string node_name = epoch.node_name;
  epoch.state = EpochState::Startable;
  epochs_.insert_or_assign(id, std::move(epoch));
  startable_epochs_.insert(id);
  epochs_by_node_[node_name].push_back(id);
}

// ---------------------------------------------------------------- invariants

void NetSim::check_invariants() const {
  for (const auto& [id, packet] : packets_) {
    if (packet.id != id) internal_fault("packet stored under another id");
    const PacketQueue* q = queue_at(packet.location);
    if (q == nullptr || !q->contains(id)) {
      internal_fault("packet " + id.to_string() + " missing from its location " +
                     packet.location.debug());
    }
    if (const Ulid* e = packet.location.epoch_id(); e && !epochs_.contains(*e)) {
      internal_fault("packet " + id.to_string() + " inside a dead epoch");
    }
  }
  std::size_t held = 0;
  for (const auto& [location, queue] : packets_by_location_) {
    if (queue.size() != static_cast<std::size_t>(std::distance(queue.begin(), queue.end()))) {
      internal_fault("queue order and membership disagree");
    }
    for (const Ulid& id : queue) {
      auto it = packets_.find(id);
      if (it == packets_.end() || !(it->second.location == location)) {
        internal_fault("location " + location.debug() + " holds a stray id " + id.to_string());
      }
      if (!queue.contains(id)) internal_fault("queue membership out of step");
    }
    held += queue.size();
    const bool indexed = nonempty_edges_.contains(location) || nonempty_input_ports_.contains(location);
    const bool indexable = std::holds_alternative<PacketLocation::Edge>(location.value) ||
                           std::holds_alternative<PacketLocation::InputPort>(location.value);
    if (indexable && indexed != !queue.empty()) {
      internal_fault("non-empty index out of step at " + location.debug());
    }
  }
  if (held != packets_.size()) internal_fault("a packet is held by two locations");
  for (const PacketLocation& l : nonempty_edges_) {
    if (packet_count_at(l) == 0) internal_fault("empty edge indexed");
  }
  for (const PacketLocation& l : nonempty_input_ports_) {
    if (packet_count_at(l) == 0) internal_fault("empty input port indexed");
  }
  std::size_t startable = 0;
  for (const auto& [id, epoch] : epochs_) {
    if (epoch.id != id) internal_fault("epoch stored under another id");
    if (!has_location_entry(PacketLocation::node(id))) internal_fault("epoch without Node entry");
    if (epoch.state == EpochState::Startable) {
      ++startable;
      if (!startable_epochs_.contains(id)) internal_fault("startable epoch not indexed");
    }
    auto list = epochs_by_node_.find(epoch.node_name);
    if (list == epochs_by_node_.end() ||
        std::find(list->second.begin(), list->second.end(), id) == list->second.end()) {
      internal_fault("epoch missing from its node's list");
    }
  }
  if (startable != startable_epochs_.size()) internal_fault("startable set out of step");
}

}  // namespace vornix
