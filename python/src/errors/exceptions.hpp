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

// The one table of the exception classes: X(name, base) in registration
// order, each base listed before the classes built on it ("Exception" is the
// interpreter's own). The enumeration, the count, the class names and the
// module's registration all come from it.
#define VORNIX_EXCEPTION_CLASSES(X)                     \
  X(VornixError, Exception)                             \
  X(PacketNotFoundError, VornixError)                   \
  X(EpochNotFoundError, VornixError)                    \
  X(EpochNotRunningError, VornixError)                  \
  X(EpochNotStartableError, VornixError)                \
  X(CannotFinishNonEmptyEpochError, VornixError)        \
  X(UnsentOutputSalvoError, VornixError)                \
  X(PacketNotInAnyNodeError, VornixError)               \
  X(OutputPortNotFoundError, VornixError)               \
  X(OutputPortFullError, VornixError)                   \
  X(SalvoConditionNotFoundError, VornixError)           \
  X(SalvoConditionNotMetError, VornixError)             \
  X(MaxSalvosExceededError, VornixError)                \
  X(NodeNotFoundError, VornixError)                     \
  X(PacketNotAtInputPortError, VornixError)             \
  X(InputPortNotFoundError, VornixError)                \
  X(InputPortFullError, VornixError)                    \
  X(CannotMovePacketFromRunningEpochError, VornixError) \
  X(CannotMovePacketIntoRunningEpochError, VornixError) \
  X(EdgeNotFoundError, VornixError)                     \
  X(GraphValidationError, VornixError)                  \
  X(RequestCycleDetectedError, VornixError)             \
  X(RequestUnconnectedPortError, VornixError)           \
  X(RequestNodeNotFoundError, VornixError)              \
  X(UndoError, VornixError)                             \
  X(UndoStateMismatchError, UndoError)                  \
  X(UndoNotFoundError, UndoError)                       \
  X(UndoNotUndoableError, UndoError)                    \
  X(UndoInternalError, UndoError)

enum class Exc : std::uint8_t {
#define VORNIX_EXC_ENUM(name, base) name,
  VORNIX_EXCEPTION_CLASSES(VORNIX_EXC_ENUM)
#undef VORNIX_EXC_ENUM
};

inline constexpr std::size_t kExceptionCount = 0
#define VORNIX_EXC_COUNT(name, base) +1
    VORNIX_EXCEPTION_CLASSES(VORNIX_EXC_COUNT)
#undef VORNIX_EXC_COUNT
    ;

// The class name ("EdgeNotFoundError"), without the module.
const char* exception_name(Exc id) noexcept;

// Creates the class "vornix_sim.{name}" on its base and records it in the
// registry (support/types.hpp). REQUIRES: the base class was made first.
Ref make_exception_class(Exc id);
// The class, borrowed; null before import.
PyObject* exception_class(Exc id) noexcept;

// The exception to raise for an engine error: an instance of the variant's
// class whose only argument is the binding's message.
Ref net_action_error_to_py_err(const vornix::NetActionError& error);
Ref undo_error_to_py_err(const vornix::UndoError& error);

// Raise those exceptions: set the Python error and throw PyErrorAlreadySet.
[[noreturn]] void raise_net_action_error(const vornix::NetActionError& error);
[[noreturn]] void raise_undo_error(const vornix::UndoError& error);

}  // namespace vornix::py
