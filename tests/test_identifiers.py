"""Packet and epoch identifiers crossing the boundary, and engine errors as exceptions.

Identifiers enter through any call that takes one (PacketLocation.node,
NetSim.get_packet) and leave as text or as ULID objects of the `ulid` package;
these tests use whichever of those classes exist.
"""

import sys

import pytest

import vornix_sim

TEXT = "01ARZ3NDEKTSV4RRFFQ69G5FAV"


def needs(*names):
    missing = [n for n in names if not hasattr(vornix_sim, n)]
    if missing:
        pytest.skip(f"{', '.join(missing)} not built yet")
    return [getattr(vornix_sim, n) for n in names]


def epoch_text_of(obj):
    """The identifier as the module read it, via a location that stores it parsed."""
    (location,) = needs("PacketLocation")
    return location.node(obj).epoch_id


@pytest.mark.parametrize("text, reason", [
    (TEXT[:25], "invalid length"),
    (TEXT + "A", "invalid length"),
    ("", "invalid length"),
    ("é" * 26, "invalid length"),            # 26 characters but 52 bytes
    ("\ud800" * 26, "invalid length"),       # no strict UTF-8 form at all
    (TEXT[:25] + "U", "invalid character"),
    ("I" + TEXT[1:], "invalid character"),
    (TEXT[:12] + "-" + TEXT[13:], "invalid character"),
    ("x" * 30, "invalid length"),            # length is checked before characters
])
def test_malformed_identifier_text(text, reason):
    with pytest.raises(ValueError) as info:
        epoch_text_of(text)
    assert str(info.value) == f"Invalid ULID: {reason}"


@pytest.mark.parametrize("given, expected", [
    (TEXT, TEXT),
    (TEXT.lower(), TEXT),
    ("7ZZZZZZZZZZZZZZZZZZZZZZZZZ", "7ZZZZZZZZZZZZZZZZZZZZZZZZZ"),
    # Digits above 7 in front carry bits past 128 that are dropped.
    ("Z" + TEXT[1:], "7" + TEXT[1:]),
    ("8" + TEXT[1:], "0" + TEXT[1:]),
])
def test_identifier_text_parses_and_formats(given, expected):
    assert epoch_text_of(given) == expected


def test_any_object_whose_str_is_identifier_text_is_accepted():
    ulid = pytest.importorskip("ulid")

    class Text:
        def __str__(self):
            return TEXT.lower()

    assert epoch_text_of(ulid.ULID.from_str(TEXT)) == TEXT
    assert epoch_text_of(Text()) == TEXT


def test_exceptions_from_str_propagate_unchanged():
    class Broken:
        def __str__(self):
            raise KeyError("no text")

    class NotText:
        def __str__(self):
            return 42

    with pytest.raises(KeyError, match="no text"):
        epoch_text_of(Broken())
    with pytest.raises(TypeError):
        epoch_text_of(NotText())


# ---- through a simulation ----------------------------------------------------

@pytest.fixture
def sim_parts():
    return needs("NetSim", "Graph", "Node", "Port", "NetAction", "PacketLocation", "PortRef",
                 "PortType", "Edge")


def make_sim(parts):
    net_sim, graph, node, port = parts[:4]
    a = node("A", out_ports={"x": port()})
    b = node("B", in_ports={"y": port()})
    return net_sim(graph([a, b], []))


def create_packet(sim, parts):
    net_action = parts[4]
    response, events = sim.do_action(net_action.create_packet())
    return response.packet_id, events


def test_identifiers_leave_as_ulid_objects(sim_parts):
    ulid = pytest.importorskip("ulid")
    sim = make_sim(sim_parts)
    first, _ = create_packet(sim, sim_parts)
    second, _ = create_packet(sim, sim_parts)
    ids = sim.get_packets_at_location(sim_parts[5].outside_net())
    assert all(type(i) is ulid.ULID for i in ids)
    assert [str(i) for i in ids] == [first, second]
    assert sim.get_packet(ids[0]).id == first
    assert sim.get_packet(first.lower()).id == first


def test_missing_ulid_package_propagates_import_error(sim_parts, monkeypatch):
    sim = make_sim(sim_parts)
    packet_id, _ = create_packet(sim, sim_parts)
    monkeypatch.setitem(sys.modules, "ulid", None)
    with pytest.raises(ImportError):
        sim.get_packets_at_location(sim_parts[5].outside_net())
    # Identifiers given as text still work without the package.
    assert sim.get_packet(packet_id).id == packet_id


def test_lookup_with_malformed_or_unknown_identifier(sim_parts):
    sim = make_sim(sim_parts)
    with pytest.raises(ValueError, match="^Invalid ULID: invalid length$"):
        sim.get_packet("0123456789")
    assert sim.get_packet(TEXT) is None


def test_action_errors_carry_their_class_and_message(sim_parts):
    net_sim, graph, node, port, net_action, location, port_ref, port_type, edge = sim_parts
    sim = make_sim(sim_parts)
    v = vornix_sim

    with pytest.raises(v.EpochNotFoundError) as info:
        sim.do_action(net_action.start_epoch(TEXT))
    assert info.value.args == (f"Epoch not found: {TEXT}",)

    with pytest.raises(v.RequestNodeNotFoundError) as info:
        sim.do_action(net_action.create_request("X", "label"))
    assert str(info.value) == "Request targets non-existent node 'X'"

    packet_id, _ = create_packet(sim, sim_parts)
    missing = edge(port_ref("A", port_type.Output, "x"), port_ref("B", port_type.Input, "y"))
    with pytest.raises(v.EdgeNotFoundError) as info:
        sim.do_action(net_action.transport_packet_to_location(packet_id, location.edge(missing)))
    assert str(info.value) == "Edge not found: A.out.x -> B.in.y"
    assert isinstance(info.value, v.VornixError)


def test_undo_errors_are_undo_errors(sim_parts):
    net_action = sim_parts[4]
    sim = make_sim(sim_parts)
    action = net_action.create_packet()
    response, events = sim.do_action(action)
    sim.do_action(net_action.destroy_packet(response.packet_id))
    with pytest.raises(vornix_sim.UndoError) as info:
        sim.undo_action(action, events)
    assert type(info.value) is vornix_sim.UndoNotFoundError
    assert str(info.value) == f"Entity not found: packet {response.packet_id} not found"
