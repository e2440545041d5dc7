"""The module's exception classes, each on its base, in registration order."""

from ._support import MODULE

_TABLE = (
    ("VornixError", None),
    ("PacketNotFoundError", "VornixError"),
    ("EpochNotFoundError", "VornixError"),
    ("EpochNotRunningError", "VornixError"),
    ("EpochNotStartableError", "VornixError"),
    ("CannotFinishNonEmptyEpochError", "VornixError"),
    ("UnsentOutputSalvoError", "VornixError"),
    ("PacketNotInAnyNodeError", "VornixError"),
    ("OutputPortNotFoundError", "VornixError"),
    ("OutputPortFullError", "VornixError"),
    ("SalvoConditionNotFoundError", "VornixError"),
    ("SalvoConditionNotMetError", "VornixError"),
    ("MaxSalvosExceededError", "VornixError"),
    ("NodeNotFoundError", "VornixError"),
    ("PacketNotAtInputPortError", "VornixError"),
    ("InputPortNotFoundError", "VornixError"),
    ("InputPortFullError", "VornixError"),
    ("CannotMovePacketFromRunningEpochError", "VornixError"),
    ("CannotMovePacketIntoRunningEpochError", "VornixError"),
    ("EdgeNotFoundError", "VornixError"),
    ("GraphValidationError", "VornixError"),
    ("RequestCycleDetectedError", "VornixError"),
    ("RequestUnconnectedPortError", "VornixError"),
    ("RequestNodeNotFoundError", "VornixError"),
    ("UndoError", "VornixError"),
    ("UndoStateMismatchError", "UndoError"),
    ("UndoNotFoundError", "UndoError"),
    ("UndoNotUndoableError", "UndoError"),
    ("UndoInternalError", "UndoError"),
)


def _make(name, base):
    return type(name, (base,), {"__module__": MODULE, "__qualname__": name, "__doc__": None})


EXCEPTIONS = {}
for _name, _base in _TABLE:
    EXCEPTIONS[_name] = _make(_name, Exception if _base is None else EXCEPTIONS[_base])

# A broken invariant inside the engine: derives from BaseException so that
# code catching Exception does not swallow it. Not exported by name.
InternalFault = _make("InternalFault", BaseException)
