"""Python bindings for vornix-sim, a flow-based development runtime simulation engine."""

import os as _os
import sys as _sys


def _refuse_other_interpreters():
    # One interpreter per process, as with the extension module, so that a
    # program behaves the same whichever front end it gets. The claim is kept
    # in the process's environment, which every interpreter of the process
    # reads; the pid makes a copy inherited by a child process not count.
    key = "VORNIX_SIM_OWNER"
    mine = f"{_os.getpid()}:{id(_sys)}"
    owner = _os.environ.get(key, "")
    if owner.startswith(f"{_os.getpid()}:") and owner != mine:
        raise ImportError("vornix_sim can only be imported in one interpreter per process; "
                          "it is already loaded in another")
    _os.environ[key] = mine


_refuse_other_interpreters()
del _os, _sys, _refuse_other_interpreters

from ._errors import EXCEPTIONS as _EXCEPTIONS  # noqa: E402
from ._graph import (
    DependencyRequestConfig, DependencyRequestTrigger, Edge, MaxSalvos, MaxSalvosFinite, Node,
    PacketCount, PacketCountN, Port, PortRef, PortSlotSpec, PortSlotSpecFinite, PortState,
    PortStateNumeric, PortType, SalvoCondition, SalvoConditionTerm)
from ._graphs import Graph, GraphValidationErrorInfo
from ._events import NetActionResponseData, NetEvent
from ._net import (
    Epoch, EpochState, NetAction, OrphanedPacketInfo, Packet, PacketLocation, Salvo)
from ._sim import NetSim

globals().update(_EXCEPTIONS)

# Same names in the same order as the extension module. Engine results
# become objects through the plain-data factories beside each class (node(),
# salvo_condition(), location(), packet(), epoch(), salvo(), ...), and engine
# faults through _errors.InternalFault.
_GRAPH_CLASSES = (
    PacketCount, PacketCountN, MaxSalvos, MaxSalvosFinite, PortSlotSpec, PortSlotSpecFinite,
    PortState, PortStateNumeric, SalvoConditionTerm, DependencyRequestTrigger,
    DependencyRequestConfig, Port, PortType, PortRef, Edge, SalvoCondition, Node,
    GraphValidationErrorInfo, Graph)
_SIMULATION_CLASSES = (PacketLocation, EpochState, Packet, Salvo, OrphanedPacketInfo, Epoch,
                       NetAction, NetEvent, NetActionResponseData, NetSim)

__all__ = list(_EXCEPTIONS) + [c.__name__ for c in _GRAPH_CLASSES + _SIMULATION_CLASSES]
