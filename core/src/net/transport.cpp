// The actions that move packets out of epochs and along the network, and the
// request action: loading an output port, sending an output salvo, moving a
// packet by hand, and queueing a packet request.
//
// As with every action, all checks run before the first change.
#include <algorithm>
#include <optional>

#include "base/fault.hpp"
#include "graph/salvo.hpp"
#include "net/action_support.hpp"
#include "net/state.hpp"

namespace vornix {

using action_support::port_is_full;
using action_support::refuse;
using action_support::succeed;
using E = NetActionError;
using Data = NetActionResponseData;

namespace {

// One packet an output salvo sends, decided before anything moves.
struct PlannedMove {
  Ulid packet_id;
  std::string port;
  PacketLocation from;
  PacketLocation to;
  bool orphaned = false;
};

std::uint64_t count_salvos_named(const Epoch& epoch, const std::string& condition) {
  return static_cast<std::uint64_t>(
      std::count_if(epoch.out_salvos.begin(), epoch.out_salvos.end(),
                    [&](const Salvo& s) { return s.salvo_condition == condition; }));
}

std::uint64_t take_count(const PacketCount& count, std::uint64_t available) {
  if (const auto* n = std::get_if<PacketCount::Count>(&count.value)) {
    return std::min(n->n, available);
  }
  return available;
}

}  // namespace

NetActionResponse NetSim::load_packet_into_output_port(
    const NetAction::LoadPacketIntoOutputPort& action) {
  const Ulid& packet_id = action.packet_id;
  const Packet* packet = get_packet(packet_id);
  if (packet == nullptr) return refuse(E::PacketNotFound{packet_id});
  const auto* inside = std::get_if<PacketLocation::Node>(&packet->location.value);
  if (inside == nullptr) return refuse(E::PacketNotInAnyNode{packet_id});

  const Ulid epoch_id = inside->epoch_id;
  const Epoch* epoch = get_epoch(epoch_id);
  if (epoch == nullptr) {
    internal_fault("The epoch id in the location of a packet could not be found.");
  }
  const Node* node = graph_.find_node(epoch->node_name);
  if (node == nullptr) {
    internal_fault("Packet located in a non-existing node (yet the node has an epoch).");
  }
  auto port = node->out_ports.find(action.port_name);
  if (port == node->out_ports.end()) {
    return refuse(E::OutputPortNotFound{action.port_name, epoch_id});
  }
  PacketLocation to = PacketLocation::output_port(epoch_id, action.port_name);
  const PacketQueue* to_queue = queue_at(to);
  if (to_queue == nullptr) {
    internal_fault("No entry in NetSim._packets_by_location found for output port.");
  }
  if (port_is_full(port->second.slots_spec, to_queue->size())) {
    return refuse(E::OutputPortFull{action.port_name, epoch_id});
  }

  PacketLocation from = packet->location;
  const PacketQueue* from_queue = queue_at(from);
  const std::optional<std::size_t> index =
      from_queue ? from_queue->index_of(packet_id) : std::nullopt;
  if (!index) internal_fault("Packet should exist at old_location");
  move_packet(packet_id, to);

  std::vector<NetEvent> events;
  events.push_back(make_event<NetEvent::PacketMoved>(packet_id, std::move(from), std::move(to),
                                                     static_cast<std::uint64_t>(*index)));
  return succeed(Data::Empty{}, std::move(events));
}

NetActionResponse NetSim::send_output_salvo(const NetAction::SendOutputSalvo& action) {
  const Ulid& epoch_id = action.epoch_id;
  const std::string& condition_name = action.salvo_condition_name;
  auto found = epochs_.find(epoch_id);
  if (found == epochs_.end()) return refuse(E::EpochNotFound{epoch_id});
  Epoch& epoch = found->second;
  const Node* node = graph_.find_node(epoch.node_name);
  if (node == nullptr) internal_fault("Node associated with epoch could not be found.");
  const SalvoCondition* condition = node->out_salvo_conditions.find(condition_name);
  if (condition == nullptr) return refuse(E::SalvoConditionNotFound{condition_name, epoch_id});
  if (const auto* max = std::get_if<MaxSalvos::Finite>(&condition->max_salvos.value);
      max && count_salvos_named(epoch, condition_name) >= max->n) {
    return refuse(E::MaxSalvosExceeded{condition_name, epoch_id});
  }
  PacketCounts counts;
  for (const auto& [port, spec] : node->out_ports) {
    counts.emplace(port, packet_count_at(PacketLocation::output_port(epoch_id, port)));
  }
  if (!evaluate_salvo_condition(condition->term, counts, node->out_ports)) {
    return refuse(E::SalvoConditionNotMet{condition_name, epoch_id});
  }

  // The whole plan is fixed before anything moves, so each port gives up the
  // packets that were at its front when the salvo was sent.
  std::vector<PlannedMove> plan;
  for (const auto& [port, packet_count] : condition->ports) {
    PacketLocation from = PacketLocation::output_port(epoch_id, port);
    const PacketQueue* queue = queue_at(from);
    if (queue == nullptr) {
      internal_fault("Output port '" + port + "' of node '" + node->name +
                     "' does not have an entry in self._packets_by_location");
    }
    const Edge* edge = graph_.get_edge_by_tail(PortRef{node->name, PortType::Output, port});
    const PacketLocation to = edge ? PacketLocation::edge(*edge) : PacketLocation::outside_net();
    std::uint64_t n = take_count(packet_count, queue->size());
    for (auto it = queue->begin(); n > 0; ++it, --n) {
      plan.push_back(PlannedMove{*it, port, from, to, edge == nullptr});
    }
  }

  // The salvo is on record before its packets leave, even when it sends none.
  Salvo salvo{condition_name, {}};
  salvo.packets.reserve(plan.size());
  for (const PlannedMove& m : plan) salvo.packets.emplace_back(m.port, m.packet_id);
  epoch.out_salvos.push_back(std::move(salvo));

  std::vector<NetEvent> events;
  events.reserve(plan.size() + 1);
  std::vector<OrphanedPacketInfo> orphans;
  for (PlannedMove& m : plan) {
    if (m.orphaned) {
      events.push_back(make_event<NetEvent::PacketOrphaned>(m.packet_id, epoch_id, node->name,
                                                            m.port, condition_name));
      orphans.push_back(OrphanedPacketInfo{m.packet_id, m.port, condition_name});
      move_packet(m.packet_id, m.to);
      continue;
    }
    const std::optional<std::size_t> index = queue_at(m.from)->index_of(m.packet_id);
    if (!index) internal_fault("Packet should exist at from_location");
    events.push_back(make_event<NetEvent::PacketMoved>(m.packet_id, m.from, m.to,
                                                       static_cast<std::uint64_t>(*index)));
    move_packet(m.packet_id, m.to);
  }
  epoch.orphaned_packets.insert(epoch.orphaned_packets.end(), orphans.begin(), orphans.end());
  events.push_back(make_event<NetEvent::OutputSalvoTriggered>(epoch_id, condition_name));
  return succeed(Data::Empty{}, std::move(events));
}

NetActionResponse NetSim::transport_packet(const NetAction::TransportPacketToLocation& action) {
  const Ulid& packet_id = action.packet_id;
  const PacketLocation& destination = action.destination;
  const Packet* packet = get_packet(packet_id);
  if (packet == nullptr) return refuse(E::PacketNotFound{packet_id});
  // Only a running epoch owns its packets; a startable one may still be
  // emptied or filled by hand.
  if (const Ulid* owner = packet->location.epoch_id()) {
    const Epoch* epoch = get_epoch(*owner);
    if (epoch != nullptr && epoch->state == EpochState::Running) {
      return refuse(E::CannotMovePacketFromRunningEpoch{packet_id, *owner});
    }
  }
  if (std::optional<NetActionResponse> refused =
          check_transport_destination(packet_id, destination)) {
    return std::move(*refused);
  }

  PacketLocation from = packet->location;
  const PacketQueue* from_queue = queue_at(from);
  const std::optional<std::size_t> index =
      from_queue ? from_queue->index_of(packet_id) : std::nullopt;
  if (!index) internal_fault("Packet should exist at current_location");
  // A packet sent to where it already is goes to the back of that queue.
  move_packet(packet_id, destination);

  std::vector<NetEvent> events;
  events.push_back(make_event<NetEvent::PacketMoved>(packet_id, std::move(from), destination,
                                                     static_cast<std::uint64_t>(*index)));
  return succeed(Data::Empty{}, std::move(events));
}

std::optional<NetActionResponse> NetSim::check_transport_destination(
    const Ulid& packet_id, const PacketLocation& destination) const {
  using L = PacketLocation;
  const auto into_epoch = [&](const Ulid& epoch_id) -> std::optional<NetActionResponse> {
    const Epoch* epoch = get_epoch(epoch_id);
    if (epoch == nullptr) return refuse(E::EpochNotFound{epoch_id});
    if (epoch->state == EpochState::Running) {
      return refuse(E::CannotMovePacketIntoRunningEpoch{packet_id, epoch_id});
    }
    return std::nullopt;
  };
  return std::visit(
      Overloaded{
          [&](const L::Node& d) { return into_epoch(d.epoch_id); },
          [&](const L::InputPort& d) -> std::optional<NetActionResponse> {
            const Node* node = graph_.find_node(d.node_name);
            if (node == nullptr) return refuse(E::NodeNotFound{d.node_name});
            auto port = node->in_ports.find(d.port_name);
            if (port == node->in_ports.end()) {
              return refuse(E::InputPortNotFound{d.port_name, d.node_name});
            }
            if (port_is_full(port->second.slots_spec, packet_count_at(destination))) {
              return refuse(E::InputPortFull{d.port_name, d.node_name});
            }
            return std::nullopt;
          },
          [&](const L::OutputPort& d) -> std::optional<NetActionResponse> {
            if (auto refused = into_epoch(d.epoch_id)) return refused;
            const Node* node = graph_.find_node(get_epoch(d.epoch_id)->node_name);
            if (node == nullptr) internal_fault("Node associated with epoch could not be found.");
            if (!node->out_ports.contains(d.port_name)) {
              return refuse(E::OutputPortNotFound{d.port_name, d.epoch_id});
            }
            return std::nullopt;
          },
          [&](const L::Edge& d) -> std::optional<NetActionResponse> {
            if (!graph_.edges().contains(d.edge)) return refuse(E::EdgeNotFound{d.edge});
            return std::nullopt;
          },
          [](const L::OutsideNet&) -> std::optional<NetActionResponse> { return std::nullopt; },
      },
      destination.value);
}

NetActionResponse NetSim::create_request(const NetAction::CreateRequest& action) {
  if (graph_.find_node(action.node_name) == nullptr) {
    return refuse(E::RequestNodeNotFound{action.node_name});
  }
  pending_requests_.push_back(PendingRequest{action.node_name, action.label});
  std::vector<NetEvent> events;
  events.push_back(make_event<NetEvent::RequestCreated>(action.node_name, action.label,
                                                        RequestCreatedSource::External));
  return succeed(Data::Empty{}, std::move(events));
}

}  // namespace vornix
