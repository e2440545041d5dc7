"""Simulation-side value classes that need no engine."""

from ._enum import Enumeration, make_members, value_of
from ._graph import Edge, edge as _edge
from ._ids import python_to_text, str_to_ulid, ulid_to_python
from ._support import (
    MODULE, Frozen, FrozenType, arg_type_error, finish_class, is_a, method, method_args, new,
    no_args, quoted, sequence_arg, str_arg, take, _oset)


class EpochState(Enumeration):
    "The lifecycle state of an epoch."
    __slots__ = ()
    __module__ = MODULE


make_members(EpochState, ("Startable", "Running", "Finished"))
finish_class(EpochState)


# -- PacketLocation ------------------------------------------------------------

# Location kinds, in the engine's order.
NODE, INPUT_PORT, OUTPUT_PORT, EDGE, OUTSIDE_NET = range(5)
_LOCATION_KINDS = ("Node", "InputPort", "OutputPort", "Edge", "OutsideNet")


def location(kind, a=None, b=None):
    """From engine data. Node: a = epoch id; InputPort: a = node name,
    b = port name; OutputPort: a = epoch id, b = port name; Edge: a = Edge.
    Epoch ids are kept as their canonical text, checked when made: what
    getters and reprs show, and cheap to hand to the engine."""
    loc = new(PacketLocation)
    _oset(loc, "_kind", kind)
    _oset(loc, "_a", a)
    _oset(loc, "_b", b)
    return loc


class PacketLocation(Frozen, metaclass=FrozenType):
    "Where a packet is located in the network."
    __slots__ = ("_kind", "_a", "_b")
    __module__ = MODULE

    @staticmethod
    @method("(epoch_id)", "Create a Node location (inside an epoch).")
    def node(*args, **kwargs):
        if kwargs or len(args) != 1:
            args = take("node", ("epoch_id",), 1, args, kwargs)
        return location(NODE, python_to_text(args[0]))

    @staticmethod
    @method("(node_name, port_name)", "Create an InputPort location.")
    def input_port(*args, **kwargs):
        if kwargs or len(args) != 2:
            args = take("input_port", ("node_name", "port_name"), 2, args, kwargs)
        return location(INPUT_PORT, str_arg("node_name", args[0]),
                        str_arg("port_name", args[1]))

    @staticmethod
    @method("(epoch_id, port_name)", "Create an OutputPort location.")
    def output_port(*args, **kwargs):
        if kwargs or len(args) != 2:
            args = take("output_port", ("epoch_id", "port_name"), 2, args, kwargs)
        epoch = python_to_text(args[0])
        return location(OUTPUT_PORT, epoch, str_arg("port_name", args[1]))

    @staticmethod
    @method("(edge)", "Create an Edge location.")
    def edge(*args, **kwargs):
        if kwargs or len(args) != 1:
            args = take("edge", ("edge",), 1, args, kwargs)
        e = args[0]
        if not is_a(e, Edge):
            raise arg_type_error("edge", "Edge", e)
        return location(EDGE, _edge(e._source, e._target))

    @staticmethod
    @method("()", "Create an OutsideNet location.")
    def outside_net(*args, **kwargs):
        if args or kwargs:
            no_args("outside_net", args, kwargs)
        return location(OUTSIDE_NET)

    @property
    def kind(self):
        "Get the location kind."
        return _LOCATION_KINDS[self._kind]

    @property
    def node_name(self):
        "Get the node name (for InputPort locations)."
        return self._a if self._kind == INPUT_PORT else None

    @property
    def port_name(self):
        "Get the port name (for InputPort and OutputPort locations)."
        k = self._kind
        return self._b if k == INPUT_PORT or k == OUTPUT_PORT else None

    @property
    def epoch_id(self):
        "Get the epoch ID (for Node and OutputPort locations)."
        k = self._kind
        return self._a if k == NODE or k == OUTPUT_PORT else None

    @method("($self)", "Get the edge (for Edge locations).")
    def get_edge(self, *args, **kwargs):
        if args or kwargs or type(self) is not PacketLocation:
            method_args(PacketLocation, "get_edge", self, args, kwargs)
        if self._kind != EDGE:
            return None
        e = self._a
        return _edge(e._source, e._target)

    def __repr__(self):
        k = self._kind
        if k == NODE:
            return f"PacketLocation.node('{self._a}')"
        if k == INPUT_PORT:
            return f"PacketLocation.input_port({quoted(self._a)}, {quoted(self._b)})"
        if k == OUTPUT_PORT:
            return f"PacketLocation.output_port('{self._a}', {quoted(self._b)})"
        if k == EDGE:
            return f"PacketLocation.edge({self._a})"
        return "PacketLocation.outside_net()"

    def __reduce__(self, *args, **kwargs):
        if args or kwargs or type(self) is not PacketLocation:
            method_args(PacketLocation, "__reduce__", self, args, kwargs)
        k = self._kind
        if k == NODE:
            return PacketLocation.node, (self._a,)
        if k == INPUT_PORT:
            return PacketLocation.input_port, (self._a, self._b)
        if k == OUTPUT_PORT:
            return PacketLocation.output_port, (self._a, self._b)
        if k == EDGE:
            e = self._a
            return PacketLocation.edge, (_edge(e._source, e._target),)
        return PacketLocation.outside_net, ()


finish_class(PacketLocation)


def copy_location(loc):
    return location(loc._kind, loc._a, loc._b)


# -- Salvo ----------------------------------------------------------------------

_PAIR = "a tuple (port_name, packet_id)"


class Salvo(Frozen, metaclass=FrozenType):
    "A collection of packets entering or exiting a node."
    __slots__ = ("_condition", "_packets")
    __module__ = MODULE

    def __new__(cls, *args, **kwargs):
        if kwargs or len(args) != 2:
            args = take("Salvo", ("salvo_condition", "packets"), 2, args, kwargs)
        condition = str_arg("salvo_condition", args[0])
        packets = []
        for pair in sequence_arg("packets", args[1]):
            # A tuple subclass is read by its items, whatever it says of itself.
            if not is_a(pair, tuple) or tuple.__len__(pair) != 2:
                raise arg_type_error("packets", _PAIR, pair)
            port, ident = tuple.__getitem__(pair, 0), tuple.__getitem__(pair, 1)
            packets.append((str_arg("packets", port), str_arg("packets", ident)))
        return salvo(condition, tuple(packets))

    @property
    def salvo_condition(self):
        return self._condition

    @property
    def packets(self):
        return list(self._packets)

    def __repr__(self):
        shown = ", ".join([f"({quoted(p)}, {quoted(i)})" for p, i in self._packets])
        return f"Salvo(salvo_condition={quoted(self._condition)}, packets=[{shown}])"

    def __reduce__(self, *args, **kwargs):
        if args or kwargs or type(self) is not Salvo:
            method_args(Salvo, "__reduce__", self, args, kwargs)
        return Salvo, (self._condition, list(self._packets))


finish_class(Salvo, "(salvo_condition, packets)")


def salvo(condition, packets):
    """From engine data: a condition name and a tuple of (port, id text) pairs."""
    s = new(Salvo)
    _oset(s, "_condition", condition)
    _oset(s, "_packets", packets)
    return s


# -- Packets, epochs and orphans: made from engine data only -------------------

class Packet(Frozen, metaclass=FrozenType):
    "A packet in the network."
    __slots__ = ("_id", "_location")
    __module__ = MODULE

    @property
    def id(self):
        return self._id

    @property
    def location(self):
        return copy_location(self._location)

    @method("($self)")
    def get_id(self, *args, **kwargs):
        if args or kwargs or type(self) is not Packet:
            method_args(Packet, "get_id", self, args, kwargs)
        return ulid_to_python(str_to_ulid(self._id))

    def __repr__(self):
        return f"Packet(id='{self._id}', location={self._location!r})"


finish_class(Packet)


def packet(id_text, loc):
    """From engine data: the id's text and a PacketLocation."""
    p = new(Packet)
    _oset(p, "_id", id_text)
    _oset(p, "_location", loc)
    return p


class OrphanedPacketInfo(Frozen, metaclass=FrozenType):
    "Information about a packet sent to an unconnected output port."
    __slots__ = ("_packet_id", "_from_port", "_condition")
    __module__ = MODULE

    @property
    def packet_id(self):
        return self._packet_id

    @property
    def from_port(self):
        return self._from_port

    @property
    def salvo_condition(self):
        return self._condition

    def __repr__(self):
        return (f"OrphanedPacketInfo(packet_id='{self._packet_id}', "
                f"from_port={quoted(self._from_port)}, "
                f"salvo_condition={quoted(self._condition)})")


finish_class(OrphanedPacketInfo)


def orphan(packet_id, from_port, condition):
    o = new(OrphanedPacketInfo)
    _oset(o, "_packet_id", packet_id)
    _oset(o, "_from_port", from_port)
    _oset(o, "_condition", condition)
    return o


_STATE_NAMES = ("Startable", "Running", "Finished")


class Epoch(Frozen, metaclass=FrozenType):
    "An execution instance of a node."
    __slots__ = ("_id", "_node", "_in_salvo", "_out_salvos", "_state", "_orphans")
    __module__ = MODULE

    @property
    def id(self):
        return self._id

    @property
    def node_name(self):
        return self._node

    @property
    def in_salvo(self):
        return salvo(*self._in_salvo)

    # Without a loop for the usual sizes, so that PyPy's JIT inlines them
    # (a loop entered a few times per call is compiled apart, with a frame).
    @property
    def out_salvos(self):
        outs = self._out_salvos
        if len(outs) == 1:
            return [salvo(*outs[0])]
        return [salvo(*s) for s in outs] if outs else []

    @property
    def state(self):
        return value_of(EpochState, self._state)

    @property
    def orphaned_packets(self):
        return [orphan(*o) for o in self._orphans] if self._orphans else []

    @method("($self)")
    def get_id(self, *args, **kwargs):
        if args or kwargs or type(self) is not Epoch:
            method_args(Epoch, "get_id", self, args, kwargs)
        return ulid_to_python(str_to_ulid(self._id))

    @method("($self)")
    def start_time(self, *args, **kwargs):
        if args or kwargs or type(self) is not Epoch:
            method_args(Epoch, "start_time", self, args, kwargs)
        # The identifier's timestamp part is when the epoch was created.
        return str_to_ulid(self._id) >> 80

    def __repr__(self):
        return (f"Epoch(id='{self._id}', node_name={quoted(self._node)}, "
                f"state=EpochState.{_STATE_NAMES[self._state]})")


finish_class(Epoch)


def epoch(id_text, node_name, in_salvo, out_salvos, state, orphans):
    """From engine data. Salvos as (condition, ((port, id text), ...)) pairs,
    the state as its number, orphans as (packet id, from port, condition)."""
    e = new(Epoch)
    _oset(e, "_id", id_text)
    _oset(e, "_node", node_name)
    _oset(e, "_in_salvo", in_salvo)
    _oset(e, "_out_salvos", out_salvos)
    _oset(e, "_state", state)
    _oset(e, "_orphans", orphans)
    return e


# -- NetAction ------------------------------------------------------------------

# Action kinds, in the engine's order.
(RUN_STEP, CREATE_PACKET, CONSUME_PACKET, DESTROY_PACKET, START_EPOCH, FINISH_EPOCH,
 CANCEL_EPOCH, CREATE_EPOCH, LOAD_PACKET_INTO_OUTPUT_PORT, SEND_OUTPUT_SALVO,
 TRANSPORT_PACKET_TO_LOCATION, CREATE_REQUEST) = range(12)
_ACTION_NAMES = (
    "run_step", "create_packet", "consume_packet", "destroy_packet", "start_epoch",
    "finish_epoch", "cancel_epoch", "create_epoch", "load_packet_into_output_port",
    "send_output_salvo", "transport_packet_to_location", "create_request")


def action(kind, a=None, b=None):
    """An action of ``kind`` with its fields: identifiers as text, names as
    str, a Salvo or PacketLocation held as given (neither can change)."""
    x = new(NetAction)
    _oset(x, "_kind", kind)
    _oset(x, "_a", a)
    _oset(x, "_b", b)
    return x


def _id_text(obj):
    # Identifiers are kept as given and checked when the action is performed.
    if type(obj) is str:
        return obj
    return str.__str__(obj) if is_a(obj, str) else str(obj)


def _one_id_action(kind, name, param, doc):
    @method(f"({param})", doc)
    def make(*args, **kwargs):
        if kwargs or len(args) != 1:
            args = take(name, (param,), 1, args, kwargs)
        return action(kind, _id_text(args[0]))
    make.__name__ = name
    make.__qualname__ = "NetAction." + name
    return staticmethod(make)


class NetAction(Frozen, metaclass=FrozenType):
    "An action to perform on the network."
    __slots__ = ("_kind", "_a", "_b")
    __module__ = MODULE

    @staticmethod
    @method("()", "Execute one step of automatic packet flow.\n"
                  "Returns whether progress was made (i.e., not blocked).")
    def run_step(*args, **kwargs):
        if args or kwargs:
            no_args("run_step", args, kwargs)
        return action(RUN_STEP)

    @staticmethod
    @method("(epoch_id=None)", "Create a new packet, optionally inside an epoch.")
    def create_packet(*args, **kwargs):
        if kwargs or len(args) > 1:
            args = take("create_packet", ("epoch_id",), 0, args, kwargs)
        epoch = args[0] if args else None
        return action(CREATE_PACKET, None if epoch is None else _id_text(epoch))

    consume_packet = _one_id_action(CONSUME_PACKET, "consume_packet", "packet_id",
                                    "Consume a packet (normal removal from the network).")
    destroy_packet = _one_id_action(
        DESTROY_PACKET, "destroy_packet", "packet_id",
        "Destroy a packet (abnormal removal, e.g., due to error or cancellation).")
    start_epoch = _one_id_action(START_EPOCH, "start_epoch", "epoch_id",
                                 "Transition a startable epoch to running.")
    finish_epoch = _one_id_action(FINISH_EPOCH, "finish_epoch", "epoch_id",
                                  "Complete a running epoch.")
    cancel_epoch = _one_id_action(CANCEL_EPOCH, "cancel_epoch", "epoch_id",
                                  "Cancel an epoch and destroy packets.")

    @staticmethod
    @method("(node_name, salvo)", "Manually create an epoch with specified packets.\n"
            "The epoch is created in Startable state - call start_epoch to begin execution.")
    def create_epoch(*args, **kwargs):
        if kwargs or len(args) != 2:
            args = take("create_epoch", ("node_name", "salvo"), 2, args, kwargs)
        name = str_arg("node_name", args[0])
        s = args[1]
        if not is_a(s, Salvo):
            raise arg_type_error("salvo", "Salvo", s)
        return action(CREATE_EPOCH, name, salvo(s._condition, s._packets))

    @staticmethod
    @method("(packet_id, port_name)", "Move a packet to an output port.")
    def load_packet_into_output_port(*args, **kwargs):
        if kwargs or len(args) != 2:
            args = take("load_packet_into_output_port", ("packet_id", "port_name"), 2, args,
                        kwargs)
        packet = _id_text(args[0])
        return action(LOAD_PACKET_INTO_OUTPUT_PORT, packet, str_arg("port_name", args[1]))

    @staticmethod
    @method("(epoch_id, salvo_condition_name)", "Send packets from output ports onto edges.")
    def send_output_salvo(*args, **kwargs):
        if kwargs or len(args) != 2:
            args = take("send_output_salvo", ("epoch_id", "salvo_condition_name"), 2, args,
                        kwargs)
        epoch = _id_text(args[0])
        return action(SEND_OUTPUT_SALVO, epoch, str_arg("salvo_condition_name", args[1]))

    @staticmethod
    @method("(packet_id, destination)", "Transport a packet to a new location.")
    def transport_packet_to_location(*args, **kwargs):
        if kwargs or len(args) != 2:
            args = take("transport_packet_to_location", ("packet_id", "destination"), 2, args,
                        kwargs)
        packet = _id_text(args[0])
        destination = args[1]
        if not is_a(destination, PacketLocation):
            raise arg_type_error("destination", "PacketLocation", destination)
        return action(TRANSPORT_PACKET_TO_LOCATION, packet, copy_location(destination))

    @staticmethod
    @method("(node_name, label)", "Create a packet request targeting a node.\n"
                                  "The request will be resolved during the next RunStep.")
    def create_request(*args, **kwargs):
        if kwargs or len(args) != 2:
            args = take("create_request", ("node_name", "label"), 2, args, kwargs)
        name = str_arg("node_name", args[0])
        return action(CREATE_REQUEST, name, str_arg("label", args[1]))

    def __repr__(self):
        k, a, b = self._kind, self._a, self._b
        name = _ACTION_NAMES[k]
        if k == RUN_STEP or (k == CREATE_PACKET and a is None):
            return f"NetAction.{name}()"
        if k <= CANCEL_EPOCH:
            return f"NetAction.{name}('{a}')"
        if k == CREATE_EPOCH:
            return f"NetAction.create_epoch({quoted(a)}, ...)"
        if k == LOAD_PACKET_INTO_OUTPUT_PORT or k == SEND_OUTPUT_SALVO:
            return f"NetAction.{name}('{a}', {quoted(b)})"
        if k == TRANSPORT_PACKET_TO_LOCATION:
            return f"NetAction.{name}('{a}', {b!r})"
        return f"NetAction.create_request({quoted(a)}, {quoted(b)})"

    def __reduce__(self, *args, **kwargs):
        if args or kwargs or type(self) is not NetAction:
            method_args(NetAction, "__reduce__", self, args, kwargs)
        k, a, b = self._kind, self._a, self._b
        make = getattr(NetAction, _ACTION_NAMES[k])
        if k == RUN_STEP or (k == CREATE_PACKET and a is None):
            return make, ()
        if k <= CANCEL_EPOCH:
            return make, (a,)
        if k == CREATE_EPOCH:
            return make, (a, salvo(b._condition, b._packets))
        if k == TRANSPORT_PACKET_TO_LOCATION:
            return make, (a, copy_location(b))
        return make, (a, b)


finish_class(NetAction)
