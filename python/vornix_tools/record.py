"""Recording a run, and rebuilding its states from the recorded events.

A Recorder wraps a NetSim and offers the same driving methods with the same
results; it keeps every call with the events it returned, failed calls
included. The event log does not say everything a picture needs, so the
recorder also notes, right after each call, the few facts the events leave
out: where a created packet appeared (PacketCreated has no location), which
node a created epoch belongs to (EpochCreated has no node), and the live
packet counts of every location the call touched, against which the replay
is checked. A run step that fails keeps the changes it made before failing;
the exception carries their events as `events`, and the recorder keeps
those like a successful call's. Only an undo that fails part-way changes
the state without events: after it the recorder reads the state of every
packet and epoch it knows of and keeps it as a resync.

Replay rebuilds the states step by step from the events alone (plus those
facts) and reports where they disagree with what the simulation said.
"""

from __future__ import annotations

import vornix_sim as vs

from .graphfile import edge_key

_STATE_NAMES = {0: "Startable", 1: "Running", 2: "Finished"}


def loc_key(loc):
    """A hashable key for a PacketLocation."""
    kind = loc.kind
    if kind == "OutsideNet":
        return ("outside",)
    if kind == "InputPort":
        return ("in", loc.node_name, loc.port_name)
    if kind == "OutputPort":
        return ("out", loc.epoch_id, loc.port_name)
    if kind == "Node":
        return ("node", loc.epoch_id)
    return ("edge",) + edge_key(loc.get_edge())


def _event_locations(ev):
    k = ev.kind
    if k == "PacketMoved":
        return (ev.from_location, ev.to_location)
    if k in ("PacketConsumed", "PacketDestroyed"):
        return (ev.location,)
    if k == "PacketOrphaned":
        return (vs.PacketLocation.output_port(ev.epoch_id, ev.orphaned_port_name), vs.PacketLocation.outside_net())
    return ()


def _event_epoch(ev):
    if ev.kind in ("EpochFinished", "EpochCancelled"):
        return ev.epoch.id
    return ev.epoch_id


def _may_change_flow(events, had_requests):
    """Whether a step with these events could leave the automatic flow in a
    different state from the one it started in. The step decides from packet
    locations at edges and input ports, the request queue, the request tokens
    and the startup flag. A step that moved no packet and queued no request,
    starting from an empty queue, changed none of them, so the next step would
    repeat it forever (a node whose condition holds without its salvo taking
    the packets fires a new epoch every step).

    The queue is not visible from Python: a request resolved in the step shows
    as RequestCascadeResolved, and the recorder notes requests queued by
    actions since the last step. A request dropped silently (its node has no
    dependency edges), queued on the wrapped NetSim behind the recorder's
    back, or restored by an undo can make this loop stop one step before
    the NetSim's own."""
    if had_requests:
        return True
    for ev in events:
        if ev.kind in ("PacketMoved", "RequestCreated", "RequestCascadeResolved"):
            return True
    return False


class Entry:
    """One recorded call.

    call: "do_action", "run_step" or "undo_action"; label: what was done (the
    action's repr); group: the run_until_blocked call it belongs to, or None;
    ok / error: the outcome (error is "ErrorClass: message"); events: the
    NetEvents returned (for an undo, the events that were undone).
    """

    def __init__(self, call, label, group=None):
        self.call = call
        self.label = label
        self.group = group
        self.ok = True
        self.error = None
        self.events = []
        self.born = {}  # packet id -> location key where PacketCreated put it
        self.epoch_nodes = {}  # epoch id -> node name, for epochs the events introduce
        self.live_counts = {}  # location key -> packet_count_at after the call
        self.live_epochs = {}  # epoch id -> state name, or None when gone
        self.resync = None  # {"packets": {id: key | None}, "epochs": {id: (node, state) | None}}

    def __repr__(self):
        status = "ok" if self.ok else "failed"
        return f"<Entry {self.call} {self.label} {status}, {len(self.events)} events>"


class Recorder:
    """Wraps a NetSim and records every call made through it.

    The driving methods return what the NetSim's own do, and raise what they
    raise. run_until_blocked runs the steps one by one, so each step is its
    own entry and a failed step is kept too (the NetSim's own loop drops it).
    Queries (packet_count_at, get_epoch ...) pass through unrecorded.

    Wrap a fresh simulation for a complete picture: of a simulation that has
    already run, the recorder sees the packets at edges, input ports and
    outside the net, and the startable epochs, but not running epochs.
    """

    def __init__(self, sim, *, title=None):
        self.sim = sim
        self.graph = sim.graph
        self.title = title
        self.entries = []
        # packet id -> a short text of the value the packet carries, for the
        # viewer (filled by whoever gives packets values, such as the Runtime).
        self.packet_values = {}
        # Whether a request was queued by an action since the last run step:
        # the queue itself is not visible from Python.
        self._requests_queued = False
        self._packets = set()
        self._epochs = set()
        self._locations = {}
        self._groups = 0
        self.initial = self._initial_state()

    def __getattr__(self, name):
        return getattr(self.sim, name)

    # ------------------------------------------------------------ driving

    def do_action(self, action):
        label = repr(action)
        # NetAction has no getters; its repr names the variant.
        call = "run_step" if label == "NetAction.run_step()" else "do_action"
        entry = Entry(call, label)
        try:
            data, events = self.sim.do_action(action)
        except vs.VornixError as e:
            self._failed(entry, e)
            raise
        self._done(entry, events)
        return data, events

    def run_step(self, *, _group=None):
        entry = Entry("run_step", "run_step()", _group)
        try:
            made_progress, events = self.sim.run_step()
        except vs.VornixError as e:
            self._failed(entry, e)
            raise
        self._done(entry, events)
        return made_progress, events

    def run_until_blocked(self, *, max_steps=None):
        """As NetSim.run_until_blocked: steps until blocked and returns all
        events, those of failed steps included. Like the NetSim's loop it also
        stops after a step that could not have changed what the next step
        decides (see _may_change_flow), which would otherwise repeat forever.
        max_steps bounds the loop further (then the simulation may not be
        blocked on return). An interrupt (Ctrl-C) between steps propagates
        with the events of the steps done as its `events`."""
        self._groups += 1
        group = f"run_until_blocked #{self._groups}"
        events = []
        steps = 0
        first = len(self.entries)
        try:
            while not self.sim.is_blocked() and (max_steps is None or steps < max_steps):
                steps += 1
                had_requests = self._requests_queued
                try:
                    _, step_events = self.run_step(_group=group)
                except vs.VornixError as e:
                    step_events = getattr(e, "events", None) or []
                events.extend(step_events)
                if not _may_change_flow(step_events, had_requests):
                    break
        except BaseException as e:
            if not isinstance(e, vs.VornixError):
                try:
                    e.events = events
                except AttributeError:
                    pass
            raise
        finally:
            for i, entry in enumerate(self.entries[first:]):
                entry.label = f"run_until_blocked step {i + 1}"
        return events

    def undo_action(self, action, events):
        entry = Entry("undo_action", f"undo {action!r}")
        try:
            result = self.sim.undo_action(action, events)
        except vs.UndoError as e:
            entry.events = list(events)
            self._failed(entry, e, resync=True)
            raise
        self._done(entry, list(events))
        return result

    # ------------------------------------------------------------ bookkeeping

    def _note_location(self, loc):
        key = loc_key(loc)
        self._locations.setdefault(key, loc)
        return key

    def _done(self, entry, events):
        entry.events = list(events)
        self._note_requests(entry)
        self._observe(entry)
        self.entries.append(entry)

    def _note_requests(self, entry):
        if entry.call == "run_step":
            self._requests_queued = False  # a step empties the queue, even when it fails
        elif entry.call == "do_action":
            if any(ev.kind == "RequestCreated" for ev in entry.events):
                self._requests_queued = True

    def _failed(self, entry, error, resync=False):
        """A refused action changed nothing. A failed run step kept the
        changes it made before failing, and its exception lists their events:
        they are recorded like a successful call's, no read-back needed."""
        entry.ok = False
        entry.error = f"{type(error).__name__}: {error}"
        if entry.call != "undo_action":
            entry.events = list(getattr(error, "events", None) or [])
        self._note_requests(entry)
        self._observe(entry)
        if resync:
            entry.resync = self._read_state(entry)
        self.entries.append(entry)

    def _observe(self, entry):
        sim = self.sim
        touched_epochs = set()
        for ev in entry.events:
            k = ev.kind
            pid = ev.packet_id
            if pid is not None:
                self._packets.add(pid)
            eid = _event_epoch(ev)
            if eid is not None:
                touched_epochs.add(eid)
            if k == "PacketCreated" and entry.call != "undo_action":
                packet = sim.get_packet(pid)
                if packet is not None:
                    entry.born[pid] = self._note_location(packet.location)
            for loc in _event_locations(ev):
                self._note_location(loc)
        for eid in touched_epochs:
            epoch = sim.get_epoch(eid)
            if eid not in self._epochs:
                self._epochs.add(eid)
                node = epoch.node_name if epoch is not None else self._node_from_events(entry, eid)
                if node is not None:
                    entry.epoch_nodes[eid] = node
            entry.live_epochs[eid] = None if epoch is None else _STATE_NAMES[int(epoch.state)]
            self._note_location(vs.PacketLocation.node(eid))
        keys = {loc_key(loc) for ev in entry.events for loc in _event_locations(ev)}
        keys.update(entry.born.values())
        keys.update(("node", eid) for eid in touched_epochs)
        for key in keys:
            entry.live_counts[key] = sim.packet_count_at(self._locations[key])

    @staticmethod
    def _node_from_events(entry, eid):
        for ev in entry.events:
            if ev.kind in ("EpochFinished", "EpochCancelled") and ev.epoch.id == eid:
                return ev.epoch.node_name
            if ev.kind == "RequestEpochCreated" and ev.epoch_id == eid:
                return ev.node_name
        return None

    def _read_state(self, entry):
        sim = self.sim
        for ev in entry.events:
            if ev.packet_id is not None:
                self._packets.add(ev.packet_id)
        packets = {}
        for pid in sorted(self._packets):
            packet = sim.get_packet(pid)
            packets[pid] = None if packet is None else self._note_location(packet.location)
        epochs = {}
        for eid in sorted(self._epochs | {str(e) for e in sim.get_startable_epochs()}):
            epoch = sim.get_epoch(eid)
            self._epochs.add(eid)
            epochs[eid] = None if epoch is None else (epoch.node_name, _STATE_NAMES[int(epoch.state)])
        return {"packets": packets, "epochs": epochs}

    def _initial_state(self):
        sim, graph = self.sim, self.graph
        locations = [vs.PacketLocation.outside_net()]
        locations += [vs.PacketLocation.edge(e) for e in graph.edges()]
        nodes = graph.nodes()
        for name, node in nodes.items():
            locations += [vs.PacketLocation.input_port(name, p) for p in node.in_ports]
        epochs = {}
        for eid in map(str, sim.get_startable_epochs()):
            epoch = sim.get_epoch(eid)
            epochs[eid] = (epoch.node_name, _STATE_NAMES[int(epoch.state)])
            self._epochs.add(eid)
            locations.append(vs.PacketLocation.node(eid))
            node = nodes.get(epoch.node_name)
            if node is not None:
                locations += [vs.PacketLocation.output_port(eid, p) for p in node.out_ports]
        packets = {}
        for loc in locations:
            key = self._note_location(loc)
            for pid in sim.get_packets_at_location(loc):
                packets[str(pid)] = key
                self._packets.add(str(pid))
        return {"packets": packets, "epochs": epochs}


class ReplayMismatchError(AssertionError):
    """The events of a recording do not explain the states the simulation
    reported: the event log (or the recording) is incomplete."""


class ReplayState:
    """Packet locations, epochs and pending requests, rebuilt from events.

    Every apply method returns nothing and records what it touched in
    `touched_locations` / `touched_epochs` (cleared by the caller) and any
    disagreement in `problems`.
    """

    def __init__(self, initial=None):
        self.where = {}  # packet id -> location key
        self.counts = {}  # location key -> number of packets
        self.epochs = {}  # epoch id -> [node name, state name]
        self.pending = []  # (node name, label) in queue order
        self.problems = []
        self.touched_locations = set()
        self.touched_epochs = set()
        if initial:
            self.resync(initial)

    # -- primitives

    def _add(self, pid, key):
        self.where[pid] = key
        self.counts[key] = self.counts.get(key, 0) + 1
        self.touched_locations.add(key)

    def _remove(self, pid, expected=None, what=""):
        key = self.where.pop(pid, None)
        if key is None:
            self.problems.append(f"{what}: packet {pid} is not known")
            return None
        if expected is not None and key != expected:
            self.problems.append(f"{what}: packet {pid} expected at {expected}, replay has it at {key}")
        self.counts[key] -= 1
        self.touched_locations.add(key)
        return key

    def _set_epoch(self, eid, value):
        if value is None:
            self.epochs.pop(eid, None)
        else:
            self.epochs[eid] = list(value)
        self.touched_epochs.add(eid)

    # -- events

    def forward(self, ev, entry):
        k = ev.kind
        if k == "PacketCreated":
            key = entry.born.get(ev.packet_id)
            if key is None:
                self.problems.append(f"PacketCreated: no location recorded for {ev.packet_id}")
                key = ("outside",)
            self._add(ev.packet_id, key)
        elif k in ("PacketConsumed", "PacketDestroyed"):
            self._remove(ev.packet_id, loc_key(ev.location), k)
        elif k == "PacketMoved":
            self._remove(ev.packet_id, loc_key(ev.from_location), k)
            self._add(ev.packet_id, loc_key(ev.to_location))
        elif k == "PacketOrphaned":
            self._remove(ev.packet_id, ("out", ev.epoch_id, ev.orphaned_port_name), k)
            self._add(ev.packet_id, ("outside",))
        elif k == "EpochCreated":
            node = entry.epoch_nodes.get(ev.epoch_id)
            if node is None:
                self.problems.append(f"EpochCreated: no node recorded for {ev.epoch_id}")
            self._set_epoch(ev.epoch_id, (node, "Startable"))
        elif k == "EpochStarted":
            self._epoch_state(ev.epoch_id, "Running", k)
        elif k in ("EpochFinished", "EpochCancelled"):
            if ev.epoch.id not in self.epochs:
                self.problems.append(f"{k}: epoch {ev.epoch.id} is not known")
            self._set_epoch(ev.epoch.id, None)
        elif k == "RequestCreated":
            self.pending.append((ev.node_name, ev.label))

    def backward(self, ev, action_sends_salvo=False):
        k = ev.kind
        if k == "PacketCreated":
            self._remove(ev.packet_id, None, "undo PacketCreated")
        elif k in ("PacketConsumed", "PacketDestroyed"):
            if ev.packet_id in self.where:
                self.problems.append(f"undo {k}: packet {ev.packet_id} still exists")
            else:
                self._add(ev.packet_id, loc_key(ev.location))
        elif k == "PacketMoved":
            self._remove(ev.packet_id, loc_key(ev.to_location), "undo PacketMoved")
            self._add(ev.packet_id, loc_key(ev.from_location))
        elif k == "PacketOrphaned":
            self._remove(ev.packet_id, ("outside",), "undo PacketOrphaned")
            self._add(ev.packet_id, ("out", ev.epoch_id, ev.orphaned_port_name))
        elif k == "EpochCreated":
            self._set_epoch(ev.epoch_id, None)
        elif k == "EpochStarted":
            self._epoch_state(ev.epoch_id, "Startable", "undo EpochStarted")
        elif k in ("EpochFinished", "EpochCancelled"):
            e = ev.epoch
            self._set_epoch(e.id, (e.node_name, _STATE_NAMES[int(e.state)]))
        elif k == "RequestCreated" and ev.request_source == "External":
            for i in range(len(self.pending) - 1, -1, -1):
                if self.pending[i] == (ev.node_name, ev.label):
                    del self.pending[i]
                    break

    def _epoch_state(self, eid, state, what):
        epoch = self.epochs.get(eid)
        if epoch is None:
            self.problems.append(f"{what}: epoch {eid} is not known")
            return
        self._set_epoch(eid, (epoch[0], state))

    def resync(self, snapshot):
        """Takes over the packets and epochs of a state read from the simulation."""
        for pid, key in snapshot["packets"].items():
            if self.where.get(pid) == key:
                continue
            if pid in self.where:
                self._remove(pid)
            if key is not None:
                self._add(pid, key)
        for eid, value in snapshot["epochs"].items():
            if value is None:
                if eid in self.epochs:
                    self._set_epoch(eid, None)
            elif self.epochs.get(eid) != list(value):
                self._set_epoch(eid, value)

    def apply(self, entry):
        """Applies one recorded call and checks it against what was seen live."""
        self.touched_locations = set()
        self.touched_epochs = set()
        before = len(self.problems)
        if entry.call == "undo_action":
            if entry.ok:
                for ev in reversed(entry.events):
                    self.backward(ev)
        else:
            for ev in entry.events:
                self.forward(ev, entry)
            if entry.call == "run_step":
                # A step empties the request queue, whether it succeeds or fails.
                self.pending = []
        if entry.resync is not None:
            self.resync(entry.resync)
        for key, live in entry.live_counts.items():
            if entry.resync is None and self.counts.get(key, 0) != live:
                self.problems.append(f"{key}: replay counts {self.counts.get(key, 0)} packets, "
                                     f"the simulation reported {live}")
        for eid, live in entry.live_epochs.items():
            mine = self.epochs.get(eid)
            if entry.resync is None and (mine[1] if mine else None) != live:
                self.problems.append(f"epoch {eid}: replay has state {mine and mine[1]}, "
                                     f"the simulation reported {live}")
        return self.problems[before:]


def replay(recorder):
    """Yields (entry, ReplayState, problems) after each recorded call. The
    same ReplayState object is updated in place."""
    state = ReplayState(recorder.initial)
    for entry in recorder.entries:
        problems = state.apply(entry)
        yield entry, state, problems
