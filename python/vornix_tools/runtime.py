"""A runtime that plays the nodes of a network with Python behaviours.

The engine keeps the books of a flow-based network but runs no node code.
`Runtime` is the host loop every user would otherwise write: it runs the
automatic flow until blocked, starts each startable epoch in the order it was
created, calls the node's behaviour with an `Activation`, then consumes the
inputs the behaviour did not pass on, sends the output salvos whose
conditions hold and finishes the epoch, and repeats until nothing can happen.
Packets carry Python values, kept here by packet id.

Nothing is lost when a run stops early. Every event is appended to the log as
soon as the call that made it returns, and the value table changes only
with it. Ctrl-C is held back while the runtime's own bookkeeping runs and
delivered inside a behaviour or between two activations, so that an
interrupt never falls between an engine call and its record. The epoch whose
behaviour failed or was interrupted stays running, as the behaviour left it.
"""

from __future__ import annotations

import collections
import contextlib
import signal
import threading
from typing import Any, Callable, Deque, Dict, Iterable, Iterator, List, Optional, Tuple

import vornix_sim as vs

__all__ = ["Runtime", "Activation", "RunResult", "NodeError", "canonical", "Behaviour"]

Behaviour = Callable[["Activation"], Any]

# The name an epoch made by `Runtime.start` gives its (empty) input salvo.
START_SALVO = "__start__"

_A = vs.NetAction


class NodeError(Exception):
    """A node could not be played: its behaviour raised (the original
    exception is the `__cause__`), or it left packets loaded that no output
    salvo condition sends. The epoch stays running, as the behaviour left it."""

    def __init__(self, node: str, epoch_id: str, message: str) -> None:
        super().__init__(f"node {node!r}, epoch {epoch_id}: {message}")
        self.node = node
        self.epoch_id = epoch_id


class RunResult:
    """What one `Runtime.run` did.

    outputs: (node, port) -> the values that left the network through that
    unconnected output port, in order; activations: how many behaviours ran;
    events: every event since the previous result (feeds and starts made
    before the run included), in order; complete: False when
    `max_activations` stopped the run while epochs were still waiting.
    """

    def __init__(self, outputs: Dict[Tuple[str, str], List[Any]], activations: int,
                 events: List[vs.NetEvent], complete: bool) -> None:
        self.outputs = outputs
        self.activations = activations
        self.events = events
        self.complete = complete

    def __repr__(self) -> str:
        return (f"RunResult(activations={self.activations}, events={len(self.events)}, "
                f"outputs={sorted(self.outputs)}, complete={self.complete})")


def value_text(value: Any, width: int = 40) -> str:
    """A value's repr, cut short for display."""
    try:
        text = repr(value)
    except Exception as e:  # a broken __repr__ must not stop a run
        text = f"<unprintable {type(value).__name__}: {type(e).__name__}>"
    return text if len(text) <= width else text[: width - 3] + "..."


# ---------------------------------------------------------------- node plans

def _capacity(port: vs.Port) -> Optional[int]:
    slots = port.slots_spec
    return slots.capacity if isinstance(slots, vs.PortSlotSpecFinite) else None


def _compile_term(term: vs.SalvoConditionTerm,
                  capacities: Dict[str, Optional[int]]) -> Callable[[Dict[str, int]], bool]:
    """The term as a function of the packet counts of the ports, with the
    engine's meaning (a port missing from the counts holds 0 packets)."""
    kind = term.kind
    if kind == "True":
        return lambda counts: True
    if kind == "False":
        return lambda counts: False
    if kind == "Not":
        inner_term = term.get_inner()
        assert inner_term is not None
        inner = _compile_term(inner_term, capacities)
        return lambda counts: not inner(counts)
    if kind in ("And", "Or"):
        parts = [_compile_term(t, capacities) for t in term.get_terms() or []]
        if kind == "And":
            return lambda counts: all(p(counts) for p in parts)
        return lambda counts: any(p(counts) for p in parts)
    name = term.get_port_name()
    assert name is not None
    state = term.get_port_state()
    cap = capacities.get(name)
    get = _count_getter(name)
    if isinstance(state, vs.PortStateNumeric):
        n = state.value
        test: Callable[[int], bool] = {
            "equals": lambda c: c == n,
            "less_than": lambda c: c < n,
            "greater_than": lambda c: c > n,
            "equals_or_less_than": lambda c: c <= n,
            "equals_or_greater_than": lambda c: c >= n,
        }[state.kind]
        return lambda counts: test(get(counts))
    if state == vs.PortState.Empty:
        return lambda counts: get(counts) == 0
    if state == vs.PortState.NonEmpty:
        return lambda counts: get(counts) != 0
    # Full and NonFull: a port without a finite capacity is never full.
    full = vs.PortState.Full
    if cap is None:
        return (lambda counts: False) if state == full else (lambda counts: True)
    if state == full:
        return lambda counts: get(counts) >= cap
    return lambda counts: get(counts) < cap


def _count_getter(name: str) -> Callable[[Dict[str, int]], int]:
    return lambda counts: counts.get(name, 0)


class _Condition:
    __slots__ = ("name", "max", "ports", "holds", "leaves")

    def __init__(self, name: str, condition: vs.SalvoCondition,
                 capacities: Dict[str, Optional[int]], unconnected: frozenset) -> None:
        self.name = name
        limit = condition.max_salvos
        self.max = limit.max if isinstance(limit, vs.MaxSalvosFinite) else None
        # (port, how many it takes, None for all), as the send will take them.
        self.ports = [(p, c.count if isinstance(c, vs.PacketCountN) else None)
                      for p, c in condition.ports.items()]
        self.holds = _compile_term(condition.term, capacities)
        self.leaves = any(p in unconnected for p, _ in self.ports)


class _NodePlan:
    """What playing a node needs to know of it, read from the graph once."""

    __slots__ = ("name", "in_ports", "in_caps", "out_ports", "out_caps", "conditions",
                 "unconnected", "behaviour", "single_out", "schedules")

    def __init__(self, node: vs.Node, connected: set) -> None:
        self.name = node.name
        ins = node.in_ports
        outs = node.out_ports
        self.in_ports = list(ins)
        self.in_caps = {p: _capacity(port) for p, port in ins.items()}
        self.out_ports = list(outs)
        self.out_caps = {p: _capacity(port) for p, port in outs.items()}
        self.unconnected = frozenset(p for p in outs if (node.name, p) not in connected)
        self.conditions = [_Condition(n, c, self.out_caps, self.unconnected)
                           for n, c in node.out_salvo_conditions.items()]
        self.behaviour: Optional[Behaviour] = None
        # A pass-through node with one output port loads all its inputs there;
        # which salvos it then sends depends only on how many they are.
        self.single_out = self.out_ports[0] if len(self.out_ports) == 1 else None
        self.schedules: Dict[int, Optional[List[List[Tuple[str, bool]]]]] = {}


def _schedule(plan: _NodePlan, n: int) -> Optional[List[List[Tuple[str, bool]]]]:
    """The output salvos the send rule makes for `n` packets loaded into the
    only output port (in a one-element list), or None when packets would be
    left loaded: then the general path runs and reports them."""
    port = plan.single_out
    cap = plan.out_caps[port]
    if cap is not None and n > cap:
        return None  # the general path sends between loads to make room
    loaded = n
    sent: Dict[str, int] = {}
    sends: List[Tuple[str, bool]] = []
    progress = True
    while progress:
        progress = False
        for cond in plan.conditions:
            while ((cond.max is None or sent.get(cond.name, 0) < cond.max)
                   and cond.holds({port: loaded})):
                sent[cond.name] = sent.get(cond.name, 0) + 1
                sends.append((cond.name, cond.leaves))
                take = 0
                for p, count in cond.ports:
                    if p == port:
                        take = loaded if count is None else min(count, loaded)
                loaded -= take
                if not take:
                    break
                progress = True
    return None if loaded else [sends]


# ---------------------------------------------------------------- activation

class Activation:
    """One epoch being played: what its behaviour sees and may do.

    node: the node's name; epoch_id: the epoch; inputs: input port -> the
    values of the salvo's packets at that port, in salvo order (empty for an
    epoch made by a request or by `Runtime.start`).
    """

    __slots__ = ("node", "epoch_id", "inputs", "_rt", "_plan", "_held", "_loaded", "_sent")

    def __init__(self, rt: "Runtime", plan: _NodePlan, epoch_id: str,
                 packets: List[Tuple[str, str]]) -> None:
        self._rt = rt
        self._plan = plan
        self.node = plan.name
        self.epoch_id = epoch_id
        self._held = packets  # input (port, packet id) still inside the epoch
        self._loaded: Dict[str, List[str]] = {p: [] for p in plan.out_ports}
        self._sent: Dict[str, int] = {}
        self.inputs: Dict[str, List[Any]] = {}

    def __repr__(self) -> str:
        return f"<Activation {self.node} {self.epoch_id}>"

    def _check_port(self, port: str) -> None:
        if port not in self._loaded:
            raise ValueError(f"node {self.node!r} has no output port {port!r}")

    def emit(self, port: str, value: Any) -> str:
        """Creates a packet carrying `value` inside the epoch and loads it into
        the output port `port`; returns its id. A refused load (the port is
        full) destroys the new packet again and raises the refusal."""
        self._check_port(port)
        rt = self._rt
        with rt._gate:
            data, events = rt._act(_A.create_packet(self.epoch_id))
            pid = data.packet_id  # type: ignore[attr-defined]
            rt._values[pid] = value
            try:
                rt._act(_A.load_packet_into_output_port(pid, port))
            except vs.VornixError:
                rt._act(_A.destroy_packet(pid))
                rt._values.pop(pid, None)
                raise
            self._loaded[port].append(pid)
            rt._note_value(pid, value)
        return pid

    def pass_on(self, port: str, in_port: Optional[str] = None) -> List[str]:
        """Loads the input packets (those at `in_port`, or all) that are still
        in the epoch into the output port `port`, values and ids unchanged;
        returns their ids."""
        self._check_port(port)
        rt = self._rt
        moved: List[str] = []
        with rt._gate:
            held = self._held
            keep = []
            try:
                for i, pair in enumerate(held):
                    if in_port is None or pair[0] == in_port:
                        rt._act(_A.load_packet_into_output_port(pair[1], port))
                        self._loaded[port].append(pair[1])
                        moved.append(pair[1])
                    else:
                        keep.append(pair)
                i = len(held)
            finally:
                # On a refused load the packets not reached stay held.
                self._held = keep + held[i:]
        return moved

    def send(self, condition: str) -> None:
        """Sends the output salvo `condition` now (the engine's refusals, such
        as a condition that does not hold, are raised unchanged)."""
        cond = self._find(condition)
        with self._rt._gate:
            self._rt._send(self, cond)

    def _find(self, condition: str) -> _Condition:
        for cond in self._plan.conditions:
            if cond.name == condition:
                return cond
        raise ValueError(f"node {self.node!r} has no output salvo condition {condition!r}")


class _Gate:
    """Holds Ctrl-C back while closed (see the module's doc): the handler
    notes it, and it is raised when the gate opens again."""

    __slots__ = ("closed", "pending")

    def __init__(self) -> None:
        self.closed = 0
        self.pending = False

    def __enter__(self) -> None:
        self.closed += 1

    def __exit__(self, exc_type: object, *rest: object) -> None:
        self.closed -= 1
        if self.pending and self.closed == 0 and exc_type is None:
            self.pending = False
            raise KeyboardInterrupt

    def handler(self, signum: int, frame: object) -> None:
        if self.closed:
            self.pending = True
        else:
            raise KeyboardInterrupt


# ---------------------------------------------------------------- runtime

class Runtime:
    """Plays a network: behaviours are called for the epochs the flow makes.

    `behaviours` maps node names to callables taking one `Activation`; a node
    without one passes every input value on to each of its output ports (and
    consumes it when it has none), sending whatever the output salvo
    conditions send whenever a port is full, as a behaviour would. With
    `record=True` the simulation is a `Recorder` (`rt.recording`), whose page
    shows each packet's value.
    """

    def __init__(self, graph: vs.Graph,
                 behaviours: Optional[Dict[str, Behaviour]] = None, *,
                 record: bool = False) -> None:
        sim = vs.NetSim(graph)
        self.graph = graph
        self.recording: Any = None
        if record:
            from .record import Recorder
            self.recording = Recorder(sim)
            self.sim: Any = self.recording
        else:
            self.sim = sim
        self._do = self.sim.do_action
        connected = {(e.source.node_name, e.source.port_name) for e in graph.edges()}
        self._plans = {name: _NodePlan(node, connected) for name, node in graph.nodes().items()}
        self._values: Dict[str, Any] = {}
        self._log: List[vs.NetEvent] = []
        self._mark = 0  # where the events of the next result begin
        self._outputs: Dict[Tuple[str, str], List[Any]] = {}
        self._activations = 0
        self._ready: Deque[str] = collections.deque()  # startable epochs, oldest first
        self._waiting: Dict[Tuple[str, str], Deque[str]] = {}  # fed packets kept outside
        self._gate = _Gate()
        self._running = False
        for name, fn in (behaviours or {}).items():
            self._register(name, fn)

    def __repr__(self) -> str:
        return (f"Runtime({self.graph!r}, values={len(self._values)}, "
                f"events={len(self._log)})")

    # -- set-up

    def _plan(self, node: str) -> _NodePlan:
        plan = self._plans.get(node)
        if plan is None:
            raise ValueError(f"the graph has no node named {node!r}")
        return plan

    def _register(self, node: str, fn: Behaviour) -> None:
        plan = self._plan(node)
        if not callable(fn):
            raise TypeError(f"the behaviour of node {node!r} is not callable: {fn!r}")
        plan.behaviour = fn

    def behaviour(self, node: str) -> Callable[[Behaviour], Behaviour]:
        """Decorator: registers the function as the behaviour of `node`."""
        self._plan(node)

        def register(fn: Behaviour) -> Behaviour:
            self._register(node, fn)
            return fn
        return register

    # -- reading

    @property
    def events(self) -> List[vs.NetEvent]:
        """Every event since the runtime was made, in order."""
        return self._log

    def value_of(self, packet_id: Any) -> Any:
        """The value a packet carries (KeyError for a packet without one: it
        was consumed, destroyed, or not made by this runtime)."""
        return self._values[str(packet_id)]

    @property
    def waiting(self) -> Dict[Tuple[str, str], List[str]]:
        """Fed packets still outside the network, waiting for room at their
        input port: (node, port) -> packet ids."""
        return {k: list(q) for k, q in self._waiting.items() if q}

    # -- engine calls: every successful call's events go to the log at once

    def _act(self, action: vs.NetAction) -> Tuple[Any, List[vs.NetEvent]]:
        data, events = self._do(action)
        self._log += events
        return data, events

    def _note_value(self, pid: str, value: Any) -> None:
        rec = self.recording
        if rec is not None:
            rec.packet_values[pid] = value_text(value)

    # -- feeding and starting

    def feed(self, node: str, port: str, values: Iterable[Any]) -> List[str]:
        """Each value becomes a packet created outside the network and moved
        to the input port; returns the new ids in order. Values beyond the
        port's room wait outside, in order, and move in as room frees."""
        plan = self._plan(node)
        if port not in plan.in_caps:
            raise ValueError(f"node {node!r} has no input port {port!r}")
        values = list(values)
        queue = self._waiting.setdefault((node, port), collections.deque())
        ids = []
        with self._holding_interrupts():
            for value in values:
                data, _ = self._act(_A.create_packet())
                pid = data.packet_id
                self._values[pid] = value
                self._note_value(pid, value)
                queue.append(pid)
                ids.append(pid)
            self._top_up()
        return ids

    def _top_up(self) -> None:
        for (node, port), queue in self._waiting.items():
            if not queue:
                continue
            cap = self._plans[node].in_caps[port]
            where = vs.PacketLocation.input_port(node, port)
            room = len(queue) if cap is None else cap - self.sim.packet_count_at(where)
            while queue and room > 0:
                self._act(_A.transport_packet_to_location(queue[0], where))
                queue.popleft()
                room -= 1

    def start(self, node: str, times: int = 1) -> List[str]:
        """Creates `times` epochs at `node` with an empty salvo (how a source
        is set going by hand); the next run plays them. Returns their ids."""
        self._plan(node)
        if not isinstance(times, int) or times < 0:
            raise ValueError(f"times must be a non-negative int, not {times!r}")
        ids = []
        with self._holding_interrupts():
            for _ in range(times):
                data, _ = self._act(_A.create_epoch(node, vs.Salvo(START_SALVO, [])))
                eid = data.epoch.id
                self._ready.append(eid)
                ids.append(eid)
        return ids

    # -- running

    @contextlib.contextmanager
    def _holding_interrupts(self) -> Iterator[None]:
        """Closes the gate and, on the main thread under the default handler,
        routes Ctrl-C through it for the duration."""
        if self._running:
            raise RuntimeError("the runtime is already running (a behaviour may not call it)")
        gate = self._gate
        installed = False
        old: Any = None
        if threading.current_thread() is threading.main_thread():
            old = signal.getsignal(signal.SIGINT)
            if old is signal.default_int_handler:
                signal.signal(signal.SIGINT, gate.handler)
                installed = True
        self._running = True
        gate.closed += 1
        try:
            yield
        finally:
            gate.closed -= 1
            self._running = False
            if installed:
                signal.signal(signal.SIGINT, old)
            # A Ctrl-C held back at the very end is not dropped.
            if gate.pending and not gate.closed:
                gate.pending = False
                raise KeyboardInterrupt

    def run(self, max_activations: Optional[int] = None) -> RunResult:
        """Runs the flow and plays the epochs it makes until nothing can
        happen, or until `max_activations` behaviours have run. A network
        that can go on forever (values passed round a loop, or a node whose
        input salvo condition holds without taking its packets) stops only
        at `max_activations`."""
        if max_activations is not None and max_activations < 0:
            raise ValueError("max_activations must be non-negative")
        with self._holding_interrupts():
            return self._run(max_activations)

    def _run(self, limit: Optional[int]) -> RunResult:
        # The gate is closed for the whole run: Ctrl-C is delivered between
        # two activations (the books agree there) or inside a behaviour.
        gate = self._gate
        ready = self._ready
        activate = self._activate
        done = 0
        complete = True
        while True:
            self._top_up()
            self._flow()
            if not ready:
                break
            while ready:
                if gate.pending:
                    gate.pending = False
                    raise KeyboardInterrupt
                if limit is not None and done >= limit:
                    complete = False
                    break
                activate(ready.popleft())
                done += 1
            if not complete:
                break
        result = RunResult(self._outputs, self._activations, self._log[self._mark:], complete)
        self._outputs = {}
        self._activations = 0
        self._mark = len(self._log)
        return result

    def _flow(self) -> None:
        try:
            events = self.sim.run_until_blocked()
        except BaseException as e:
            # An interrupted run returns the events of the steps it made on
            # the exception: they are kept like any others.
            self._took(getattr(e, "events", None) or [])
            raise
        self._took(events)

    def _took(self, events: List[vs.NetEvent]) -> None:
        self._log += events
        self._ready.extend([e.epoch_id for e in events if e.kind == "EpochCreated"])

    def _activate(self, eid: str, start: Any = _A.start_epoch,
                  load: Any = _A.load_packet_into_output_port,
                  send: Any = _A.send_output_salvo, finish: Any = _A.finish_epoch) -> None:
        do = self._do
        log = self._log
        data, events = do(start(eid))
        log += events
        epoch = data.epoch
        plan = self._plans[epoch.node_name]
        self._activations += 1
        fn = plan.behaviour
        if fn is None:
            packets = epoch.in_salvo.packets
            port = plan.single_out
            if port is not None:
                schedule = plan.schedules.get(len(packets))
                if schedule is None:
                    schedule = plan.schedules[len(packets)] = _schedule(plan, len(packets))
                if schedule:
                    # A pass-through node with one output port, whose sends for
                    # this many packets are known in advance (see _schedule).
                    for _, pid in packets:
                        log += do(load(pid, port))[1]
                    for name, leaves in schedule[0]:
                        events = do(send(eid, name))[1]
                        log += events
                        if leaves:
                            self._orphaned(plan.name, events)
                    log += do(finish(eid))[1]
                    return
            act = Activation(self, plan, eid, packets)
            self._pass_through(act)
            self._finish(act)
            return
        act = Activation(self, plan, eid, epoch.in_salvo.packets)
        values = self._values
        inputs = act.inputs
        for port, pid in act._held:
            inputs.setdefault(port, []).append(values.get(pid))
        gate = self._gate
        closed = gate.closed
        gate.closed = 0  # Ctrl-C may reach the behaviour itself
        try:
            if gate.pending:
                gate.pending = False
                raise KeyboardInterrupt
            fn(act)
        except Exception as e:
            gate.closed = closed
            raise NodeError(plan.name, eid,
                            f"the behaviour raised {type(e).__name__}: {e}") from e
        finally:
            gate.closed = closed
        self._finish(act)

    def _orphaned(self, node: str, events: List[vs.NetEvent]) -> None:
        outputs = self._outputs
        values = self._values
        for e in events:
            if e.kind == "PacketOrphaned":
                key = (node, e.orphaned_port_name)
                out = outputs.get(key)
                if out is None:
                    out = outputs[key] = []
                out.append(values.get(e.packet_id))

    def _pass_through(self, act: Activation) -> None:
        plan = act._plan
        outs = plan.out_ports
        if not outs:
            return  # _finish consumes the inputs
        first = outs[0]
        values = self._values
        for port in outs[1:]:
            for _, pid in act._held:
                self._make_room(act, port)
                data, _ = self._act(_A.create_packet(act.epoch_id))
                copy = data.packet_id
                value = values.get(pid)
                values[copy] = value
                self._note_value(copy, value)
                self._act(_A.load_packet_into_output_port(copy, port))
                act._loaded[port].append(copy)
        loaded = act._loaded[first]
        for _, pid in act._held:
            self._make_room(act, first)
            self._act(_A.load_packet_into_output_port(pid, first))
            loaded.append(pid)
        act._held = []

    def _make_room(self, act: Activation, port: str) -> None:
        """Before a pass-through loads into a full output port: sends what the
        send rule sends, as a behaviour would between its loads; a NodeError
        when that leaves the port full."""
        cap = act._plan.out_caps[port]
        if cap is None or len(act._loaded[port]) < cap:
            return
        self._send_ready(act)
        if len(act._loaded[port]) >= cap:
            raise NodeError(act.node, act.epoch_id,
                            f"output port {port!r} is full and no output salvo condition "
                            "sends from it")

    def _send_ready(self, act: Activation) -> None:
        """Sends every output salvo the send rule makes of what is loaded."""
        loaded = act._loaded
        counts = {p: len(ids) for p, ids in loaded.items()}
        sent = act._sent
        progress = True
        while progress:
            progress = False
            for cond in act._plan.conditions:
                # A send that moves nothing would hold again at once: one is enough.
                while ((cond.max is None or sent.get(cond.name, 0) < cond.max)
                       and cond.holds(counts)):
                    if not self._send(act, cond):
                        break
                    counts = {p: len(ids) for p, ids in loaded.items()}
                    progress = True

    def _finish(self, act: Activation) -> None:
        values = self._values
        for _, pid in act._held:
            self._act(_A.consume_packet(pid))
            values.pop(pid, None)
        act._held = []
        loaded = act._loaded
        plan = act._plan
        self._send_ready(act)
        for port, ids in loaded.items():
            if ids:
                raise NodeError(plan.name, act.epoch_id,
                                f"{len(ids)} packet(s) left loaded in output port {port!r} "
                                "that no output salvo condition sends")
        self._act(_A.finish_epoch(act.epoch_id))

    def _send(self, act: Activation, cond: _Condition) -> bool:
        """Sends one output salvo; returns whether it moved any packet."""
        _, events = self._act(_A.send_output_salvo(act.epoch_id, cond.name))
        act._sent[cond.name] = act._sent.get(cond.name, 0) + 1
        loaded = act._loaded
        moved = False
        # The send takes the front packets of each port, as the engine does.
        for port, n in cond.ports:
            ids = loaded.get(port)
            if not ids:
                continue
            take = len(ids) if n is None else min(n, len(ids))
            if take:
                moved = True
                del ids[:take]
        if cond.leaves:
            self._orphaned(act.node, events)
        return moved


# ---------------------------------------------------------------- canonical form

def canonical(events: Iterable[vs.NetEvent]) -> List[tuple]:
    """The events with identifiers replaced by ordinal handles ("#1", "#2",
    ... in order of first appearance) and clock readings dropped, as tuples:
    two runs of the same network with the same behaviours and fed values
    give equal lists."""
    handles: Dict[str, str] = {}

    def h(ident: Optional[str]) -> Optional[str]:
        if ident is None:
            return None
        handle = handles.get(ident)
        if handle is None:
            handle = handles[ident] = f"#{len(handles) + 1}"
        return handle

    def loc(location: vs.PacketLocation) -> tuple:
        kind = location.kind
        if kind == "Node":
            return (kind, h(location.epoch_id))
        if kind == "OutputPort":
            return (kind, h(location.epoch_id), location.port_name)
        if kind == "InputPort":
            return (kind, location.node_name, location.port_name)
        if kind == "Edge":
            return (kind, str(location.get_edge()))
        return (kind,)

    def salvo(s: vs.Salvo) -> tuple:
        return (s.salvo_condition, tuple((p, h(pid)) for p, pid in s.packets))

    def epoch(ep: vs.Epoch) -> tuple:
        return (h(ep.id), ep.node_name, str(ep.state), salvo(ep.in_salvo),
                tuple(salvo(s) for s in ep.out_salvos),
                tuple((h(o.packet_id), o.from_port, o.salvo_condition)
                      for o in ep.orphaned_packets))

    out: List[tuple] = []
    for e in events:
        k = e.kind
        if k == "PacketCreated":
            out.append((k, h(e.packet_id)))
        elif k in ("PacketConsumed", "PacketDestroyed"):
            out.append((k, h(e.packet_id), loc(e.location)))
        elif k == "PacketMoved":
            out.append((k, h(e.packet_id), loc(e.from_location), loc(e.to_location),
                        e.from_index))
        elif k in ("EpochFinished", "EpochCancelled"):
            out.append((k, epoch(e.epoch)))
        elif k in ("InputSalvoTriggered", "OutputSalvoTriggered"):
            out.append((k, h(e.epoch_id), e.salvo_condition))
        elif k == "PacketOrphaned":
            out.append((k, h(e.packet_id), h(e.epoch_id), e.node_name,
                        e.orphaned_port_name, e.salvo_condition))
        elif k == "RequestCreated":
            out.append((k, e.node_name, e.label, e.request_source))
        elif k == "RequestCascadeResolved":
            out.append((k, tuple(e.source_nodes), e.label))
        elif k == "RequestEpochCreated":
            out.append((k, h(e.epoch_id), e.node_name, e.label))
        else:  # EpochCreated, EpochStarted
            out.append((k, h(e.epoch_id)))
    return out
