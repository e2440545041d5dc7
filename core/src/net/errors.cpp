#include "net/errors.hpp"

#include "base/result.hpp"

namespace vornix {

namespace {

using E = NetActionError;

// Names keep their bytes as stored: a quote inside a name is not escaped, so
// the text shows exactly what the caller passed.
std::string quoted(const std::string& name) { return "'" + name + "'"; }

}  // namespace

std::string NetActionError::to_string() const {
  return std::visit(
      Overloaded{
          [](const E::PacketNotFound& e) { return "packet not found: " + e.packet_id.to_string(); },
          [](const E::EpochNotFound& e) { return "epoch not found: " + e.epoch_id.to_string(); },
          [](const E::EpochNotRunning& e) {
            return "epoch " + e.epoch_id.to_string() + " is not running";
          },
          [](const E::EpochNotStartable& e) {
            return "epoch " + e.epoch_id.to_string() + " is not startable";
          },
          [](const E::CannotFinishNonEmptyEpoch& e) {
            return "cannot finish epoch " + e.epoch_id.to_string() +
                   ": epoch still contains packets";
          },
          [](const E::UnsentOutputSalvo& e) {
            return "cannot finish epoch " + e.epoch_id.to_string() + ": output port " +
                   quoted(e.port_name) + " has unsent packets";
          },
          [](const E::PacketNotInAnyNode& e) {
            return "packet " + e.packet_id.to_string() + " is not inside any epoch";
          },
          [](const E::OutputPortNotFound& e) {
            return "output port " + quoted(e.port_name) + " not found on node for epoch " +
                   e.epoch_id.to_string();
          },
          [](const E::SalvoConditionNotFound& e) {
            return "output salvo condition " + quoted(e.condition_name) +
                   " not found on node for epoch " + e.epoch_id.to_string();
          },
          [](const E::MaxSalvosExceeded& e) {
            return "max output salvos reached for condition " + quoted(e.condition_name) +
                   " on epoch " + e.epoch_id.to_string();
          },
          [](const E::SalvoConditionNotMet& e) {
            return "salvo condition " + quoted(e.condition_name) + " not met for epoch " +
                   e.epoch_id.to_string();
          },
          [](const E::OutputPortFull& e) {
            return "output port " + quoted(e.port_name) + " is full for epoch " +
                   e.epoch_id.to_string();
          },
          [](const E::NodeNotFound& e) { return "node not found: " + quoted(e.node_name); },
          [](const E::PacketNotAtInputPort& e) {
            return "packet " + e.packet_id.to_string() + " is not at input port " +
                   quoted(e.port_name) + " of node " + quoted(e.node_name);
          },
          [](const E::InputPortNotFound& e) {
            return "input port " + quoted(e.port_name) + " not found on node " +
                   quoted(e.node_name);
          },
          [](const E::InputPortFull& e) {
            return "input port " + quoted(e.port_name) + " on node " + quoted(e.node_name) +
                   " is full";
          },
          [](const E::CannotMovePacketFromRunningEpoch& e) {
            return "cannot move packet " + e.packet_id.to_string() + " out of running epoch " +
                   e.epoch_id.to_string();
          },
          [](const E::CannotMovePacketIntoRunningEpoch& e) {
            return "cannot move packet " + e.packet_id.to_string() + " into running epoch " +
                   e.epoch_id.to_string();
          },
          [](const E::EdgeNotFound& e) { return "edge not found: " + to_text(e.edge); },
          [](const E::RequestCycleDetected& e) {
            return "request cascade cycle detected at node " + quoted(e.node_name);
          },
          [](const E::RequestUnconnectedPort& e) {
            return "request cascade reached unconnected input port " + quoted(e.port_name) +
                   " on node " + quoted(e.node_name);
          },
          [](const E::RequestNodeNotFound& e) {
            return "request targets non-existent node " + quoted(e.node_name);
          },
      },
      value);
}

std::string UndoError::to_string() const {
  switch (kind) {
    case Kind::StateMismatch: return "state mismatch: " + message;
    case Kind::NotFound: return "entity not found: " + message;
    case Kind::NotUndoable: return "action not undoable: " + message;
    case Kind::Internal: return "internal error: " + message;
  }
  // An out-of-range kind can only come from a cast; keep the message visible.
  return "internal error: " + message;
}

}  // namespace vornix
