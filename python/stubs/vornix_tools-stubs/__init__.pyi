# Type stubs of the vornix_tools companion package: its public names.
import os
from typing import Any, Callable, Iterable, Iterator, Optional, Tuple, TypeVar, Union

import vornix_sim as vs

_Path = Union[str, os.PathLike[str]]
_B = TypeVar("_B", bound=Callable[[Activation], object])

# Graph pictures (Graphviz)

class GraphvizNotFoundError(RuntimeError): ...

def to_dot(graph: vs.Graph, *, name: str = ...) -> str: ...
def render(graph: vs.Graph, path: _Path, *, format: Optional[str] = ...) -> str: ...

# Graph files

FORMAT: str
VERSION: int

class GraphFileError(ValueError):
    path: str
    reason: str
    def __init__(self, path: str, reason: str) -> None: ...

def graph_to_dict(graph: vs.Graph) -> dict[str, Any]: ...
def graph_from_dict(data: Any) -> vs.Graph: ...
def save_graph(graph: vs.Graph, path: _Path) -> None: ...
def load_graph(path: _Path) -> vs.Graph: ...

# The FBP JSON graph format

class FbpGraph:
    graph: vs.Graph
    initial_packets: list[Tuple[vs.PacketLocation, Any]]
    inports: dict[str, vs.PortRef]
    outports: dict[str, vs.PortRef]
    components: dict[str, str]
    splitters: list[str]
    def __init__(
        self,
        graph: vs.Graph,
        initial_packets: list[Tuple[vs.PacketLocation, Any]],
        inports: dict[str, vs.PortRef],
        outports: dict[str, vs.PortRef],
        components: dict[str, str],
        splitters: list[str],
    ) -> None: ...

def graph_from_fbp(data: Any, *, split_fanout: bool = ...) -> FbpGraph: ...
def graph_to_fbp(
    graph: vs.Graph,
    *,
    initial_packets: Iterable[Tuple[vs.PacketLocation, Any]] = ...,
    inports: Optional[dict[str, vs.PortRef]] = ...,
    outports: Optional[dict[str, vs.PortRef]] = ...,
    components: Optional[dict[str, str]] = ...,
    name: Optional[str] = ...,
) -> dict[str, Any]: ...

# Recording a run and its viewer

class Entry:
    call: str
    label: str
    group: Optional[str]
    ok: bool
    error: Optional[str]
    events: list[vs.NetEvent]
    def __init__(self, call: str, label: str, group: Optional[str] = ...) -> None: ...

class Recorder:
    sim: vs.NetSim
    graph: vs.Graph
    title: Optional[str]
    entries: list[Entry]
    packet_values: dict[str, str]
    def __init__(self, sim: vs.NetSim, *, title: Optional[str] = ...) -> None: ...
    def do_action(
        self, action: vs.NetAction
    ) -> Tuple[vs.NetActionResponseData, list[vs.NetEvent]]: ...
    def run_step(self) -> Tuple[bool, list[vs.NetEvent]]: ...
    def run_until_blocked(self, *, max_steps: Optional[int] = ...) -> list[vs.NetEvent]: ...
    def undo_action(self, action: vs.NetAction, events: list[vs.NetEvent]) -> None: ...
    # Queries pass through to the wrapped NetSim.
    def __getattr__(self, name: str) -> Any: ...

class ReplayMismatchError(AssertionError): ...

def replay(recorder: Recorder) -> Iterator[Tuple[Entry, Any, list[str]]]: ...
def write_html(
    recording: Recorder, path: _Path, *, title: Optional[str] = ..., check: bool = ...
) -> _Path: ...

# The runtime

class NodeError(Exception):
    node: str
    epoch_id: str
    def __init__(self, node: str, epoch_id: str, message: str) -> None: ...

class Activation:
    node: str
    epoch_id: str
    inputs: dict[str, list[Any]]
    # Made by the Runtime for each epoch it plays.
    def __init__(
        self, rt: Runtime, plan: Any, epoch_id: str, packets: list[Tuple[str, str]]
    ) -> None: ...
    def emit(self, port: str, value: Any) -> str: ...
    def pass_on(self, port: str, in_port: Optional[str] = ...) -> list[str]: ...
    def send(self, condition: str) -> None: ...

class RunResult:
    outputs: dict[Tuple[str, str], list[Any]]
    activations: int
    events: list[vs.NetEvent]
    complete: bool
    def __init__(
        self,
        outputs: dict[Tuple[str, str], list[Any]],
        activations: int,
        events: list[vs.NetEvent],
        complete: bool,
    ) -> None: ...

class Runtime:
    graph: vs.Graph
    sim: Any  # a NetSim, or a Recorder with record=True
    recording: Optional[Recorder]
    def __init__(
        self,
        graph: vs.Graph,
        behaviours: Optional[dict[str, Callable[[Activation], object]]] = ...,
        *,
        record: bool = ...,
    ) -> None: ...
    def behaviour(self, node: str) -> Callable[[_B], _B]: ...
    @property
    def events(self) -> list[vs.NetEvent]: ...
    @property
    def waiting(self) -> dict[Tuple[str, str], list[str]]: ...
    def value_of(self, packet_id: Any) -> Any: ...
    def feed(self, node: str, port: str, values: Iterable[Any]) -> list[str]: ...
    def start(self, node: str, times: int = ...) -> list[str]: ...
    def run(self, max_activations: Optional[int] = ...) -> RunResult: ...

def canonical(events: Iterable[vs.NetEvent]) -> list[Tuple[Any, ...]]: ...
