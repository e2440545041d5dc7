// Undo: reverses an action from the events it returned, last event first.
//
// Each event kind has one fixed reversal that reads only the event's fields
// (and, for an output salvo, the kind of action). Undo keeps no history and is
// not transactional: reversals already applied stay applied when a later one
// (earlier in the list) fails. Whatever the events say, a reversal never
// leaves a packet inside an epoch that does not exist, nor writes to a
// location this network does not have; events that would need either are
// refused. Each reversal costs O(log n) in the queues it touches.
#include <algorithm>

#include "net/state.hpp"

namespace vornix {

namespace {

using EV = NetEvent;

Unexpected<UndoError> packet_not_found(const Ulid& id) {
  return Unexpected{UndoError::not_found("packet " + id.to_string() + " not found")};
}

Unexpected<UndoError> epoch_not_found(const Ulid& id) {
  return Unexpected{UndoError::not_found("epoch " + id.to_string() + " not found")};
}

}  // namespace

Status<UndoError> NetSim::undo_action(const NetAction& action, const EventList& events) {
  for (auto it = events.rbegin(); it != events.rend(); ++it) {
    if (Status<UndoError> done = undo_event(action, *it); !done) return done;
  }
  return {};
}

Status<UndoError> NetSim::undo_event(const NetAction& action, const NetEvent& event) {
  return std::visit(
      Overloaded{
          [&](const EV::PacketCreated& e) -> Status<UndoError> {
            auto packet = packets_.find(e.packet_id);
            if (packet == nullptr) return packet_not_found(e.packet_id);
            pop_packet(packet->rec);
            packets_.erase(packet);
            return {};
          },
          [&](const EV::PacketConsumed& e) { return recreate_packet(e.packet_id, e.location); },
          [&](const EV::PacketDestroyed& e) { return recreate_packet(e.packet_id, e.location); },
          [&](const EV::EpochCreated& e) { return undo_epoch_created(e.epoch_id); },
          [&](const EV::EpochStarted& e) -> Status<UndoError> {
            EpochRec* epoch = find_epoch(e.epoch_id);
            if (epoch == nullptr) return epoch_not_found(e.epoch_id);
            if (epoch->epoch->state != EpochState::Running) {
              return Unexpected{
                  UndoError::state_mismatch("epoch " + e.epoch_id.to_string() +
                                            " is not in Running state, cannot undo start")};
            }
            epoch->epoch.edit().state = EpochState::Startable;
            set_startable(*epoch, true);
            return {};
          },
          [&](const EV::EpochFinished& e) { return undo_epoch_removed(e.epoch); },
          [&](const EV::EpochCancelled& e) { return undo_epoch_removed(e.epoch); },
          [&](const EV::PacketMoved& e) { return undo_packet_moved(e); },
          [](const EV::InputSalvoTriggered&) -> Status<UndoError> { return {}; },
          [&](const EV::OutputSalvoTriggered& e) -> Status<UndoError> {
            // The same event kind could be handed over with some other action;
            // only a send put a salvo on the epoch's list.
            if (!std::holds_alternative<NetAction::SendOutputSalvo>(action.value)) return {};
            EpochRec* epoch = find_epoch(e.epoch_id);
            if (epoch == nullptr) return epoch_not_found(e.epoch_id);
            if (epoch->epoch->out_salvos.empty()) {
              return Unexpected{UndoError::state_mismatch("epoch " + e.epoch_id.to_string() +
                                                          " has no out_salvos to pop")};
            }
            epoch->epoch.edit().out_salvos.pop_back();
            return {};
          },
          [&](const EV::PacketOrphaned& e) { return undo_packet_orphaned(e); },
          [&](const EV::RequestCreated& e) -> Status<UndoError> {
            switch (e.source) {
              case RequestCreatedSource::External: {
                auto newest =
                    std::find_if(pending_requests_.rbegin(), pending_requests_.rend(),
                                 [&](const PendingRequest& r) {
                                   return r.node_name == e.node_name && r.label == e.label;
                                 });
                if (newest != pending_requests_.rend()) {
                  pending_requests_.erase(std::next(newest).base());
                }
                break;
              }
              case RequestCreatedSource::OnStartup: startup_requests_emitted_ = false; break;
              case RequestCreatedSource::OnNoSalvoTriggered:
                // Inserted whatever the node's configuration says.
                if (const Index node = node_index(e.node_name); node != kNone) {
                  nodes_[node].token = 2;
                  queue_node(node);
                } else {
                  stray_tokens_.insert_or_assign(e.node_name, true);
                }
                break;
            }
            return {};
          },
          // The epochs a resolution made are removed by their EpochCreated
          // events; the requests it consumed stay consumed.
          [](const EV::RequestCascadeResolved&) -> Status<UndoError> { return {}; },
          [](const EV::RequestEpochCreated&) -> Status<UndoError> { return {}; },
      },
      event.value);
}

Result<NetSim::Loc, UndoError> NetSim::entry_for_undo(const PacketLocation& location) const {
  if (const Ulid* owner = location.epoch_id(); owner && !has_epoch(*owner)) {
    return epoch_not_found(*owner);
  }
  const std::optional<Loc> loc = find_loc(location);
  if (!loc) return Unexpected{UndoError::not_found("location " + location.debug() + " not found")};
  return *loc;
}

Status<UndoError> NetSim::recreate_packet(const Ulid& packet_id, const PacketLocation& location) {
  if (packets_.contains(packet_id)) {
    return Unexpected{
        UndoError::state_mismatch("packet " + packet_id.to_string() + " already exists")};
  }
  Result<Loc, UndoError> loc = entry_for_undo(location);
  if (!loc) return Unexpected{std::move(loc).error()};
  push_packet(packet_id, packets_.insert(packet_id), *loc);
  return {};
}

Status<UndoError> NetSim::undo_epoch_created(const Ulid& epoch_id) {
  EpochRec* found = find_epoch(epoch_id);
  if (found == nullptr) return epoch_not_found(epoch_id);
  EpochRec& rec = *found;

  // Dropping the epoch's locations with packets still in them would leave
  // those packets inside an epoch that no longer exists. In a full, in-order
  // undo the epoch's own moves have already brought them back out.
  const std::uint64_t held = rec.inside.size() + rec.out_held;
  if (held != 0) {
    return Unexpected{UndoError::state_mismatch("epoch " + epoch_id.to_string() + " still holds " +
                                                std::to_string(held) + " packets")};
  }
  const Index node = rec.node;
  drop_epoch(rec);
  // The node's key goes with its last epoch.
  if (auto list = epoch_lists_.find(node); list != epoch_lists_.end() && list->second.live == 0) {
    list->second.keyed = false;
  }
  return {};
}

// Shared by finish and cancel: the event's copy of the epoch comes back as it
// was recorded, with fresh empty locations, listed last under its node.
Status<UndoError> NetSim::undo_epoch_removed(const Epoch& epoch) {
  if (has_epoch(epoch.id)) {
    return Unexpected{
        UndoError::state_mismatch("epoch " + epoch.id.to_string() + " already exists")};
  }
  // A finished epoch was running; a cancelled one may have been startable.
  // Either way the startable set follows the restored state.
  restore_epoch(epoch);
  set_request_token(epoch.node_name, false);
  return {};
}

Status<UndoError> NetSim::undo_packet_moved(const NetEvent::PacketMoved& e) {
  auto packet = packets_.find(e.packet_id);
  if (packet == nullptr) return packet_not_found(e.packet_id);
  const std::optional<Loc> to = find_loc(e.to_location);
  if (!to || !(packet->rec.loc == *to)) {
    return Unexpected{UndoError::state_mismatch(
        "packet " + e.packet_id.to_string() + " is not at expected location " +
        e.to_location.debug() + ", found at " + location_of(packet->rec.loc).debug())};
  }
  Result<Loc, UndoError> from = entry_for_undo(e.from_location);
  if (!from) return Unexpected{std::move(from).error()};
  // The packet leaves to_location first; when both are the same location the
  // queue it returns to is one shorter.
  std::uint64_t room = count_at(*from);
  if (*from == *to) --room;
  if (e.from_index > room) {
    return Unexpected{
        UndoError::state_mismatch("packet " + e.packet_id.to_string() + " cannot return to index " +
                                  std::to_string(e.from_index) + " of " + e.from_location.debug() +
                                  ", which holds " + std::to_string(room) + " packets")};
  }
  pop_packet(packet->rec);
  insert_packet(e.packet_id, packet->rec, *from, static_cast<std::size_t>(e.from_index));
  return {};
}

Status<UndoError> NetSim::undo_packet_orphaned(const NetEvent::PacketOrphaned& e) {
  auto packet = packets_.find(e.packet_id);
  if (packet == nullptr) return packet_not_found(e.packet_id);
  if (packet->rec.loc.kind != Kind::OutsideNet) {
    return Unexpected{UndoError::state_mismatch("packet " + e.packet_id.to_string() +
                                                " is not at OutsideNet, found at " +
                                                location_of(packet->rec.loc).debug())};
  }
  EpochRec* epoch = find_epoch(e.epoch_id);
  if (epoch == nullptr) return epoch_not_found(e.epoch_id);
  Result<Loc, UndoError> port =
      entry_for_undo(PacketLocation::output_port(e.epoch_id, e.port_name));
  if (!port) return Unexpected{std::move(port).error()};

  relocate(e.packet_id, packet->rec, *port);
  std::erase_if(epoch->epoch.edit().orphaned_packets,
                [&](const OrphanedPacketInfo& info) { return info.packet_id == e.packet_id; });
  return {};
}

}  // namespace vornix
