"""PortType, EpochState, PortRef and Edge: the value classes of the module frame."""

import os
import subprocess
import sys

import pytest

import vornix_sim as vs
from vornix_sim import Edge, EpochState, PortRef, PortType

from interpreter import needs_refcounts

HASH_CHECK_VALUES = """
from vornix_sim import Edge, PortRef, PortType
print(hash(PortType.Input), hash(PortType.Output),
      hash(PortRef("A", PortType.Output, "out")),
      hash(Edge(PortRef("A", PortType.Output, "out"), PortRef("B", PortType.Input, "in"))))
"""
EXPECTED_HASHES = [-4800647303603446203, 2206609067086327257, -7815994787998051459,
                   5502099682738426114]


def out(node, port):
    return PortRef(node, PortType.Output, port)


def inp(node, port):
    return PortRef(node, PortType.Input, port)


# ---- enumeration classes ----------------------------------------------------

ENUM_MEMBERS = [
    (PortType, ["Input", "Output"]),
    (EpochState, ["Startable", "Running", "Finished"]),
]


@pytest.mark.parametrize("cls, names", ENUM_MEMBERS)
def test_enum_members_number_and_print(cls, names):
    for number, name in enumerate(names):
        member = getattr(cls, name)
        assert type(member) is cls
        assert int(member) == number
        assert repr(member) == f"{cls.__name__}.{name}"
        assert str(member) == repr(member)
        assert member == number and number == member and not member != number
        assert member != number + 1
        for other_number, other_name in enumerate(names):
            assert (member == getattr(cls, other_name)) is (number == other_number)
            assert (member != getattr(cls, other_name)) is (number != other_number)


@pytest.mark.parametrize("member", [PortType.Input, EpochState.Running])
def test_enum_comparisons_with_foreign_objects(member):
    # Only integers (and the class itself) compare by number; everything else
    # falls back to identity, and ordering has no meaning at all.
    for foreign in ["Input", 1.0, None, object(), 2**70, -2**70]:
        assert not member == foreign
        assert member != foreign
    assert (member == True) is (int(member) == 1)  # noqa: E712 - bool is an int
    for op in ("__lt__", "__le__", "__gt__", "__ge__"):
        assert getattr(member, op)(member) is NotImplemented
    with pytest.raises(TypeError):
        member < member  # noqa: B015
    with pytest.raises(TypeError):
        member >= 0  # noqa: B015


def test_enums_of_different_classes_are_not_equal():
    assert PortType.Input != EpochState.Startable
    assert not PortType.Output == EpochState.Running


@pytest.mark.parametrize("cls", [PortType, EpochState])
def test_enum_class_has_no_constructor(cls):
    with pytest.raises(TypeError):
        cls()
    with pytest.raises(TypeError):
        cls(0)


def test_port_type_hash_is_stable_and_epoch_state_unhashable():
    assert hash(PortType.Input) == EXPECTED_HASHES[0]
    assert hash(PortType.Output) == EXPECTED_HASHES[1]
    assert {PortType.Input: 1}[PortType.Input] == 1
    for member in (EpochState.Startable, EpochState.Running, EpochState.Finished):
        with pytest.raises(TypeError):
            hash(member)
        with pytest.raises(TypeError):
            {member}


def test_port_type_getter_returns_equal_new_value():
    ref = out("A", "x")
    assert ref.port_type == PortType.Output
    assert type(ref.port_type) is PortType
    assert hash(ref.port_type) == hash(PortType.Output)


# ---- PortRef and Edge ---------------------------------------------------------

def test_port_ref_forms():
    ref = out("A", "out")
    assert repr(ref) == "PortRef('A', Output, 'out')"
    assert str(ref) == "A.out.out"
    assert str(inp("B", "in")) == "B.in.in"
    assert (ref.node_name, ref.port_name) == ("A", "out")


def test_names_are_printed_without_escaping():
    ref = PortRef("it's", PortType.Input, 'say "hi"\n')
    assert repr(ref) == "PortRef('it's', Input, 'say \"hi\"\n')"
    assert str(ref) == 'it\'s.in.say "hi"\n'
    assert PortRef("ñ", PortType.Input, "€").node_name == "ñ"


def test_edge_forms_and_no_direction_check():
    edge = Edge(inp("B", "in"), out("A", "out"))
    assert str(edge) == "B.in.in -> A.out.out"
    assert repr(edge) == "Edge(B.in.in, A.out.out)"
    assert edge.source == inp("B", "in")
    assert edge.target == out("A", "out")


def test_getters_return_new_equal_objects():
    edge = Edge(out("A", "out"), inp("B", "in"))
    assert edge.source is not edge.source
    assert edge.source == edge.source
    assert type(edge.source) is PortRef


@pytest.mark.parametrize("a, b, equal", [
    (out("A", "x"), out("A", "x"), True),
    (out("A", "x"), out("a", "x"), False),
    (out("A", "x"), inp("A", "x"), False),
    (out("A", "x"), out("A", "y"), False),
    # The separator byte keeps field boundaries apart.
    (out("AB", "x"), out("A", "Bx"), False),
    (Edge(out("A", "x"), inp("B", "y")), Edge(out("A", "x"), inp("B", "y")), True),
    (Edge(out("A", "x"), inp("B", "y")), Edge(out("A", "x"), inp("B", "z")), False),
    (Edge(out("A", "x"), inp("B", "y")), Edge(out("C", "x"), inp("B", "y")), False),
])
def test_value_equality_and_hash(a, b, equal):
    assert (a == b) is equal
    assert (a != b) is (not equal)
    if equal:
        assert hash(a) == hash(b)
        assert len({a, b}) == 1
    else:
        assert hash(a) != hash(b)
        assert len({a, b}) == 2


@pytest.mark.parametrize("value", [out("A", "out"), Edge(out("A", "x"), inp("B", "y"))])
def test_values_compare_only_with_their_own_class(value):
    for foreign in [str(value), repr(value), None, 0, PortType.Output]:
        assert not value == foreign
        assert value != foreign
    assert not out("A", "x") == Edge(out("A", "x"), inp("B", "y"))
    with pytest.raises(TypeError):
        value < value  # noqa: B015
    assert value.__le__(value) is NotImplemented


def test_hash_check_values():
    assert hash(PortType.Input) == EXPECTED_HASHES[0]
    assert hash(out("A", "out")) == EXPECTED_HASHES[2]
    assert hash(Edge(out("A", "out"), inp("B", "in"))) == EXPECTED_HASHES[3]


@pytest.mark.parametrize("seed", ["0", "12345"])
def test_hash_check_values_in_a_fresh_process(seed):
    env = dict(os.environ, PYTHONHASHSEED=seed)
    result = subprocess.run([sys.executable, "-c", HASH_CHECK_VALUES], env=env,
                            capture_output=True, text=True, check=True)
    assert [int(x) for x in result.stdout.split()] == EXPECTED_HASHES


@pytest.mark.parametrize("value", [out("A", "x"), Edge(out("A", "x"), inp("B", "y"))])
def test_values_are_frozen(value):
    for attr in ("node_name", "source", "anything"):
        with pytest.raises(AttributeError):
            setattr(value, attr, "z")


@pytest.mark.parametrize("cls, attr, doc", [
    (PortRef, "node_name", "The name of the node containing this port."),
    (PortRef, "port_type", "Whether this is an input or output port."),
    (PortRef, "port_name", "The name of the port on the node."),
    (Edge, "source", "The output port where this edge originates."),
    (Edge, "target", "The input port where this edge terminates."),
])
def test_getter_doc_strings(cls, attr, doc):
    assert getattr(cls, attr).__doc__ == doc


# ---- argument matching and conversion -----------------------------------------

@pytest.mark.parametrize("call, text", [
    (lambda: PortRef("A", 1, "out"), "argument 'port_type': expected PortType, got int"),
    (lambda: PortRef("A", EpochState.Running, "out"),
     "argument 'port_type': expected PortType, got EpochState"),
    (lambda: PortRef(1, PortType.Input, "out"), "argument 'node_name': expected str, got int"),
    (lambda: PortRef(b"A", PortType.Input, "out"),
     "argument 'node_name': expected str, got bytes"),
    (lambda: PortRef("A", PortType.Input, None),
     "argument 'port_name': expected str, got NoneType"),
    (lambda: PortRef("\ud800", PortType.Input, "x"), "argument 'node_name': "),
    # Conversion runs in signature order: the first bad argument is reported.
    (lambda: PortRef(1, 2, 3), "argument 'node_name': "),
    (lambda: Edge("A.out.x", inp("B", "y")), "argument 'source': expected PortRef, got str"),
    (lambda: Edge(out("A", "x"), PortType.Input),
     "argument 'target': expected PortRef, got PortType"),
    (lambda: PortRef("A", PortType.Input),
     "PortRef() missing required argument 'port_name' (pos 3)"),
    (lambda: Edge(), "Edge() missing required argument 'source' (pos 1)"),
    (lambda: Edge(out("A", "x")), "Edge() missing required argument 'target' (pos 2)"),
    (lambda: Edge(out("A", "x"), inp("B", "y"), None),
     "Edge() takes exactly 2 arguments (3 given)"),
    (lambda: Edge(out("A", "x"), source=out("A", "x")),
     "argument for Edge() given by name ('source') and position (1)"),
    (lambda: Edge(out("A", "x"), inp("B", "y"), sourse=1),
     "'sourse' is an invalid keyword argument for Edge()"),
])
def test_argument_errors(call, text):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value).startswith(text)


class Liar:
    """Claims to be of another class through __class__."""

    def __init__(self, cls):
        self.cls = cls

    __class__ = property(lambda self: self.cls)


class Seven(int):
    def __int__(self):
        return 7

    __index__ = __int__


class NamedFive(type):
    __name__ = property(lambda cls: 5)


class Unnamed(type):
    @property
    def __name__(cls):
        raise ZeroDivisionError("no name")


# Arguments are read by their own type and value, as they are, whatever
# they say of themselves; the outcome is a value or the exact message.
@pytest.mark.parametrize("call, outcome", [
    (lambda: vs.Node("N", in_ports={"a": Liar(vs.Port)}),
     "argument 'in_ports': expected Port, got Liar"),
    (lambda: vs.Node(Liar(str)), "argument 'name': expected str, got Liar"),
    (lambda: Edge(Liar(PortRef), Liar(PortRef)), "argument 'source': expected PortRef, got Liar"),
    (lambda: vs.SalvoCondition(Liar(vs.MaxSalvosFinite), "a", vs.SalvoConditionTerm.true_()),
     "Expected MaxSalvos or MaxSalvosFinite"),
    (lambda: vs.PacketLocation.node(Liar(str)), "Invalid ULID: invalid length"),
    (lambda: PortType.Output == Liar(int), False),
    (lambda: vs.PortSlotSpec.finite(Seven(5)).capacity, 5),
    (lambda: PortType.Output == Seven(1), True),
    (lambda: PortRef(NamedFive("X", (), {})(), PortType.Input, "p"),
     "argument 'node_name': expected str, got ?"),
    (lambda: PortRef(Unnamed("Y", (), {})(), PortType.Input, "p"),
     "argument 'node_name': expected str, got ?"),
    (lambda: PortRef("ab\udc80\udc81c\udc82", PortType.Input, "p"),
     "argument 'node_name': 'utf-8' codec can't encode characters in position 2-3: "
     "surrogates not allowed"),
    (lambda: PortRef("a", PortType.Input, "\ud800"),
     "argument 'port_name': 'utf-8' codec can't encode character '\\ud800' in position 0: "
     "surrogates not allowed"),
])
def test_arguments_are_read_by_their_own_type_and_value(call, outcome):
    if not isinstance(outcome, str):
        assert call() == outcome
        return
    with pytest.raises((TypeError, ValueError)) as info:
        call()
    assert str(info.value) == outcome


def test_every_parameter_accepts_keywords():
    ref = PortRef(port_name="p", node_name="N", port_type=PortType.Input)
    assert str(ref) == "N.in.p"
    assert Edge(target=inp("B", "y"), source=out("A", "x")) == Edge(out("A", "x"), inp("B", "y"))


@needs_refcounts
def test_failed_calls_leave_argument_refcounts_unchanged():
    name = "node-" + "x" * 10
    source = out("A", "x")
    bad = object()
    before = [sys.getrefcount(o) for o in (name, source, bad)]
    for _ in range(3):
        with pytest.raises(TypeError):
            PortRef(name, bad, name)
        with pytest.raises(TypeError):
            Edge(source, bad)
        with pytest.raises(TypeError):
            Edge(source, source, bad)
        with pytest.raises(TypeError):
            Edge(source, target=source, extra=bad)
    assert [sys.getrefcount(o) for o in (name, source, bad)] == before
