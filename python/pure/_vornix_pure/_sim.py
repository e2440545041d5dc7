"""NetSim: a simulation driven through the engine's C interface.

Each simulation owns one result buffer that every call reuses, and one
action record that every action is written into, so a call allocates on the
C side only when an answer outgrows what the buffer already holds.

Two guards protect a simulation. The borrow flag refuses re-entry (a
callback, a __str__, a finalizer reaching the simulation while a call of
its own is in progress) with the module's words; the lock makes calls from
other threads wait their turn, since the engine is not thread-safe and a
call into it runs without the interpreter lock.
"""

import threading

from ._capi import ffi, lib
from ._errors import EXCEPTIONS, InternalFault
from ._events import Reader, Writer, event_arg, response
from ._net import RUN_STEP, NetAction, PacketLocation, packet as _packet
from ._support import (
    MODULE, Frozen, FrozenType, arg_type_error, finish_class, is_a, method_args, new, signature_of,
    take, type_name, _oset)

_OK, _REFUSED, _INTERRUPTED, _BAD_INPUT, _FAULT = range(5)


def _text(s):
    return ffi.unpack(s.ptr, s.len).decode("utf-8", "replace") if s.len else ""


def _fault(view):
    """The engine's fault (or input it could not take, which this front end
    should never send) as the BaseException-derived fault."""
    return InternalFault(_text(view.message))


# -- Refusals -----------------------------------------------------------------------------

def _q(name):
    return "'" + name + "'"


def _action_error(reader, err):
    code = err.code
    name = reader.name
    ident = reader.id
    if code == 1:
        return "PacketNotFoundError", "Packet not found: " + ident(err.packet_id)
    if code == 2:
        return "EpochNotFoundError", "Epoch not found: " + ident(err.epoch_id)
    if code == 3:
        return "EpochNotRunningError", "Epoch not running: " + ident(err.epoch_id)
    if code == 4:
        return "EpochNotStartableError", "Epoch not startable: " + ident(err.epoch_id)
    if code == 5:
        return ("CannotFinishNonEmptyEpochError",
                "Cannot finish epoch with packets remaining: " + ident(err.epoch_id))
    if code == 6:
        return ("UnsentOutputSalvoError",
                f"Cannot finish epoch {ident(err.epoch_id)}: output port "
                f"{_q(name(err.port_name))} has unsent packets")
    if code == 7:
        return ("PacketNotInAnyNodeError",
                f"Packet {ident(err.packet_id)} is not inside any epoch")
    if code == 8:
        return ("OutputPortNotFoundError",
                f"Output port {_q(name(err.port_name))} not found in epoch "
                f"{ident(err.epoch_id)}")
    if code == 9:
        return ("SalvoConditionNotFoundError",
                f"Salvo condition {_q(name(err.condition_name))} not found for epoch "
                f"{ident(err.epoch_id)}")
    if code == 10:
        return ("MaxSalvosExceededError",
                f"Max salvos exceeded for condition {_q(name(err.condition_name))} in epoch "
                f"{ident(err.epoch_id)}")
    if code == 11:
        return ("SalvoConditionNotMetError",
                f"Salvo condition {_q(name(err.condition_name))} not met for epoch "
                f"{ident(err.epoch_id)}")
    if code == 12:
        return ("OutputPortFullError",
                f"Output port {_q(name(err.port_name))} is full in epoch {ident(err.epoch_id)}")
    if code == 13:
        return "NodeNotFoundError", "Node not found: " + name(err.node_name)
    if code == 14:
        return ("PacketNotAtInputPortError",
                f"Packet {ident(err.packet_id)} not at input port {_q(name(err.port_name))} "
                f"on node {_q(name(err.node_name))}")
    if code == 15:
        return ("InputPortNotFoundError",
                f"Input port {_q(name(err.port_name))} not found on node {name(err.node_name)}")
    if code == 16:
        return ("InputPortFullError",
                f"Input port {_q(name(err.port_name))} is full on node {name(err.node_name)}")
    if code == 17:
        return ("CannotMovePacketFromRunningEpochError",
                f"Cannot move packet {ident(err.packet_id)} from running epoch "
                f"{ident(err.epoch_id)}")
    if code == 18:
        return ("CannotMovePacketIntoRunningEpochError",
                f"Cannot move packet {ident(err.packet_id)} into running epoch "
                f"{ident(err.epoch_id)}")
    if code == 19:
        return "EdgeNotFoundError", "Edge not found: " + str(reader.edge(err.edge))
    if code == 20:
        return ("RequestCycleDetectedError",
                "Request cascade cycle detected at node " + _q(name(err.node_name)))
    if code == 21:
        return ("RequestUnconnectedPortError",
                f"Request cascade reached unconnected input port {_q(name(err.port_name))} "
                f"on node {_q(name(err.node_name))}")
    if code == 22:
        return ("RequestNodeNotFoundError",
                "Request targets non-existent node " + _q(name(err.node_name)))
    raise InternalFault("unknown engine error code " + str(code))


_UNDO = (("UndoStateMismatchError", "State mismatch: "),
         ("UndoNotFoundError", "Entity not found: "),
         ("UndoNotUndoableError", "Action not undoable: "),
         ("UndoInternalError", "Internal error: "))


def _undo_error(err):
    if err.kind >= len(_UNDO):
        return InternalFault("unknown undo error kind")
    cls, prefix = _UNDO[err.kind]
    return EXCEPTIONS[cls](prefix + _text(err.message))


# -- Interrupts ------------------------------------------------------------------------

# The engine asks before every step whether to stop. Asking runs Python code,
# where the interpreter delivers pending signals: a KeyboardInterrupt (or
# whatever a handler raises) escapes the check, is kept for the thread that
# runs the simulation, and stops the run with the completed steps kept.
_pending = threading.local()


def _interrupt_check(context):
    # Asked before the first step (and then about once a millisecond): from
    # here on the run may have changed the state.
    _pending.ran = True
    return 0


def _interrupt_raised(exc_type, exc_value, tb):
    _pending.exc = exc_value if exc_value is not None else exc_type()


_interrupt = ffi.callback("vx_interrupt_fn", _interrupt_check, error=1,
                          onerror=_interrupt_raised)


# -- Method descriptors -----------------------------------------------------------------

# A method shown as the module's methods are: reached through the class, it
# names its class and checks the instance it is given.
class _Method:

    def __init__(self, func, name, text_signature, doc):
        self._func = func
        self.__name__ = name
        self.__qualname__ = "NetSim." + name
        self.__doc__ = doc
        self.__text_signature__ = text_signature
        self.__signature__ = signature_of(text_signature)
        func.__name__ = name
        func.__qualname__ = "NetSim." + name
        func.__doc__ = doc
        func.__module__ = MODULE
        func.__signature__ = signature_of(text_signature)
        func.__text_signature__ = text_signature

    @property
    def __objclass__(self):
        return NetSim

    def _check(self, obj):
        if not is_a(obj, NetSim):
            raise TypeError(f"descriptor '{self.__name__}' for 'NetSim' objects doesn't apply "
                            f"to a '{type_name(obj)}' object")

    def __get__(self, obj, cls=None):
        if obj is None:
            return self
        self._check(obj)
        return _bind(self._func, obj)

    def __call__(self, *args, **kwargs):
        if not args:
            raise TypeError(f"unbound method {self.__qualname__}() needs an argument")
        self._check(args[0])
        return self._func(*args, **kwargs)

    def __repr__(self):
        return f"<method '{self.__name__}' of 'NetSim' objects>"


def _bind(func, obj):
    return _MethodType(func, obj)


_MethodType = type(_Method._check.__get__(0))


def _sim_method(text_signature, doc):
    def apply(func):
        return _Method(func, func.__name__, text_signature, doc)
    return apply


# -- NetSim ---------------------------------------------------------------------------------

class _Guard:
    """A simulation's lock and borrow count: ``with guard:`` is one call that
    changes the simulation, ``with guard.reading:`` one that reads it.

    The lock makes calls from other threads wait their turn; the count
    refuses re-entry from this thread (readers may nest, a writer may not),
    with the module's words. One object per simulation, entered without
    allocating: the JIT compiles a ``with`` on it to the lock calls and two
    field writes."""
    __slots__ = ("lock", "borrow", "reading")

    def __init__(self):
        self.lock = threading.RLock()
        self.borrow = 0  # readers in progress, or -1 while one call changes it
        self.reading = _Reading(self)

    def __enter__(self):
        self.lock.acquire()
        if self.borrow:
            self.lock.release()
            raise RuntimeError("Already borrowed")
        self.borrow = -1

    def __exit__(self, exc_type, exc, tb):
        self.borrow = 0
        self.lock.release()


class _Reading:
    __slots__ = ("guard",)

    def __init__(self, guard):
        self.guard = guard

    def __enter__(self):
        g = self.guard
        g.lock.acquire()
        if g.borrow < 0:
            g.lock.release()
            raise RuntimeError("Already mutably borrowed")
        g.borrow += 1

    def __exit__(self, exc_type, exc, tb):
        g = self.guard
        g.borrow -= 1
        g.lock.release()


# What a simulation holds outside the heap, about: per node and per edge of
# its graph, and for its buffers.
_SIM_BYTES_PER_ELEMENT = 128
_SIM_BYTES = 64 * 1024


class NetSim(Frozen, metaclass=FrozenType):
    "The runtime state of a flow-based network."
    __slots__ = ("_sim", "_res", "_view", "_graph", "_guard", "_act", "_loc", "_id", "_count",
                 "_reader", "_writer", "_shown")
    __module__ = MODULE

    def __new__(cls, *args, **kwargs):
        if kwargs or len(args) != 1:
            args = take("NetSim", ("graph",), 1, args, kwargs)
        graph = args[0]
        from ._graphs import Graph
        if type(graph) is not Graph:
            raise arg_type_error("graph", "Graph", graph)
        res = lib.vx_result_new()
        if res == ffi.NULL:
            raise MemoryError()
        res = ffi.gc(res, lib.vx_result_free)
        out = ffi.new("vx_sim**")
        status = lib.vx_sim_new(graph._handle, out, res)
        view = lib.vx_result_view(res)
        if status != _OK:
            raise _fault(view)
        # The size tells a moving collector (PyPy's) roughly what the
        # simulation holds outside its heap: the engine's tables, the name
        # table and the result buffer. Without it PyPy sees a few small
        # objects per simulation, and a loop that makes many simulations
        # grows until the next major collection, which may never come.
        handle = graph._handle
        elements = (lib.vx_graph_count(handle, lib.VX_GRAPH_NODES)
                    + lib.vx_graph_count(handle, lib.VX_GRAPH_EDGES))
        size = _SIM_BYTES_PER_ELEMENT * elements + _SIM_BYTES
        sim = ffi.gc(out[0], lib.vx_sim_free, size)
        self = new(cls)
        _oset(self, "_sim", sim)
        _oset(self, "_res", res)
        _oset(self, "_view", view)
        _oset(self, "_graph", graph)
        _oset(self, "_guard", _Guard())
        _oset(self, "_act", ffi.new("vx_action*"))
        _oset(self, "_loc", ffi.new("vx_location*"))
        _oset(self, "_id", ffi.new("vx_id*"))
        _oset(self, "_count", ffi.new("uint64_t*"))
        block = ffi.new("const char**")
        size = ffi.new("size_t*")
        lib.vx_sim_names(self._sim, block, size)
        reader = Reader(block[0], size[0])
        _oset(self, "_reader", reader)
        _oset(self, "_writer", Writer())
        _oset(self, "_shown", f"Net(graph={graph!r})")
        return self

    # ---- actions ----

    @_sim_method("($self, action)", "Perform an action on the network.\n"
                 "Returns (response_data, events) tuple on success.\n"
                 "Raises an exception on error.")
    def do_action(self, *args, **kwargs):
        if kwargs or len(args) != 1:
            args = take("do_action", ("action",), 1, args, kwargs)
        action = args[0]
        with self._guard:
            if type(action) is not NetAction:
                raise arg_type_error("action", "NetAction", action)
            status = self._do(action)
            view = self._view
            reader = self._reader
            if status == _OK:
                return response(reader, view), reader.events(view)
            raise self._failure(status, view, action._kind == RUN_STEP)

    def _do(self, action):
        act = self._act
        writer = self._writer
        try:
            writer.action(act, action)
            return lib.vx_sim_do(self._sim, act, self._res)
        finally:
            writer.done()

    def _failure(self, status, view, is_step):
        if status != _REFUSED:
            return _fault(view)
        cls, message = _action_error(self._reader, view.error)
        exc = EXCEPTIONS[cls](message)
        if is_step or view.event_count:
            # A step can fail after changing the state: the changes come
            # with the exception so that the caller can still undo them.
            exc.events = self._reader.events(view)
        return exc

    @_sim_method("($self)", "Check if the network is blocked (no progress can be made).")
    def is_blocked(self, *args, **kwargs):
        if args or kwargs:
            method_args(NetSim, "is_blocked", self, args, kwargs)
        with self._guard.reading:
            return lib.vx_sim_is_blocked(self._sim) != 0

    @_sim_method("($self)", "Run the network until blocked, returning all events.")
    def run_until_blocked(self, *args, **kwargs):
        if args or kwargs:
            method_args(NetSim, "run_until_blocked", self, args, kwargs)
        with self._guard:
            _pending.ran = False
            late = None
            try:
                lib.vx_sim_run_until_blocked(self._sim, _interrupt, ffi.NULL, self._res)
            except BaseException as exc:  # noqa: B036 - raised again below
                # A signal handler raised as the call returned. If a step
                # ran, the run is done and its events go with the exception.
                if not _pending.ran:
                    raise
                late = exc
            view = self._view
            status = view.status
            # Read to the end even if a signal handler raises meanwhile: losing
            # the events of a finished run would lose track of the state. (No
            # call stands between the run and this loop: a handler could run
            # on entering one.)
            recs = view.events
            n = view.event_count
            event = self._reader.event
            events = []
            while True:
                try:
                    for i in range(len(events), n):
                        events.append(event(recs[i]))
                    break
                except BaseException as exc:  # noqa: B036 - raised again below
                    if late is None:
                        late = exc
            if status == _OK:
                if late is None:
                    return events
                exc = late
            elif status == _INTERRUPTED:
                exc = getattr(_pending, "exc", None)
                _pending.exc = None
                if exc is None:
                    raise InternalFault("the run stopped with no interrupt pending")
            else:
                raise _fault(view)
            # The steps that completed are kept by the engine: their events
            # go with the exception, so they can be read and undone.
            try:
                exc.events = events
            except AttributeError:
                pass  # an exception that takes no attributes still propagates
            raise exc

    @_sim_method("($self)", "Run one step of automatic packet flow.\n\n"
                 "Convenience method equivalent to `do_action(NetAction.run_step())`.\n\n"
                 "Returns:\n"
                 "    A tuple of (made_progress, events) where made_progress indicates\n"
                 "    whether any packets were moved.")
    def run_step(self, *args, **kwargs):
        if args or kwargs:
            method_args(NetSim, "run_step", self, args, kwargs)
        with self._guard:
            act = self._act
            act.kind = RUN_STEP
            status = lib.vx_sim_do(self._sim, act, self._res)
            view = self._view
            if status == _OK:
                if view.response != 1:
                    raise InternalFault("run step answered without a step result")
                return view.made_progress != 0, self._reader.events(view)
            raise self._failure(status, view, True)

    @_sim_method("($self, action, events)", "Undo a previously executed action.\n\n"
                 "Args:\n"
                 "    action: The original action that was executed\n"
                 "    events: The events that were produced by the action\n\n"
                 "Raises:\n"
                 "    UndoError: If the undo operation fails")
    def undo_action(self, *args, **kwargs):
        args = take("undo_action", ("action", "events"), 2, args, kwargs)
        action, events = args
        with self._guard:
            if not is_a(action, NetAction):
                raise arg_type_error("action", "NetAction", action)
            if not is_a(events, list):
                raise arg_type_error("events", "list", events)
            writer = self._writer
            try:
                act = self._act
                writer.action(act, action)
                # Every event is checked before the engine runs, so that a bad
                # element leaves the simulation as it was.
                checked = []
                i = 0
                while i < list.__len__(events):  # the items, whatever a subclass says
                    checked.append(event_arg(list.__getitem__(events, i)))
                    i += 1
                n = len(checked)
                recs = ffi.new("vx_event[]", n) if n else ffi.NULL
                for i in range(n):
                    writer.event(recs[i], checked[i])
                status = lib.vx_sim_undo(self._sim, act, recs, n, self._res)
                del recs  # used after the call, so that it lives through it on PyPy too
            finally:
                writer.done()
            if status == _OK:
                return None
            view = self._view
            if status == _REFUSED:
                raise _undo_error(view.undo_error)
            raise _fault(view)

    # ---- queries ----

    @_sim_method("($self, location)", "Get the number of packets at a location.")
    def packet_count_at(self, *args, **kwargs):
        args = take("packet_count_at", ("location",), 1, args, kwargs)
        with self._guard.reading:
            count = self._count
            self._check(self._at(lib.vx_sim_packet_count_at, args[0], count))
            return int(count[0])

    @_sim_method("($self, location)", "Get all packet IDs at a location.")
    def get_packets_at_location(self, *args, **kwargs):
        args = take("get_packets_at_location", ("location",), 1, args, kwargs)
        with self._guard.reading:
            self._check(self._at(lib.vx_sim_packets_at, args[0]))
            return self._ulid_list()

    @_sim_method("($self, epoch_id)", "Get an epoch by ID.")
    def get_epoch(self, *args, **kwargs):
        args = take("get_epoch", ("epoch_id",), 1, args, kwargs)
        with self._guard.reading:
            view = self._found(lib.vx_sim_get_epoch_p, args[0])
            return None if view is None else self._reader.epoch(view.epoch)

    @_sim_method("($self)", "Get all startable epoch IDs.")
    def get_startable_epochs(self, *args, **kwargs):
        if args or kwargs:
            method_args(NetSim, "get_startable_epochs", self, args, kwargs)
        with self._guard.reading:
            self._check(lib.vx_sim_startable_epochs(self._sim, self._res))
            return self._ulid_list()

    @_sim_method("($self, packet_id)", "Get a packet by ID.")
    def get_packet(self, *args, **kwargs):
        args = take("get_packet", ("packet_id",), 1, args, kwargs)
        with self._guard.reading:
            view = self._found(lib.vx_sim_get_packet_p, args[0])
            if view is None:
                return None
            reader = self._reader
            return _packet(reader.id(self._id), reader.location(view.location))

    @property
    def graph(self):
        "Get the underlying graph."
        with self._guard.reading:
            return _copy_graph(self._graph)

    def _check(self, status):
        """The view of a query's answer; the engine's fault raised."""
        view = self._view
        if status != _OK:
            raise _fault(view)
        return view

    def _found(self, query, ident):
        """The view of a by-id query's answer; None when nothing has the id.
        The id stays in ``self._id`` for the caller to read back."""
        rid = self._id
        self._writer.id(rid, ident)
        view = self._check(query(self._sim, rid, self._res))
        return view if view.found else None

    def _at(self, query, location, *more):
        """Runs ``query`` on the location record written for ``location``."""
        if type(location) is not PacketLocation:
            raise arg_type_error("location", "PacketLocation", location)
        writer = self._writer
        try:
            writer.location(self._loc, location)
            return query(self._sim, self._loc, *more, self._res)
        finally:
            writer.done()

    def _ulid_list(self):
        view = self._view
        ids = view.ids
        ident = self._reader.id
        texts = [ident(ids[i]) for i in range(view.id_count)]
        # The ulid package's classes are Python code: it runs while this call
        # still reads the simulation, so it may read it but not change it.
        import ulid
        from_str = ulid.ULID.from_str
        return [from_str(t) for t in texts]

    def __repr__(self):
        with self._guard.reading:
            return self._shown

    def __reduce__(self, *args, **kwargs):
        raise TypeError("cannot pickle 'NetSim' object: pickle its graph (sim.graph) and replay "
                        "its actions on NetSim(graph) instead")


finish_class(NetSim, "(graph)")


def _copy_graph(graph):
    # A graph cannot change: a copy shares everything the original holds.
    g = new(type(graph))
    for name in type(graph).__slots__:
        try:
            _oset(g, name, object.__getattribute__(graph, name))
        except AttributeError:
            pass
    return g
