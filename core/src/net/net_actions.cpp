// NetSim's action dispatch and the packet and epoch actions.
//
// Every action runs all of its checks before its first change, so the first
// failing check decides the error and a refused action leaves the state and
// the event list untouched. The actions that move packets out of epochs and
// along the network live in transport.cpp; the run step in step.cpp.
#include <algorithm>
#include <type_traits>
#include <unordered_set>

#include "base/fault.hpp"
#include "net/action_support.hpp"
#include "net/state.hpp"

namespace vornix {

using action_support::refuse;
using action_support::succeed;
using E = NetActionError;
using Data = NetActionResponseData;

// One visitor that holds only the sim, rather than one lambda per action
// each holding it: the visitor is built anew for every action.
NetActionResponse NetSim::do_action(const NetAction& action) {
  using A = NetAction;
  return std::visit(
      [this](const auto& a) -> NetActionResponse {
        using T = std::decay_t<decltype(a)>;
        if constexpr (std::is_same_v<T, A::RunStep>) return run_step();
        if constexpr (std::is_same_v<T, A::CreatePacket>) return create_packet(a);
        if constexpr (std::is_same_v<T, A::ConsumePacket>) return remove_packet(a.packet_id, true);
        if constexpr (std::is_same_v<T, A::DestroyPacket>) return remove_packet(a.packet_id, false);
        if constexpr (std::is_same_v<T, A::StartEpoch>) return start_epoch(a.epoch_id);
        if constexpr (std::is_same_v<T, A::FinishEpoch>) return finish_epoch(a.epoch_id);
        if constexpr (std::is_same_v<T, A::CancelEpoch>) return cancel_epoch(a.epoch_id);
        if constexpr (std::is_same_v<T, A::CreateEpoch>) return create_epoch(a);
        if constexpr (std::is_same_v<T, A::LoadPacketIntoOutputPort>) {
          return load_packet_into_output_port(a);
        }
        if constexpr (std::is_same_v<T, A::SendOutputSalvo>) return send_output_salvo(a);
        if constexpr (std::is_same_v<T, A::TransportPacketToLocation>) return transport_packet(a);
        if constexpr (std::is_same_v<T, A::CreateRequest>) return create_request(a);
      },
      action.value);
}

NetActionResponse NetSim::create_packet(const NetAction::CreatePacket& action) {
  Loc location{};
  if (action.epoch_id) {
    const Epoch* epoch = get_epoch(*action.epoch_id);
    if (epoch == nullptr) return refuse(E::EpochNotFound{*action.epoch_id});
    if (epoch->state != EpochState::Running) return refuse(E::EpochNotRunning{*action.epoch_id});
    location = Loc{Kind::Node, 0, *action.epoch_id};
  }
  const Ulid id = Ulid::generate();
  push_packet(id, packets_.insert(id), location);
  EventList events;
  events.reserve(1);
  emit<NetEvent::PacketCreated>(events, id);
  return succeed<Data::Packet>(std::move(events), id);
}

// Consuming and destroying differ only in the event they record: consumption
// is the normal end of a packet, destruction the abnormal one.
NetActionResponse NetSim::remove_packet(const Ulid& packet_id, bool consumed) {
  auto packet = packets_.find(packet_id);
  if (packet == nullptr) return refuse(E::PacketNotFound{packet_id});

  const PacketQueue* queue = queue_of(packet->rec.loc);
  if (queue == nullptr || !queue->live(packet->rec.slot)) {
    const std::string location = location_of(packet->rec.loc).debug();
    if (queue == nullptr) internal_fault("Packet location " + location + " not found");
    internal_fault("Packet with ID " + packet_id.to_string() + " not found in location " +
                   location);
  }

  EventList events;
  events.reserve(1);
  PacketLocation& location = consumed ? emit<NetEvent::PacketConsumed>(events, packet_id).location
                                      : emit<NetEvent::PacketDestroyed>(events, packet_id).location;
  write_location(packet->rec.loc, location);
  pop_packet(packet->rec);
  packets_.erase(packet);
  return succeed<Data::Empty>(std::move(events));
}

NetActionResponse NetSim::create_epoch(const NetAction::CreateEpoch& action) {
  const std::string& node_name = action.node_name;
  const Index node = node_index(node_name);
  if (node == kNone) return refuse(E::NodeNotFound{node_name});

  // Check by check over the whole salvo rather than entry by entry: a salvo
  // naming a port the node lacks is malformed whatever its packets are, so
  // that is reported before any question about where packets are.
  const auto& entries = action.salvo.packets;
  std::vector<Index> ports;
  ports.reserve(entries.size());
  for (const auto& [port, id] : entries) {
    const Index p = in_port_index(node, port);
    if (p == kNone) return refuse(E::InputPortNotFound{port, node_name});
    ports.push_back(p);
  }
  for (const auto& [port, id] : entries) {
    if (!packets_.contains(id)) return refuse(E::PacketNotFound{id});
  }
  // A packet listed twice would be taken twice; by its second entry it is no
  // longer at its port, so that entry is refused like any misplaced packet.
  std::unordered_set<Ulid> taken;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const auto& [port, id] = entries[i];
    const bool in_place = packets_.at(id).loc == Loc{Kind::InputPort, ports[i], {}};
    if (!in_place || !taken.insert(id).second) {
      return refuse(E::PacketNotAtInputPort{id, port, node_name});
    }
  }

  const Ulid epoch_id = Ulid::generate();
  const EpochRec& rec = add_epoch(
      Epoch{epoch_id, shared_node_name(node), action.salvo, {}, EpochState::Startable, {}}, node);

  EventList events;
  events.reserve(entries.size() + 1);
  emit<NetEvent::EpochCreated>(events, epoch_id);
  const Loc inside{Kind::Node, 0, epoch_id};
  for (const auto& [port, id] : entries) move_recorded(id, packets_.at(id), inside, events);
  return succeed<Data::CreatedEpoch>(std::move(events), rec.epoch.snapshot());
}

NetActionResponse NetSim::start_epoch(const Ulid& epoch_id) {
  EpochRec* rec = find_epoch(epoch_id);
  if (rec == nullptr) return refuse(E::EpochNotFound{epoch_id});
  if (rec->startable_pos == kNone) return refuse(E::EpochNotStartable{epoch_id});

  rec->epoch.edit().state = EpochState::Running;
  set_startable(*rec, false);
  EventList events;
  events.reserve(1);
  emit<NetEvent::EpochStarted>(events, epoch_id);
  return succeed<Data::StartedEpoch>(std::move(events), rec->epoch.snapshot());
}

NetActionResponse NetSim::finish_epoch(const Ulid& epoch_id) {
  EpochRec* found = find_epoch(epoch_id);
  if (found == nullptr) return refuse(E::EpochNotFound{epoch_id});
  EpochRec& rec = *found;
  if (rec.epoch->state != EpochState::Running) return refuse(E::EpochNotRunning{epoch_id});
  if (!rec.inside.empty()) return refuse(E::CannotFinishNonEmptyEpoch{epoch_id});
  if (!known_node(rec.node)) internal_fault("Epoch references non-existent node");
  // The count spares a look at every output queue when, as usual, all are empty.
  for (Index p = 0; rec.out_held != 0 && p < rec.out.size(); ++p) {
    if (!rec.out[p].empty()) {
      return refuse(E::UnsentOutputSalvo{epoch_id, *out_ports_[out_begin(rec.node) + p].name});
    }
  }

  // The event keeps the epoch as it was while running: that is what an undo
  // puts back. The response shows it finished.
  if (nodes_[rec.node].no_salvo) set_token(rec.node, true);
  EventList events;
  events.reserve(1);
  emit<NetEvent::EpochFinished>(events, rec.epoch.snapshot());
  rec.epoch.edit().state = EpochState::Finished;  // a copy: the event holds the running one
  drop_epoch(rec);
  return succeed<Data::FinishedEpoch>(std::move(events), rec.epoch.snapshot());
}

NetActionResponse NetSim::cancel_epoch(const Ulid& epoch_id) {
  EpochRec* found = find_epoch(epoch_id);
  if (found == nullptr) return refuse(E::EpochNotFound{epoch_id});
  EpochRec& rec = *found;
  if (!known_node(rec.node)) internal_fault("Epoch references non-existent node");
  if (nodes_[rec.node].no_salvo) set_token(rec.node, true);

  // Packets inside first, then those loaded into output ports, by port.
  std::vector<Ulid> destroyed;
  EventList events;
  const auto destroy_all = [&](PacketQueue& queue, const Loc& loc) {
    if (queue.empty()) return;
    const PacketLocation location = location_of(loc);
    for (const Ulid& id : queue.to_vector()) {
      auto packet = packets_.find(id);
      if (packet == nullptr) internal_fault("Packet in location map not found in packets map");
      pop_packet(packet->rec);
      packets_.erase(packet);
      destroyed.push_back(id);
      emit<NetEvent::PacketDestroyed>(events, id, location);
    }
  };
  destroy_all(rec.inside, Loc{Kind::Node, 0, epoch_id});
  for (Index p = 0; p < rec.out.size(); ++p)
    destroy_all(rec.out[p], Loc{Kind::OutputPort, p, epoch_id});

  drop_epoch(rec);
  // The event and the response show the same epoch: one snapshot serves both.
  const EpochSnapshot epoch = rec.epoch.snapshot();
  emit<NetEvent::EpochCancelled>(events, epoch);
  return succeed<Data::CancelledEpoch>(std::move(events), epoch, std::move(destroyed));
}

}  // namespace vornix
