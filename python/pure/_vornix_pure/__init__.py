"""Python bindings for vornix-sim, a flow-based development runtime simulation engine."""

from ._errors import EXCEPTIONS as _EXCEPTIONS
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
