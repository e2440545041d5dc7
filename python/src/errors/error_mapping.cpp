// Engine refusals become exceptions with the binding's own wording, which is
// not the engine's lower-case text: names are inserted unescaped, and whether
// a node name is quoted differs per variant.
#include <string>
#include <utility>

#include "base/fault.hpp"
#include "base/result.hpp"
#include "errors/exceptions.hpp"
#include "support/errors.hpp"
#include "support/py_text.hpp"

namespace vornix::py {
namespace {

using E = vornix::NetActionError;

struct Mapped {
  Exc cls;
  std::string message;
};

std::string q(const std::string& name) { return "'" + name + "'"; }
std::string id(const vornix::Ulid& u) { return u.to_string(); }

Mapped map_error(const E& error) {
  return std::visit(
      vornix::Overloaded{
          [](const E::PacketNotFound& e) -> Mapped {
            return {Exc::PacketNotFoundError, "Packet not found: " + id(e.packet_id)};
          },
          [](const E::EpochNotFound& e) -> Mapped {
            return {Exc::EpochNotFoundError, "Epoch not found: " + id(e.epoch_id)};
          },
          [](const E::EpochNotRunning& e) -> Mapped {
            return {Exc::EpochNotRunningError, "Epoch not running: " + id(e.epoch_id)};
          },
          [](const E::EpochNotStartable& e) -> Mapped {
            return {Exc::EpochNotStartableError, "Epoch not startable: " + id(e.epoch_id)};
          },
          [](const E::CannotFinishNonEmptyEpoch& e) -> Mapped {
            return {Exc::CannotFinishNonEmptyEpochError,
                    "Cannot finish epoch with packets remaining: " + id(e.epoch_id)};
          },
          [](const E::UnsentOutputSalvo& e) -> Mapped {
            return {Exc::UnsentOutputSalvoError, "Cannot finish epoch " + id(e.epoch_id) +
                                                     ": output port " + q(e.port_name) +
                                                     " has unsent packets"};
          },
          [](const E::PacketNotInAnyNode& e) -> Mapped {
            return {Exc::PacketNotInAnyNodeError,
                    "Packet " + id(e.packet_id) + " is not inside any epoch"};
          },
          [](const E::OutputPortNotFound& e) -> Mapped {
            return {Exc::OutputPortNotFoundError,
                    "Output port " + q(e.port_name) + " not found in epoch " + id(e.epoch_id)};
          },
          [](const E::SalvoConditionNotFound& e) -> Mapped {
            return {Exc::SalvoConditionNotFoundError, "Salvo condition " + q(e.condition_name) +
                                                          " not found for epoch " + id(e.epoch_id)};
          },
          [](const E::MaxSalvosExceeded& e) -> Mapped {
            return {Exc::MaxSalvosExceededError, "Max salvos exceeded for condition " +
                                                     q(e.condition_name) + " in epoch " +
                                                     id(e.epoch_id)};
          },
          [](const E::SalvoConditionNotMet& e) -> Mapped {
            return {Exc::SalvoConditionNotMetError, "Salvo condition " + q(e.condition_name) +
                                                        " not met for epoch " + id(e.epoch_id)};
          },
          [](const E::OutputPortFull& e) -> Mapped {
            return {Exc::OutputPortFullError,
                    "Output port " + q(e.port_name) + " is full in epoch " + id(e.epoch_id)};
          },
          [](const E::NodeNotFound& e) -> Mapped {
            return {Exc::NodeNotFoundError, "Node not found: " + e.node_name};
          },
          [](const E::PacketNotAtInputPort& e) -> Mapped {
            return {Exc::PacketNotAtInputPortError, "Packet " + id(e.packet_id) +
                                                        " not at input port " + q(e.port_name) +
                                                        " on node " + q(e.node_name)};
          },
          [](const E::InputPortNotFound& e) -> Mapped {
            return {Exc::InputPortNotFoundError,
                    "Input port " + q(e.port_name) + " not found on node " + e.node_name};
          },
          [](const E::InputPortFull& e) -> Mapped {
            return {Exc::InputPortFullError,
                    "Input port " + q(e.port_name) + " is full on node " + e.node_name};
          },
          [](const E::CannotMovePacketFromRunningEpoch& e) -> Mapped {
            return {
                Exc::CannotMovePacketFromRunningEpochError,
                "Cannot move packet " + id(e.packet_id) + " from running epoch " + id(e.epoch_id)};
          },
          [](const E::CannotMovePacketIntoRunningEpoch& e) -> Mapped {
            return {
                Exc::CannotMovePacketIntoRunningEpochError,
                "Cannot move packet " + id(e.packet_id) + " into running epoch " + id(e.epoch_id)};
          },
          [](const E::EdgeNotFound& e) -> Mapped {
            return {Exc::EdgeNotFoundError, "Edge not found: " + vornix::to_text(e.edge)};
          },
          [](const E::RequestCycleDetected& e) -> Mapped {
            return {Exc::RequestCycleDetectedError,
                    "Request cascade cycle detected at node " + q(e.node_name)};
          },
          [](const E::RequestUnconnectedPort& e) -> Mapped {
            return {Exc::RequestUnconnectedPortError,
                    "Request cascade reached unconnected input port " + q(e.port_name) +
                        " on node " + q(e.node_name)};
          },
          [](const E::RequestNodeNotFound& e) -> Mapped {
            return {Exc::RequestNodeNotFoundError,
                    "Request targets non-existent node " + q(e.node_name)};
          },
      },
      error.value);
}

Mapped map_error(const vornix::UndoError& error) {
  using Kind = vornix::UndoError::Kind;
  switch (error.kind) {
    case Kind::StateMismatch:
      return {Exc::UndoStateMismatchError, "State mismatch: " + error.message};
    case Kind::NotFound: return {Exc::UndoNotFoundError, "Entity not found: " + error.message};
    case Kind::NotUndoable:
      return {Exc::UndoNotUndoableError, "Action not undoable: " + error.message};
    case Kind::Internal: return {Exc::UndoInternalError, "Internal error: " + error.message};
  }
  vornix::internal_fault("unknown undo error kind");
}

Ref instantiate(const Mapped& m) {
  PyObject* cls = exception_class(m.cls);
  if (cls == nullptr) raise(PyExc_SystemError, "exception classes are not initialised");
  Ref message = to_py_str(m.message);
  return check(PyObject_CallFunctionObjArgs(cls, message.get(), nullptr));
}

[[noreturn]] void raise_instance(Ref exc) {
  PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(exc.get())), exc.get());
  throw PyErrorAlreadySet{};
}

}  // namespace

Ref net_action_error_to_py_err(const vornix::NetActionError& error) {
  return instantiate(map_error(error));
}

Ref undo_error_to_py_err(const vornix::UndoError& error) { return instantiate(map_error(error)); }

void raise_net_action_error(const vornix::NetActionError& error) {
  raise_instance(net_action_error_to_py_err(error));
}

void raise_undo_error(const vornix::UndoError& error) {
  raise_instance(undo_error_to_py_err(error));
}

}  // namespace vornix::py
