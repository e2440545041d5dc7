// The actions that move packets out of epochs and along the network, and the
// request action: loading an output port, sending an output salvo, moving a
// packet by hand, and queueing a packet request.
//
// As with every action, all checks run before the first change. Output ports
// are visited in name order wherever a walk over them is otherwise unordered.
#include <algorithm>
#include <optional>

#include "base/fault.hpp"
#include "graph/salvo.hpp"
#include "net/action_support.hpp"
#include "net/state.hpp"

namespace vornix {

using action_support::refuse;
using action_support::succeed;
using E = NetActionError;
using Data = NetActionResponseData;

namespace {

std::uint64_t count_salvos_named(const Epoch& epoch, const std::string& condition) {
  return static_cast<std::uint64_t>(
      std::count_if(epoch.out_salvos.begin(), epoch.out_salvos.end(),
                    [&](const Salvo& s) { return s.salvo_condition == condition; }));
}

}  // namespace

NetActionResponse NetSim::load_packet_into_output_port(
    const NetAction::LoadPacketIntoOutputPort& action) {
  const Ulid& packet_id = action.packet_id;
  auto packet = packets_.find(packet_id);
  if (packet == nullptr) return refuse(E::PacketNotFound{packet_id});
  const Loc from = packet->rec.loc;
  if (from.kind != Kind::Node) return refuse(E::PacketNotInAnyNode{packet_id});

  const Ulid epoch_id = from.epoch;
  const EpochRec* epoch = find_epoch(epoch_id);
  if (epoch == nullptr) {
    internal_fault("The epoch id in the location of a packet could not be found.");
  }
  const EpochRec& rec = *epoch;
  if (!known_node(rec.node)) {
    internal_fault("Packet located in a non-existing node (yet the node has an epoch).");
  }
  const Index port = out_port_position(rec.node, action.port_name);
  if (port == kNone) return refuse(E::OutputPortNotFound{action.port_name, epoch_id});
  const std::uint64_t capacity = out_ports_[out_begin(rec.node) + port].capacity;
  if (capacity != kUnbounded && rec.out[port].size() >= capacity) {
    return refuse(E::OutputPortFull{action.port_name, epoch_id});
  }

  EventList events;
  events.reserve(1);
  move_recorded(packet_id, packet->rec, Loc{Kind::OutputPort, port, epoch_id}, events);
  return succeed<Data::Empty>(std::move(events));
}

NetActionResponse NetSim::send_output_salvo(const NetAction::SendOutputSalvo& action) {
  const Ulid& epoch_id = action.epoch_id;
  const std::string& condition_name = action.salvo_condition_name;
  EpochRec* found = find_epoch(epoch_id);
  if (found == nullptr) return refuse(E::EpochNotFound{epoch_id});
  EpochRec& rec = *found;
  if (!known_node(rec.node)) internal_fault("Node associated with epoch could not be found.");
  const Node& node = *nodes_[rec.node].node;
  const auto* entry = node.out_salvo_conditions.find_entry(condition_name);
  if (entry == nullptr) return refuse(E::SalvoConditionNotFound{condition_name, epoch_id});
  const SalvoCondition* condition = &entry->second;
  if (const auto* max = std::get_if<MaxSalvos::Finite>(&condition->max_salvos.value);
      max && count_salvos_named(*rec.epoch, condition_name) >= max->n) {
    return refuse(E::MaxSalvosExceeded{condition_name, epoch_id});
  }
  const Index first = out_begin(rec.node);
  const NodeConditions& conditions = node_conditions(rec.node);
  const std::size_t position = position_of(node.out_salvo_conditions, *entry);
  const CompiledCondition& compiled = conditions.out[position];
  if (!output_term_holds(rec, compiled)) {
    return refuse(E::SalvoConditionNotMet{condition_name, epoch_id});
  }

  // The whole plan is fixed before anything moves, so each port gives up the
  // packets that were at its front when the salvo was sent.
  std::vector<PlannedMove>& plan = plan_scratch_;
  plan.clear();
  for (std::size_t i = 0; i < compiled.ports.size(); ++i) {
    const auto& [p, packet_count] = compiled.ports[i];
    if (p == kNone) {
      internal_fault("Output port '" + condition->ports.begin()[i].first + "' of node '" +
                     node.name + "' does not have an entry in self._packets_by_location");
    }
    const PacketQueue& queue = rec.out[p];
    if (queue.empty()) continue;
    const Index edge = out_ports_[first + p].edge;
    std::uint64_t n = take_count(packet_count, queue.size());
    for (PacketQueue::Slot s = queue.front_slot(); n > 0; s = queue.next(s), --n) {
      plan.push_back(PlannedMove{queue.id_at(s), queue.ref_at(s), p, edge});
    }
  }

  // The salvo is on record before its packets leave, even when it sends none.
  // Made from its name alone, its packets built empty in place: an empty
  // Salvo() would first be zeroed whole, inline packet room and all.
  const Name& shared_condition = conditions.out_names[position];
  Salvo& salvo = rec.epoch.edit().out_salvos.emplace_back(shared_condition);
  salvo.packets.reserve(plan.size());
  for (const PlannedMove& m : plan) {
    salvo.packets.emplace_back(shared_out_port_name(first + m.position), m.packet_id);
  }

  EventList events;
  events.reserve(plan.size() + 1);
  std::vector<OrphanedPacketInfo> orphans;
  for (const PlannedMove& m : plan) {
    auto* packet = &packets_.at_handle(m.handle);
    if (m.edge == kNone) {
      const std::string& port = *out_ports_[first + m.position].name;
      emit<NetEvent::PacketOrphaned>(events, m.packet_id, epoch_id, node.name, port,
                                     condition_name);
      orphans.push_back(OrphanedPacketInfo{m.packet_id, port, condition_name});
      relocate(m.packet_id, packet->rec, Loc{});
      continue;
    }
    move_recorded(m.packet_id, packet->rec, Loc{Kind::Edge, m.edge, {}}, events);
  }
  if (!orphans.empty()) {
    std::vector<OrphanedPacketInfo>& kept = rec.epoch.edit().orphaned_packets;
    kept.insert(kept.end(), orphans.begin(), orphans.end());
  }
  emit<NetEvent::OutputSalvoTriggered>(events, epoch_id, shared_condition);
  return succeed<Data::Empty>(std::move(events));
}

NetActionResponse NetSim::transport_packet(const NetAction::TransportPacketToLocation& action) {
  const Ulid& packet_id = action.packet_id;
  auto packet = packets_.find(packet_id);
  if (packet == nullptr) return refuse(E::PacketNotFound{packet_id});
  // Only a running epoch owns its packets; a startable one may still be
  // emptied or filled by hand.
  const Loc& from = packet->rec.loc;
  if (from.kind == Kind::Node || from.kind == Kind::OutputPort) {
    const Epoch* epoch = get_epoch(from.epoch);
    if (epoch != nullptr && epoch->state == EpochState::Running) {
      return refuse(E::CannotMovePacketFromRunningEpoch{packet_id, from.epoch});
    }
  }
  Result<Loc, NetActionResponse> destination =
      check_transport_destination(packet_id, action.destination);
  if (!destination) return std::move(destination).error();

  // A packet sent to where it already is goes to the back of that queue.
  EventList events;
  events.reserve(1);
  move_recorded(packet_id, packet->rec, *destination, events);
  return succeed<Data::Empty>(std::move(events));
}

Result<NetSim::Loc, NetActionResponse> NetSim::check_transport_destination(
    const Ulid& packet_id, const PacketLocation& destination) const {
  using L = PacketLocation;
  using R = Result<Loc, NetActionResponse>;
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
          [&](const L::Node& d) -> R {
            if (auto refused = into_epoch(d.epoch_id)) return Unexpected{std::move(*refused)};
            return Loc{Kind::Node, 0, d.epoch_id};
          },
          [&](const L::InputPort& d) -> R {
            const Index node = node_index(d.node_name);
            if (node == kNone) return Unexpected{refuse(E::NodeNotFound{d.node_name})};
            const Index port = in_port_index(node, d.port_name);
            if (port == kNone) {
              return Unexpected{refuse(E::InputPortNotFound{d.port_name, d.node_name})};
            }
            const Loc loc{Kind::InputPort, port, {}};
            const std::uint64_t capacity = in_ports_[port].capacity;
            if (capacity != kUnbounded && count_at(loc) >= capacity) {
              return Unexpected{refuse(E::InputPortFull{d.port_name, d.node_name})};
            }
            return loc;
          },
          [&](const L::OutputPort& d) -> R {
            if (auto refused = into_epoch(d.epoch_id)) return Unexpected{std::move(*refused)};
            const EpochRec& rec = *find_epoch(d.epoch_id);
            if (!known_node(rec.node))
              internal_fault("Node associated with epoch could not be found.");
            const Index port = out_port_position(rec.node, d.port_name);
            if (port == kNone)
              return Unexpected{refuse(E::OutputPortNotFound{d.port_name, d.epoch_id})};
            return Loc{Kind::OutputPort, port, d.epoch_id};
          },
          [&](const L::Edge& d) -> R {
            const Index edge = edge_index(d.edge);
            if (edge == kNone) return Unexpected{refuse(E::EdgeNotFound{d.edge})};
            return Loc{Kind::Edge, edge, {}};
          },
          [](const L::OutsideNet&) -> R { return Loc{}; },
      },
      destination.value);
}

NetActionResponse NetSim::create_request(const NetAction::CreateRequest& action) {
  if (node_index(action.node_name) == kNone) {
    return refuse(E::RequestNodeNotFound{action.node_name});
  }
  pending_requests_.push_back(PendingRequest{action.node_name, action.label});
  EventList events;
  events.reserve(1);
  emit<NetEvent::RequestCreated>(events, action.node_name, action.label,
                                 RequestCreatedSource::External);
  return succeed<Data::Empty>(std::move(events));
}

}  // namespace vornix
