#include "errors/exceptions.hpp"

#include <array>
#include <string>

#include "support/errors.hpp"

namespace vornix::py {
namespace {

struct ExceptionInfo {
  const char* qualified_name;
  Exc base;  // VornixError's own entry is ignored: its base is Exception
};

constexpr std::array<ExceptionInfo, kExceptionCount> kExceptions = {{
    {"vornix_sim.VornixError", Exc::VornixError},
    {"vornix_sim.PacketNotFoundError", Exc::VornixError},
    {"vornix_sim.EpochNotFoundError", Exc::VornixError},
    {"vornix_sim.EpochNotRunningError", Exc::VornixError},
    {"vornix_sim.EpochNotStartableError", Exc::VornixError},
    {"vornix_sim.CannotFinishNonEmptyEpochError", Exc::VornixError},
    {"vornix_sim.UnsentOutputSalvoError", Exc::VornixError},
    {"vornix_sim.PacketNotInAnyNodeError", Exc::VornixError},
    {"vornix_sim.OutputPortNotFoundError", Exc::VornixError},
    {"vornix_sim.OutputPortFullError", Exc::VornixError},
    {"vornix_sim.SalvoConditionNotFoundError", Exc::VornixError},
    {"vornix_sim.SalvoConditionNotMetError", Exc::VornixError},
    {"vornix_sim.MaxSalvosExceededError", Exc::VornixError},
    {"vornix_sim.NodeNotFoundError", Exc::VornixError},
    {"vornix_sim.PacketNotAtInputPortError", Exc::VornixError},
    {"vornix_sim.InputPortNotFoundError", Exc::VornixError},
    {"vornix_sim.InputPortFullError", Exc::VornixError},
    {"vornix_sim.CannotMovePacketFromRunningEpochError", Exc::VornixError},
    {"vornix_sim.CannotMovePacketIntoRunningEpochError", Exc::VornixError},
    {"vornix_sim.EdgeNotFoundError", Exc::VornixError},
    {"vornix_sim.GraphValidationError", Exc::VornixError},
    {"vornix_sim.RequestCycleDetectedError", Exc::VornixError},
    {"vornix_sim.RequestUnconnectedPortError", Exc::VornixError},
    {"vornix_sim.RequestNodeNotFoundError", Exc::VornixError},
    {"vornix_sim.UndoError", Exc::VornixError},
    {"vornix_sim.UndoStateMismatchError", Exc::UndoError},
    {"vornix_sim.UndoNotFoundError", Exc::UndoError},
    {"vornix_sim.UndoNotUndoableError", Exc::UndoError},
    {"vornix_sim.UndoInternalError", Exc::UndoError},
}};

// Strong references held for the life of the process once imported; never
// released at exit, when the interpreter may already be gone.
std::array<PyObject*, kExceptionCount> g_classes{};

constexpr std::size_t index_of(Exc id) { return static_cast<std::size_t>(id); }

}  // namespace

Ref make_exception_class(Exc id) {
  const ExceptionInfo& info = kExceptions[index_of(id)];
  PyObject* base = id == Exc::VornixError ? PyExc_Exception : exception_class(info.base);
  if (base == nullptr) {
    raise(PyExc_SystemError, std::string(info.qualified_name) + " made before its base class");
  }
  PyObject* cls = PyErr_NewException(info.qualified_name, base, nullptr);
  if (cls == nullptr) raise_internal_fault_from_pending("Failed to initialize new exception type.");
  Ref result = Ref::steal(cls);
  PyObject* old = g_classes[index_of(id)];
  g_classes[index_of(id)] = Ref::borrow(cls).release();
  Py_XDECREF(old);
  return result;
}

PyObject* exception_class(Exc id) noexcept { return g_classes[index_of(id)]; }

void clear_exception_classes() noexcept {
  for (PyObject*& cls : g_classes) Py_CLEAR(cls);
}

}  // namespace vornix::py
