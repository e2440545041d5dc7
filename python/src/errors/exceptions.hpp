// The module's exception classes and the mapping of engine errors onto them.
//
// VornixError (an Exception) is the base of every error the simulation
// reports; UndoError groups the undo failures. Each engine error variant has
// its own class, named after the variant plus "Error". The classes are made
// once, at import, in registration order (module.cpp), and shared afterwards.
//
//   auto r = sim.do_action(action);
//   if (!r) raise_net_action_error(r.error());   // e.g. EpochNotFoundError
#pragma once

#include <cstddef>
#include <cstdint>

#include "net/errors.hpp"
#include "support/python.hpp"
#include "support/ref.hpp"

namespace vornix::py {

// In registration order.
enum class Exc : std::uint8_t {
  VornixError,
  PacketNotFoundError,
  EpochNotFoundError,
  EpochNotRunningError,
  EpochNotStartableError,
  CannotFinishNonEmptyEpochError,
  UnsentOutputSalvoError,
  PacketNotInAnyNodeError,
  OutputPortNotFoundError,
  OutputPortFullError,
  SalvoConditionNotFoundError,
  SalvoConditionNotMetError,
  MaxSalvosExceededError,
  NodeNotFoundError,
  PacketNotAtInputPortError,
  InputPortNotFoundError,
  InputPortFullError,
  CannotMovePacketFromRunningEpochError,
  CannotMovePacketIntoRunningEpochError,
  EdgeNotFoundError,
  GraphValidationError,
  RequestCycleDetectedError,
  RequestUnconnectedPortError,
  RequestNodeNotFoundError,
  UndoError,
  UndoStateMismatchError,
  UndoNotFoundError,
  UndoNotUndoableError,
  UndoInternalError,
};
inline constexpr std::size_t kExceptionCount = 29;

// Creates the class "vornix_sim.{name}" on its base and records it for
// exception_class(). REQUIRES: the base class was made first.
Ref make_exception_class(Exc id);
// make_exception_class as a plain factory for the registration tables.
template <Exc Id>
Ref exception_factory() {
  return make_exception_class(Id);
}
// The class, borrowed; null before import.
PyObject* exception_class(Exc id) noexcept;
// Forgets every class again (after a failed import).
void clear_exception_classes() noexcept;

// The exception to raise for an engine error: an instance of the variant's
// class whose only argument is the binding's message.
Ref net_action_error_to_py_err(const vornix::NetActionError& error);
Ref undo_error_to_py_err(const vornix::UndoError& error);

// Raise those exceptions: set the Python error and throw PyErrorAlreadySet.
[[noreturn]] void raise_net_action_error(const vornix::NetActionError& error);
[[noreturn]] void raise_undo_error(const vornix::UndoError& error);

}  // namespace vornix::py
