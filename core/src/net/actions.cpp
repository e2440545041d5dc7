// The action dispatch and the packet and epoch actions.
//
// Every action runs all of its checks before its first change, so the first
// failing check decides the error and a refused action leaves the state and
// the event list untouched. The actions that move packets out of epochs and
// along the network live in transport.cpp; the run step in step.cpp.
#include <algorithm>
#include <unordered_set>

#include "base/fault.hpp"
#include "net/action_support.hpp"
#include "net/state.hpp"

namespace vornix {

using action_support::refuse;
using action_support::succeed;
using E = NetActionError;
using Data = NetActionResponseData;

NetActionResponse NetSim::do_action(const NetAction& action) {
  using A = NetAction;
  return std::visit(
      Overloaded{
          [&](const A::RunStep&) { return run_step(); },
          [&](const A::CreatePacket& a) { return create_packet(a); },
          [&](const A::ConsumePacket& a) { return remove_packet(a.packet_id, true); },
          [&](const A::DestroyPacket& a) { return remove_packet(a.packet_id, false); },
          [&](const A::StartEpoch& a) { return start_epoch(a.epoch_id); },
          [&](const A::FinishEpoch& a) { return finish_epoch(a.epoch_id); },
          [&](const A::CancelEpoch& a) { return cancel_epoch(a.epoch_id); },
          [&](const A::CreateEpoch& a) { return create_epoch(a); },
          [&](const A::LoadPacketIntoOutputPort& a) { return load_packet_into_output_port(a); },
          [&](const A::SendOutputSalvo& a) { return send_output_salvo(a); },
          [&](const A::TransportPacketToLocation& a) { return transport_packet(a); },
          [&](const A::CreateRequest& a) { return create_request(a); },
      },
      action.value);
}

NetActionResponse NetSim::create_packet(const NetAction::CreatePacket& action) {
  PacketLocation location = PacketLocation::outside_net();
  if (action.epoch_id) {
    const Epoch* epoch = get_epoch(*action.epoch_id);
    if (epoch == nullptr) return refuse(E::EpochNotFound{*action.epoch_id});
    if (epoch->state != EpochState::Running) return refuse(E::EpochNotRunning{*action.epoch_id});
    location = PacketLocation::node(*action.epoch_id);
  }
  const Ulid id = Ulid::generate();
  packets_.emplace(id, Packet{id, location});
  queue_push_back(location, id);
  std::vector<NetEvent> events;
  events.push_back(make_event<NetEvent::PacketCreated>(id));
  return succeed(Data::Packet{id}, std::move(events));
}

// Consuming and destroying differ only in the event they record: consumption
// is the normal end of a packet, destruction the abnormal one.
NetActionResponse NetSim::remove_packet(const Ulid& packet_id, bool consumed) {
  auto packet = packets_.find(packet_id);
  if (packet == packets_.end()) return refuse(E::PacketNotFound{packet_id});

  const PacketLocation location = packet->second.location;
  const PacketQueue* queue = queue_at(location);
  if (queue == nullptr) internal_fault("Packet location " + location.debug() + " not found");
  if (!queue->contains(packet_id)) {
    internal_fault("Packet with ID " + packet_id.to_string() + " not found in location " +
                   location.debug());
  }
  queue_erase(location, packet_id);
  packets_.erase(packet);

  std::vector<NetEvent> events;
  if (consumed) {
    events.push_back(make_event<NetEvent::PacketConsumed>(packet_id, location));
  } else {
    events.push_back(make_event<NetEvent::PacketDestroyed>(packet_id, location));
  }
  return succeed(Data::Empty{}, std::move(events));
}

NetActionResponse NetSim::create_epoch(const NetAction::CreateEpoch& action) {
  const std::string& node_name = action.node_name;
  const Node* node = graph_.find_node(node_name);
  if (node == nullptr) return refuse(E::NodeNotFound{node_name});

  // Check by check over the whole salvo rather than entry by entry: a salvo
  // naming a port the node lacks is malformed whatever its packets are, so
  // that is reported before any question about where packets are.
  const auto& entries = action.salvo.packets;
  for (const auto& [port, id] : entries) {
    if (!node->in_ports.contains(port)) return refuse(E::InputPortNotFound{port, node_name});
  }
  for (const auto& [port, id] : entries) {
    if (!packets_.contains(id)) return refuse(E::PacketNotFound{id});
  }
  // A packet listed twice would be taken twice; by its second entry it is no
  // longer at its port, so that entry is refused like any misplaced packet.
  std::unordered_set<Ulid> taken;
  for (const auto& [port, id] : entries) {
    const bool in_place = packets_.at(id).location == PacketLocation::input_port(node_name, port);
    if (!in_place || !taken.insert(id).second) {
      return refuse(E::PacketNotAtInputPort{id, port, node_name});
    }
  }

  const Ulid epoch_id = Ulid::generate();
  Epoch epoch{epoch_id, node_name, action.salvo, {}, EpochState::Startable, {}};
  insert_startable_epoch(epoch);
  create_epoch_locations(epoch_id, *node);

  std::vector<NetEvent> events;
  events.reserve(entries.size() + 1);
  events.push_back(make_event<NetEvent::EpochCreated>(epoch_id));
  const PacketLocation inside = PacketLocation::node(epoch_id);
  for (const auto& [port, id] : entries) {
    PacketLocation from = PacketLocation::input_port(node_name, port);
    const PacketQueue* queue = queue_at(from);
    const std::optional<std::size_t> index = queue ? queue->index_of(id) : std::nullopt;
    if (!index) internal_fault("Packet should exist at from_location");
    move_packet(id, inside);
    events.push_back(make_event<NetEvent::PacketMoved>(id, std::move(from), inside,
                                                       static_cast<std::uint64_t>(*index)));
  }
  return succeed(Data::CreatedEpoch{std::move(epoch)}, std::move(events));
}

NetActionResponse NetSim::start_epoch(const Ulid& epoch_id) {
  auto epoch = epochs_.find(epoch_id);
  if (epoch == epochs_.end()) return refuse(E::EpochNotFound{epoch_id});
  if (!startable_epochs_.contains(epoch_id)) return refuse(E::EpochNotStartable{epoch_id});

  epoch->second.state = EpochState::Running;
  startable_epochs_.erase(epoch_id);
  std::vector<NetEvent> events;
  events.push_back(make_event<NetEvent::EpochStarted>(epoch_id));
  return succeed(Data::StartedEpoch{epoch->second}, std::move(events));
}

NetActionResponse NetSim::finish_epoch(const Ulid& epoch_id) {
  auto found = epochs_.find(epoch_id);
  if (found == epochs_.end()) return refuse(E::EpochNotFound{epoch_id});
  if (found->second.state != EpochState::Running) return refuse(E::EpochNotRunning{epoch_id});

  const PacketLocation inside = PacketLocation::node(epoch_id);
  const PacketQueue* inside_queue = queue_at(inside);
  if (inside_queue == nullptr) {
    internal_fault("Epoch " + epoch_id.to_string() + " not found in location " + inside.debug());
  }
  if (!inside_queue->empty()) return refuse(E::CannotFinishNonEmptyEpoch{epoch_id});
  const Node* node = graph_.find_node(found->second.node_name);
  if (node == nullptr) internal_fault("Epoch references non-existent node");
  for (const auto& [port, spec] : node->out_ports) {
    if (packet_count_at(PacketLocation::output_port(epoch_id, port)) != 0) {
      return refuse(E::UnsentOutputSalvo{epoch_id, port});
    }
  }

  // The event keeps the epoch as it was while running: that is what an undo
  // puts back. The response shows it finished.
  Epoch snapshot = found->second;
  set_request_token(snapshot.node_name, true);
  Epoch finished = std::move(found->second);
  epochs_.erase(found);
  finished.state = EpochState::Finished;
  remove_epoch_locations(epoch_id, node);
  unlist_epoch(finished.node_name, epoch_id);

  std::vector<NetEvent> events;
  events.push_back(make_event<NetEvent::EpochFinished>(std::move(snapshot)));
  return succeed(Data::FinishedEpoch{std::move(finished)}, std::move(events));
}

NetActionResponse NetSim::cancel_epoch(const Ulid& epoch_id) {
  auto found = epochs_.find(epoch_id);
  if (found == epochs_.end()) return refuse(E::EpochNotFound{epoch_id});

  const Node* node = graph_.find_node(found->second.node_name);
  if (node == nullptr) internal_fault("Epoch references non-existent node");
  Epoch epoch = found->second;
  set_request_token(epoch.node_name, true);

  // Packets inside first, then those loaded into output ports.
  std::vector<PacketLocation> locations{PacketLocation::node(epoch_id)};
  for (const auto& [port, spec] : node->out_ports) {
    locations.push_back(PacketLocation::output_port(epoch_id, port));
  }
  std::vector<Ulid> destroyed;
  std::vector<NetEvent> events;
  for (const PacketLocation& location : locations) {
    const PacketQueue* queue = queue_at(location);
    if (queue == nullptr) continue;
    for (const Ulid& id : queue->to_vector()) {
      if (packets_.erase(id) == 0) {
        internal_fault("Packet in location map not found in packets map");
      }
      queue_erase(location, id);
      destroyed.push_back(id);
      events.push_back(make_event<NetEvent::PacketDestroyed>(id, location));
    }
  }

  remove_epoch_locations(epoch_id, node);
  startable_epochs_.erase(epoch_id);
  unlist_epoch(epoch.node_name, epoch_id);
  if (epochs_.erase(epoch_id) == 0) internal_fault("Epoch should exist");

  events.push_back(make_event<NetEvent::EpochCancelled>(epoch));
  return succeed(Data::CancelledEpoch{std::move(epoch), std::move(destroyed)}, std::move(events));
}

void NetSim::unlist_epoch(const std::string& node_name, const Ulid& epoch_id) {
  auto list = epochs_by_node_.find(node_name);
  if (list == epochs_by_node_.end()) return;
  auto& ids = list->second;
  auto it = std::find(ids.begin(), ids.end(), epoch_id);
  if (it != ids.end()) ids.erase(it);
}

}  // namespace vornix
