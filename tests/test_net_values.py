"""Simulation value classes: locations, actions, events, records and response data."""

import inspect
import pickle
import sys
import time

import pytest
import ulid

import vornix_sim as vs
from vornix_sim import (
    Edge,
    Epoch,
    EpochState,
    Graph,
    MaxSalvos,
    NetAction,
    NetActionResponseData as Data,
    NetEvent,
    NetSim,
    Node,
    OrphanedPacketInfo,
    Packet,
    PacketLocation as Loc,
    Port,
    PortRef,
    PortState,
    PortType,
    Salvo,
    SalvoCondition,
    SalvoConditionTerm as T,
)

from interpreter import PYPY, needs_refcounts

EID = "01ARZ3NDEKTSV4RRFFQ69G5FAV"
AB = Edge(PortRef("A", PortType.Output, "out"), PortRef("B", PortType.Input, "in"))
# A name that needs every kind of escape in the quoted form.
ODD = 'q"b\\t\tn\n\x01\u0301'
ODD_Q = '"q\\"b\\\\t\\tn\\n\\u{1}\\u{301}"'


class StrRaises:
    def __str__(self):
        raise KeyError("no text")


class StrIs:
    def __init__(self, text):
        self.text = text

    def __str__(self):
        return self.text


def world():
    """A feeds B over one edge; A also has an unconnected port, so sending
    from it orphans packets."""
    a = Node("A", out_ports={"out": Port(), "loose": Port()},
             out_salvo_conditions={"s": SalvoCondition(MaxSalvos.Infinite, ["out", "loose"],
                                                       T.true_())})
    b = Node("B", in_ports={"in": Port()},
             in_salvo_conditions={"go": SalvoCondition(MaxSalvos.finite(1), ["in"],
                                                       T.port("in", PortState.NonEmpty))})
    return NetSim(Graph([a, b], [AB], dependency_edges=[AB]))


def running_epoch(sim, node="A"):
    data, _ = sim.do_action(NetAction.create_epoch(node, Salvo("manual", [])))
    sim.do_action(NetAction.start_epoch(data.epoch.id))
    return data.epoch.id


def every_event_kind():
    """One event of each kind the world produces, keyed by kind."""
    sim = world()
    seen = {}

    def do(action):
        data, events = sim.do_action(action)
        for e in events:
            seen.setdefault(e.kind, e)
        return data

    eid = do(NetAction.create_epoch("A", Salvo("manual", []))).epoch.id
    do(NetAction.start_epoch(eid))
    p1 = do(NetAction.create_packet(eid)).packet_id
    p2 = do(NetAction.create_packet(eid)).packet_id
    do(NetAction.load_packet_into_output_port(p1, "out"))
    do(NetAction.load_packet_into_output_port(p2, "loose"))
    do(NetAction.send_output_salvo(eid, "s"))
    do(NetAction.finish_epoch(eid))
    for e in sim.run_until_blocked():
        seen.setdefault(e.kind, e)
    do(NetAction.consume_packet(do(NetAction.create_packet()).packet_id))
    do(NetAction.destroy_packet(do(NetAction.create_packet()).packet_id))
    do(NetAction.cancel_epoch(sim.get_startable_epochs()[0]))
    do(NetAction.create_request("B", ODD))
    do(NetAction.run_step())
    return seen


# ---- doc strings and signatures --------------------------------------------

CLASS_DOCS = [
    (Loc, "Where a packet is located in the network.", None),
    (Packet, "A packet in the network.", None),
    (Salvo, "A collection of packets entering or exiting a node.", "(salvo_condition, packets)"),
    (OrphanedPacketInfo, "Information about a packet sent to an unconnected output port.", None),
    (Epoch, "An execution instance of a node.", None),
    (NetAction, "An action to perform on the network.", None),
    (NetEvent, "An event that occurred during a network action.", None),
    (Data, "Response data from a successful action.", None),
]


def name_of(x):
    return getattr(x, "__name__", "")


@pytest.mark.parametrize("cls, doc, signature", CLASS_DOCS, ids=name_of)
def test_class_docs_and_constructors(cls, doc, signature):
    assert cls.__doc__ == doc
    assert cls.__text_signature__ == signature
    if signature is None:
        with pytest.raises(TypeError):
            cls()
        with pytest.raises(TypeError):
            cls.__new__(cls)


METHOD_DOCS = [
    (NetAction.run_step, "()", "Execute one step of automatic packet flow.\n"
     "Returns whether progress was made (i.e., not blocked)."),
    (NetAction.create_packet, "(epoch_id=None)",
     "Create a new packet, optionally inside an epoch."),
    (NetAction.consume_packet, "(packet_id)",
     "Consume a packet (normal removal from the network)."),
    (NetAction.destroy_packet, "(packet_id)",
     "Destroy a packet (abnormal removal, e.g., due to error or cancellation)."),
    (NetAction.start_epoch, "(epoch_id)", "Transition a startable epoch to running."),
    (NetAction.finish_epoch, "(epoch_id)", "Complete a running epoch."),
    (NetAction.cancel_epoch, "(epoch_id)", "Cancel an epoch and destroy packets."),
    (NetAction.create_epoch, "(node_name, salvo)",
     "Manually create an epoch with specified packets.\n"
     "The epoch is created in Startable state - call start_epoch to begin execution."),
    (NetAction.load_packet_into_output_port, "(packet_id, port_name)",
     "Move a packet to an output port."),
    (NetAction.send_output_salvo, "(epoch_id, salvo_condition_name)",
     "Send packets from output ports onto edges."),
    (NetAction.transport_packet_to_location, "(packet_id, destination)",
     "Transport a packet to a new location."),
    (NetAction.create_request, "(node_name, label)",
     "Create a packet request targeting a node.\n"
     "The request will be resolved during the next RunStep."),
    (Loc.node, "(epoch_id)", "Create a Node location (inside an epoch)."),
    (Loc.input_port, "(node_name, port_name)", "Create an InputPort location."),
    (Loc.output_port, "(epoch_id, port_name)", "Create an OutputPort location."),
    (Loc.edge, "(edge)", "Create an Edge location."),
    (Loc.outside_net, "()", "Create an OutsideNet location."),
    (Loc.get_edge, "(self, /)", "Get the edge (for Edge locations)."),
    (Packet.get_id, "(self, /)", None),
    (Epoch.get_id, "(self, /)", None),
    (Epoch.start_time, "(self, /)", None),
]


@pytest.mark.parametrize("fn, signature, doc", METHOD_DOCS, ids=name_of)
def test_method_signatures_and_docs(fn, signature, doc):
    assert str(inspect.signature(fn)) == signature
    assert (fn.__doc__ or None) == doc


def test_getter_docs():
    assert Loc.kind.__doc__ == "Get the location kind."
    assert Loc.node_name.__doc__ == "Get the node name (for InputPort locations)."
    assert Loc.port_name.__doc__ == "Get the port name (for InputPort and OutputPort locations)."
    assert Loc.epoch_id.__doc__ == "Get the epoch ID (for Node and OutputPort locations)."
    assert NetEvent.request_source.__doc__ == (
        'Get the request source (for RequestCreated events).\n'
        'Returns "External", "OnStartup", or "OnNoSalvoTriggered".')
    assert NetEvent.orphaned_port_name.__doc__ == (
        "Get the port name (for PacketOrphaned events - the output port the packet was sent from).")
    for undocumented in ("kind", "timestamp", "packet_id", "epoch_id", "from_location",
                         "to_location", "salvo_condition"):
        assert getattr(NetEvent, undocumented).__doc__ is None
    for cls, names in [(Packet, ["id", "location"]),
                       (Epoch, ["id", "node_name", "in_salvo", "out_salvos", "state",
                                "orphaned_packets"])]:
        assert all(getattr(cls, n).__doc__ is None for n in names)


# ---- PacketLocation -----------------------------------------------------------


LOCATIONS = [
    # make, kind, node_name, port_name, epoch_id, has_edge, repr
    (lambda: Loc.node(EID), "Node", None, None, EID, False, f"PacketLocation.node('{EID}')"),
    (lambda: Loc.input_port("B", ODD), "InputPort", "B", ODD, None, False,
     f'PacketLocation.input_port("B", {ODD_Q})'),
    (lambda: Loc.output_port(ulid.ULID.from_str(EID), "out"), "OutputPort", None, "out", EID,
     False, f"PacketLocation.output_port('{EID}', \"out\")"),
    (lambda: Loc.edge(AB), "Edge", None, None, None, True,
     "PacketLocation.edge(A.out.out -> B.in.in)"),
    (lambda: Loc.outside_net(), "OutsideNet", None, None, None, False,
     "PacketLocation.outside_net()"),
]


@pytest.mark.parametrize("make, kind, node_name, port_name, epoch_id, has_edge, text", LOCATIONS)
def test_location_getters_and_repr(make, kind, node_name, port_name, epoch_id, has_edge, text):
    loc = make()
    assert (loc.kind, loc.node_name, loc.port_name, loc.epoch_id) == (
        kind, node_name, port_name, epoch_id)
    assert repr(loc) == text
    if has_edge:
        assert loc.get_edge() == AB and loc.get_edge() is not loc.get_edge()
    else:
        assert loc.get_edge() is None
    # No equality of its own: two equal locations are still two objects.
    again = make()
    assert loc == loc and loc != again and hash(loc) != hash(again)


def test_location_epoch_ids_are_parsed_at_once():
    assert Loc.node(EID.lower()).epoch_id == EID
    assert type(Loc.node(ulid.ULID.from_str(EID)).epoch_id) is str
    with pytest.raises(ValueError, match="^Invalid ULID: invalid length$"):
        Loc.node("x")
    with pytest.raises(ValueError, match="^Invalid ULID: invalid character$"):
        Loc.node("U" * 26)
    with pytest.raises(ValueError, match="^Invalid ULID: invalid length$"):
        Loc.node(10**100)
    with pytest.raises(ValueError, match="^Invalid ULID: invalid length$"):
        Loc.node("\ud800")
    with pytest.raises(KeyError):
        Loc.node(StrRaises())
    # The identifier is looked at before the port name.
    with pytest.raises(ValueError):
        Loc.output_port("x", 5)
    with pytest.raises(TypeError, match="^argument 'port_name': "):
        Loc.output_port(EID, 5)


@pytest.mark.parametrize("call, text", [
    (lambda: Loc.input_port(1, "in"), "argument 'node_name': "),
    (lambda: Loc.input_port("B", b"in"), "argument 'port_name': "),
    (lambda: Loc.input_port("B", "\udc80"), "argument 'port_name': "),
    (lambda: Loc.edge(PortRef("A", PortType.Output, "out")), "argument 'edge': "),
    (lambda: Loc.node(), "missing required argument 'epoch_id'"),
    (lambda: Loc.outside_net(1), "takes no arguments"),
    (lambda: Loc.input_port(node_name="B", port="in"), "'port' is an invalid keyword"),
])
def test_location_argument_errors(call, text):
    with pytest.raises(TypeError) as info:
        call()
    assert text in str(info.value)


# ---- NetAction ------------------------------------------------------------------

SALVO = Salvo("manual", [])

ACTION_REPRS = [
    (NetAction.run_step(), "NetAction.run_step()"),
    (NetAction.create_packet(), "NetAction.create_packet()"),
    (NetAction.create_packet(None), "NetAction.create_packet()"),
    (NetAction.create_packet(EID), f"NetAction.create_packet('{EID}')"),
    (NetAction.consume_packet(ulid.ULID.from_str(EID)), f"NetAction.consume_packet('{EID}')"),
    (NetAction.destroy_packet("it's"), "NetAction.destroy_packet('it's')"),
    (NetAction.start_epoch(12345), "NetAction.start_epoch('12345')"),
    (NetAction.finish_epoch(StrIs("x y")), "NetAction.finish_epoch('x y')"),
    (NetAction.cancel_epoch(None), "NetAction.cancel_epoch('None')"),
    (NetAction.create_epoch(ODD, SALVO), f"NetAction.create_epoch({ODD_Q}, ...)"),
    (NetAction.load_packet_into_output_port("p", ODD),
     f"NetAction.load_packet_into_output_port('p', {ODD_Q})"),
    (NetAction.send_output_salvo(EID, "out"), f"NetAction.send_output_salvo('{EID}', \"out\")"),
    (NetAction.transport_packet_to_location("p", Loc.input_port("B", "in")),
     "NetAction.transport_packet_to_location('p', PacketLocation.input_port(\"B\", \"in\"))"),
    (NetAction.create_request("A", ODD), f'NetAction.create_request("A", {ODD_Q})'),
    (NetAction.start_epoch("\ud800"), "NetAction.start_epoch('\ud800')"),
]


@pytest.mark.parametrize("action, text", ACTION_REPRS)
def test_action_repr(action, text):
    assert repr(action) == text


def test_action_str_subclass_is_taken_as_its_text():
    class Sneaky(str):
        def __str__(self):
            return "other"
    action = NetAction.start_epoch(Sneaky("mine"))
    assert repr(action) == "NetAction.start_epoch('mine')"
    # The action keeps the text, not the caller's object.
    (arg,) = action.__reduce__()[1]
    assert type(arg) is str and arg == "mine"


BAD_ID_ACTIONS = [
    lambda bad: NetAction.create_packet(bad),
    lambda bad: NetAction.consume_packet(bad),
    lambda bad: NetAction.destroy_packet(bad),
    lambda bad: NetAction.start_epoch(bad),
    lambda bad: NetAction.finish_epoch(bad),
    lambda bad: NetAction.cancel_epoch(bad),
    lambda bad: NetAction.load_packet_into_output_port(bad, "out"),
    lambda bad: NetAction.send_output_salvo(bad, "s"),
    lambda bad: NetAction.transport_packet_to_location(bad, Loc.outside_net()),
]


@pytest.mark.parametrize("make", BAD_ID_ACTIONS)
@pytest.mark.parametrize("bad, reason", [
    ("12345", "invalid length"), ("\ud800" * 26, "invalid length"),
    ("U" * 26, "invalid character"), ("é" * 13, "invalid character"),
])
def test_malformed_ids_fail_only_when_performed(make, bad, reason):
    action = make(bad)  # accepted: nothing is parsed yet
    if "\ud800" not in bad:  # a Salvo takes only text with a UTF-8 form
        salvo = Salvo("s", [("in", EID), ("in", bad)])
        assert salvo.packets[1] == ("in", bad)
        check_fails_when_performed(NetAction.create_epoch("B", salvo), reason)
    check_fails_when_performed(action, reason)


def check_fails_when_performed(action, reason):
    sim = world()
    before = sim.packet_count_at(Loc.outside_net())
    for perform in (lambda: sim.do_action(action), lambda: sim.undo_action(action, [])):
        with pytest.raises(ValueError, match=f"^Invalid ULID: {reason}$"):
            perform()
    assert sim.packet_count_at(Loc.outside_net()) == before


@pytest.mark.parametrize("call, exc, text", [
    (lambda: NetAction.start_epoch(StrRaises()), KeyError, "no text"),
    (lambda: NetAction.create_packet(StrRaises()), KeyError, "no text"),
    # Parameters are handled in signature order: the identifier goes first.
    (lambda: NetAction.load_packet_into_output_port(StrRaises(), 5), KeyError, "no text"),
    (lambda: NetAction.send_output_salvo(EID, 5), TypeError, "argument 'salvo_condition_name': "),
    (lambda: NetAction.transport_packet_to_location(EID, AB), TypeError,
     "argument 'destination': "),
    (lambda: NetAction.create_epoch(1, []), TypeError, "argument 'node_name': "),
    (lambda: NetAction.create_epoch("A", []), TypeError, "argument 'salvo': expected Salvo"),
    (lambda: NetAction.create_request("A", None), TypeError, "argument 'label': "),
    (lambda: NetAction.create_request("\udc80", None), TypeError, "argument 'node_name': "),
    (lambda: NetAction.start_epoch(), TypeError, "missing required argument 'epoch_id'"),
    (lambda: NetAction.run_step(None), TypeError, "takes no arguments"),
    (lambda: NetAction.create_packet(EID, epoch_id=EID), TypeError, "given by name"),
])
def test_action_argument_errors(call, exc, text):
    with pytest.raises(exc) as info:
        call()
    assert text in str(info.value)


def test_actions_compare_by_identity_and_take_copies():
    a, b = NetAction.run_step(), NetAction.run_step()
    assert a == a and a != b and len({a, b}) == 2
    loc = Loc.input_port("B", "in")
    action = NetAction.transport_packet_to_location("p", loc)
    del loc
    assert repr(action).endswith('PacketLocation.input_port("B", "in"))')


# ---- Salvo, Packet, Epoch, OrphanedPacketInfo -----------------------------------------


class PairTuple(tuple):
    # Read by its items, as a tuple: what it says of itself is not asked.
    def __len__(self):
        return 3

    def __getitem__(self, index):
        return "not an item"


def test_salvo_accepts_any_sequence_of_string_pairs():
    for packets in ([("in", "x")], (("in", "x"),), [PairTuple(("in", "x"))]):
        salvo = Salvo("c", packets)
        assert salvo.packets == [("in", "x")]
        assert type(salvo.packets[0]) is tuple
    salvo = Salvo(salvo_condition=ODD, packets=[("in", EID), (ODD, 'i"d')])
    assert salvo.salvo_condition == ODD
    assert repr(salvo) == (f'Salvo(salvo_condition={ODD_Q}, packets=[("in", "{EID}"), '
                           f'({ODD_Q}, "i\\"d")])')
    assert repr(Salvo("c", [])) == 'Salvo(salvo_condition="c", packets=[])'
    assert salvo.packets is not salvo.packets


@pytest.mark.parametrize("salvo_condition, packets, text", [
    (1, [("in", "x")], "argument 'salvo_condition': "),
    ("c", "in", "argument 'packets': expected a sequence"),
    ("c", {"in": "x"}, "argument 'packets': expected a sequence"),
    ("c", iter([("in", "x")]), "argument 'packets': expected a sequence"),
    ("c", [["in", "x"]], "argument 'packets': "),
    ("c", [("in",)], "argument 'packets': "),
    ("c", [("in", "x", "y")], "argument 'packets': "),
    ("c", [("in", 5)], "argument 'packets': expected str, got int"),
    ("c", [(b"in", "x")], "argument 'packets': expected str, got bytes"),
    ("c", [("in", "x"), "in"], "argument 'packets': "),
    ("c", [("in", "\ud800")], "argument 'packets': "),
    # Conversions run in signature order.
    (1, "in", "argument 'salvo_condition': "),
])
def test_salvo_argument_errors(salvo_condition, packets, text):
    with pytest.raises(TypeError) as info:
        Salvo(salvo_condition, packets)
    assert str(info.value).startswith(text)


@needs_refcounts
def test_failed_construction_keeps_reference_counts():
    # Built at run time: a literal would be the constant that the parameter
    # table above shares, whose count other tests' objects move.
    pair = tuple(["in", 5])
    packets = [("in", "x"), pair]
    name = "a fresh name " + str(id(packets))
    before = sys.getrefcount(pair), sys.getrefcount(packets), sys.getrefcount(name)
    for _ in range(100):
        with pytest.raises(TypeError):
            Salvo(name, packets)
        with pytest.raises(TypeError):
            NetAction.create_epoch(name, packets)
        with pytest.raises(TypeError):
            Data.CancelledEpoch(name, packets)
    assert (sys.getrefcount(pair), sys.getrefcount(packets), sys.getrefcount(name)) == before


def test_records_from_a_finished_epoch():
    sim = world()
    eid = running_epoch(sim)
    p_out = sim.do_action(NetAction.create_packet(eid))[0].packet_id
    p_loose = sim.do_action(NetAction.create_packet(eid))[0].packet_id
    sim.do_action(NetAction.load_packet_into_output_port(p_out, "out"))
    sim.do_action(NetAction.load_packet_into_output_port(p_loose, "loose"))

    packet = sim.get_packet(p_out)
    assert packet.id == p_out and type(packet.id) is str
    assert packet.get_id() == ulid.ULID.from_str(p_out)
    assert packet.location.kind == "OutputPort" and packet.location is not packet.location
    assert repr(packet) == (f"Packet(id='{p_out}', location=PacketLocation.output_port("
                            f"'{eid}', \"out\"))")

    sim.do_action(NetAction.send_output_salvo(eid, "s"))
    data, events = sim.do_action(NetAction.finish_epoch(eid))
    epoch = data.epoch
    assert (epoch.id, epoch.node_name, epoch.state) == (eid, "A", EpochState.Finished)
    assert repr(epoch) == f"Epoch(id='{eid}', node_name=\"A\", state=EpochState.Finished)"
    assert epoch.in_salvo.salvo_condition == "manual" and epoch.in_salvo.packets == []
    [sent] = epoch.out_salvos
    assert sent.salvo_condition == "s"
    assert sorted(sent.packets) == sorted([("out", p_out), ("loose", p_loose)])
    [orphan] = epoch.orphaned_packets
    assert (orphan.packet_id, orphan.from_port, orphan.salvo_condition) == (p_loose, "loose", "s")
    assert repr(orphan) == (f"OrphanedPacketInfo(packet_id='{p_loose}', from_port=\"loose\", "
                            'salvo_condition="s")')
    # The event keeps the epoch as it was before finishing.
    assert events[0].epoch.state == EpochState.Running
    assert events[0].epoch_id == events[0].epoch.id == eid
    # A salvo read from an epoch outlives it and behaves as one made by hand.
    del data, epoch
    made = Salvo("s", sent.packets)
    assert repr(sent) == repr(made) and sent.packets is not sent.packets
    assert repr(pickle.loads(pickle.dumps(sent))) == repr(made)


def test_epoch_identifier_and_start_time():
    sim = world()
    before = int(time.time() * 1000)
    data, _ = sim.do_action(NetAction.create_epoch("A", Salvo("manual", [])))
    after = int(time.time() * 1000)
    epoch = data.epoch
    assert before <= epoch.start_time() <= after
    assert epoch.start_time() == epoch.get_id().milliseconds
    assert epoch.get_id() == ulid.ULID.from_str(epoch.id)
    assert epoch.get_id() is not epoch.get_id()


# ---- NetEvent -------------------------------------------------------------------------

GETTERS = ["packet_id", "epoch_id", "epoch", "from_location", "to_location", "from_index",
           "location", "salvo_condition", "node_name", "label", "source_nodes",
           "request_source", "orphaned_port_name"]
APPLIES = {
    "PacketCreated": {"packet_id"},
    "PacketConsumed": {"packet_id", "location"},
    "PacketDestroyed": {"packet_id", "location"},
    "EpochCreated": {"epoch_id"},
    "EpochStarted": {"epoch_id"},
    "EpochFinished": {"epoch_id", "epoch"},
    "EpochCancelled": {"epoch_id", "epoch"},
    "PacketMoved": {"packet_id", "from_location", "to_location", "from_index"},
    "InputSalvoTriggered": {"epoch_id", "salvo_condition"},
    "OutputSalvoTriggered": {"epoch_id", "salvo_condition"},
    "PacketOrphaned": {"packet_id", "epoch_id", "node_name", "orphaned_port_name",
                       "salvo_condition"},
    "RequestCreated": {"node_name", "label", "request_source"},
    "RequestCascadeResolved": {"label", "source_nodes"},
    "RequestEpochCreated": {"epoch_id", "node_name", "label"},
}


@pytest.fixture(scope="module")
def events():
    return every_event_kind()


def test_event_getters_answer_only_for_their_kinds(events):
    assert set(events) == set(APPLIES)
    for kind, event in events.items():
        assert event.kind == kind
        assert type(event.timestamp) is int and event.timestamp > 1_600_000_000_000
        for name in GETTERS:
            value = getattr(event, name)
            assert (value is not None) == (name in APPLIES[kind]), (kind, name)


def id_text(text):
    return type(text) is str and len(text) == 26


def test_event_values_and_reprs(events):
    ts = lambda e: f"NetEvent.{e.kind}(ts={e.timestamp}, "  # noqa: E731
    e = events["PacketCreated"]
    assert id_text(e.packet_id)
    assert repr(e) == ts(e) + f"packet_id='{e.packet_id}')"
    for kind in ("PacketConsumed", "PacketDestroyed"):
        e = events[kind]
        assert repr(e) == ts(e) + f"packet_id='{e.packet_id}', location={e.location!r})"
    e = events["PacketConsumed"]
    assert e.location.kind == "OutsideNet"
    for kind in ("EpochCreated", "EpochStarted"):
        e = events[kind]
        assert id_text(e.epoch_id) and repr(e) == ts(e) + f"epoch_id='{e.epoch_id}')"
    for kind in ("EpochFinished", "EpochCancelled"):
        e = events[kind]
        assert isinstance(e.epoch, Epoch) and e.epoch is not e.epoch
        assert repr(e) == ts(e) + f"epoch={e.epoch!r})"
    e = events["PacketMoved"]
    assert type(e.from_index) is int
    assert repr(e) == ts(e) + (f"packet_id='{e.packet_id}', from={e.from_location!r}, "
                               f"to={e.to_location!r}, from_index={e.from_index})")
    e = events["InputSalvoTriggered"]
    assert repr(e) == ts(e) + f"epoch_id='{e.epoch_id}', condition=\"go\")"
    e = events["OutputSalvoTriggered"]
    assert repr(e) == ts(e) + f"epoch_id='{e.epoch_id}', condition=\"s\")"
    e = events["PacketOrphaned"]
    assert (e.node_name, e.orphaned_port_name, e.salvo_condition) == ("A", "loose", "s")
    assert repr(e) == ts(e) + (f"packet_id='{e.packet_id}', epoch_id='{e.epoch_id}', "
                               'node="A", port="loose", condition="s")')
    e = events["RequestCreated"]
    assert (e.node_name, e.label, e.request_source) == ("B", ODD, "External")
    assert repr(e) == ts(e) + f'node="B", label={ODD_Q}, source="External")'
    e = events["RequestCascadeResolved"]
    assert e.source_nodes == ["A"] and e.source_nodes is not e.source_nodes
    assert repr(e) == ts(e) + f'source_nodes=["A"], label={ODD_Q})'
    e = events["RequestEpochCreated"]
    assert (e.node_name, e.label) == ("A", ODD)
    assert repr(e) == ts(e) + f"epoch_id='{e.epoch_id}', source_node=\"A\", label={ODD_Q})"


def test_events_convert_back_only_from_net_events(events):
    sim = world()
    action = NetAction.create_packet()
    _, made = sim.do_action(action)
    for bad in (None, "PacketCreated", Loc.outside_net(), events["PacketCreated"].location):
        with pytest.raises(TypeError) as info:
            sim.undo_action(action, [made[0], bad])
        assert str(info.value) == f"'{type(bad).__name__}' object cannot be converted to 'NetEvent'"
    # Every kind converts back: whatever the engine makes of these foreign
    # events, the conversion itself must not object.
    other = world()
    for e in events.values():
        try:
            other.undo_action(NetAction.run_step(), [e])
        except vs.UndoError:
            pass
    sim.undo_action(action, made)
    assert sim.packet_count_at(Loc.outside_net()) == 0


# ---- NetActionResponseData ------------------------------------------------------------

VARIANTS = ["Packet", "CreatedEpoch", "StartedEpoch", "FinishedEpoch", "CancelledEpoch",
            "StepResult", "Empty"]
MATCH_ARGS = {"Packet": ("packet_id",), "CancelledEpoch": ("epoch", "destroyed_packets"),
              "StepResult": ("made_progress",), "Empty": ()}


def test_response_data_variant_classes():
    listed = [k for k, v in vars(Data).items() if isinstance(v, type)]
    assert listed == VARIANTS
    for name in VARIANTS:
        cls = getattr(Data, name)
        assert cls.__name__ == f"NetActionResponseData_{name}"
        assert cls.__bases__ == (Data,) and cls.__doc__ == ""
        assert cls.__match_args__ == MATCH_ARGS.get(name, ("epoch",))
        assert str(inspect.signature(cls)) == "(" + ", ".join(cls.__match_args__) + ")"
        assert not hasattr(vs, cls.__name__) and cls.__name__ not in vs.__all__
        with pytest.raises(TypeError):
            type("Sub", (cls,), {})
    with pytest.raises(TypeError):
        Data()
    if not PYPY:  # extension classes cannot be made immutable there
        with pytest.raises(TypeError):
            Data.Packet = None


def test_response_data_construction_and_matching():
    sim = world()
    epoch = sim.do_action(NetAction.create_epoch("A", Salvo("manual", [])))[0].epoch
    made = [Data.Packet("x"), Data.CreatedEpoch(epoch), Data.StartedEpoch(epoch=epoch),
            Data.FinishedEpoch(epoch), Data.CancelledEpoch(epoch, ("p1", "p2")),
            Data.StepResult(False), Data.Empty()]
    for data, name in zip(made, VARIANTS):
        assert isinstance(data, Data) and type(data) is getattr(Data, name)
        assert repr(data).startswith(f"<vornix_sim.NetActionResponseData_{name} object at 0x")
    assert made[0].packet_id == "x"
    assert made[1].epoch.id == epoch.id and made[1].epoch is not made[1].epoch
    assert made[4].destroyed_packets == ["p1", "p2"]
    assert made[5].made_progress is False and Data.StepResult(True).made_progress is True
    assert made[6] != Data.Empty()

    # Class patterns read isinstance and the attributes __match_args__ names.
    def fields(data):
        return tuple(getattr(data, name) for name in type(data).__match_args__)
    assert fields(made[0]) == ("x",)
    assert [fields(made[4])[0].node_name, fields(made[4])[1]] == ["A", ["p1", "p2"]]
    assert (fields(made[5]), fields(made[6])) == ((False,), ())
    if sys.version_info < (3, 10):
        return  # no match statement to try them with
    scope = {"Data": Data}
    exec(MATCH_RESPONSE, scope)  # noqa: S102 - the statement does not parse before 3.10
    assert [scope["describe"](d) for d in (made[0], made[4], made[5], made[6])] == [
        "x", ("A", ["p1", "p2"]), False, "empty"]


MATCH_RESPONSE = """
def describe(data):
    match data:
        case Data.Packet(pid):
            return pid
        case Data.CancelledEpoch(e, gone):
            return (e.node_name, gone)
        case Data.StepResult(progress):
            return progress
        case Data.Empty():
            return "empty"
"""


@pytest.mark.parametrize("call, text", [
    (lambda e: Data.StepResult(1), "argument 'made_progress': expected bool, got int"),
    (lambda e: Data.StepResult(None), "argument 'made_progress': "),
    (lambda e: Data.Packet(ulid.ULID.from_str(EID)), "argument 'packet_id': "),
    (lambda e: Data.CreatedEpoch(Loc.outside_net()), "argument 'epoch': expected Epoch"),
    (lambda e: Data.CancelledEpoch(e, "p1"), "argument 'destroyed_packets': expected a sequence"),
    (lambda e: Data.CancelledEpoch(e, ["p1", 2]), "argument 'destroyed_packets': expected str"),
    (lambda e: Data.CancelledEpoch(None, 5), "argument 'epoch': "),
    (lambda e: Data.Empty(1), "takes no arguments"),
    (lambda e: Data.Packet(), "missing required argument 'packet_id'"),
])
def test_response_data_argument_errors(call, text):
    epoch = world().do_action(NetAction.create_epoch("A", Salvo("manual", [])))[0].epoch
    with pytest.raises(TypeError) as info:
        call(epoch)
    assert text in str(info.value)
