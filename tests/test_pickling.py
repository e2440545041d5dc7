"""Pickling and copying by value, and the refusals around it."""

import copy
import inspect
import pickle

import pytest

import vornix_sim as vs

EID = "01ARZ3NDEKTSV4RRFFQ69G5FAV"


def port(node, side, name):
    return vs.PortRef(node, vs.PortType.Input if side == "in" else vs.PortType.Output, name)


AB = vs.Edge(port("A", "out", "out"), port("B", "in", "in"))
TERM = vs.SalvoConditionTerm.and_([
    vs.SalvoConditionTerm.port('in"\n', vs.PortState.NonEmpty),
    vs.SalvoConditionTerm.or_([vs.SalvoConditionTerm.port("in", vs.PortState.less_than(3)),
                               vs.SalvoConditionTerm.false_()]),
    vs.SalvoConditionTerm.not_(vs.SalvoConditionTerm.true_()),
])
CONDITION = vs.SalvoCondition(vs.MaxSalvos.finite(2), {"in": vs.PacketCount.count(4)}, TERM)
NODE_B = vs.Node(
    "B", in_ports={"in": vs.Port(vs.PortSlotSpec.finite(1)), "x": vs.Port()},
    in_salvo_conditions={"z": CONDITION, "a": CONDITION},
    dependency_request_config=vs.DependencyRequestConfig(
        [vs.DependencyRequestTrigger.OnNoSalvoTriggered, vs.DependencyRequestTrigger.OnStartup],
        "lbl"))
NODE_A = vs.Node("A", out_ports={"out": vs.Port()})
SALVO = vs.Salvo("take", [("in", EID), ("in", "not checked yet")])

# Every value class, made the ways its values differ (numbered, nested, optional parts).
VALUES = {
    "PortType": [vs.PortType.Output, port("A", "in", "x").port_type],
    "EpochState": [vs.EpochState.Running],
    "PortSlotSpec": [vs.PortSlotSpec.Infinite, vs.PortSlotSpec.Finite],
    "PortSlotSpecFinite": [vs.PortSlotSpec.finite(0), vs.PortSlotSpec.finite(2**64 - 1)],
    "PortState": [vs.PortState.NonFull],
    "PortStateNumeric": [getattr(vs.PortState, k)(7) for k in (
        "equals", "less_than", "greater_than", "equals_or_less_than", "equals_or_greater_than")],
    "PacketCount": [vs.PacketCount.All],
    "PacketCountN": [vs.PacketCount.count(5)],
    "MaxSalvos": [vs.MaxSalvos.Infinite],
    "MaxSalvosFinite": [vs.MaxSalvos.finite(1)],
    "DependencyRequestTrigger": [vs.DependencyRequestTrigger.OnStartup],
    "DependencyRequestConfig": [NODE_B.dependency_request_config],
    "PortRef": [port("A", "out", "o'ut")],
    "Edge": [AB],
    "Port": [vs.Port(), vs.Port(vs.PortSlotSpec.finite(3))],
    "SalvoConditionTerm": [TERM, vs.SalvoConditionTerm.true_()],
    "SalvoCondition": [CONDITION],
    "Node": [NODE_A, NODE_B],
    "Graph": [
        vs.Graph([], []),
        # A repeated edge, a dependency edge and a validation finding all survive.
        vs.Graph([NODE_A, NODE_B], [AB, AB], dependency_edges=[AB]),
        vs.Graph([NODE_A], [vs.Edge(port("A", "out", "out"), port("X", "in", "in"))]),
    ],
    "PacketLocation": [
        vs.PacketLocation.node(EID), vs.PacketLocation.input_port("B", "in"),
        vs.PacketLocation.output_port(EID, "out"), vs.PacketLocation.edge(AB),
        vs.PacketLocation.outside_net()],
    "Salvo": [SALVO],
    "NetAction": [
        vs.NetAction.run_step(), vs.NetAction.create_packet(), vs.NetAction.create_packet(EID),
        vs.NetAction.consume_packet(EID), vs.NetAction.destroy_packet("bad id kept as given"),
        vs.NetAction.start_epoch(EID), vs.NetAction.finish_epoch(EID),
        vs.NetAction.cancel_epoch("\udc80"), vs.NetAction.create_epoch("B", SALVO),
        vs.NetAction.load_packet_into_output_port(EID, "out"),
        vs.NetAction.send_output_salvo(EID, "send"),
        vs.NetAction.transport_packet_to_location(EID, vs.PacketLocation.edge(AB)),
        vs.NetAction.create_request("B", "lbl")],
}

CASES = [pytest.param(v, id=f"{name}-{i}") for name, vs_ in VALUES.items()
         for i, v in enumerate(vs_)]
CLONES = [pytest.param(lambda x, p=p: pickle.loads(pickle.dumps(x, p)), id=f"pickle{p}")
          for p in range(pickle.HIGHEST_PROTOCOL + 1)]
CLONES += [pytest.param(copy.copy, id="copy"), pytest.param(copy.deepcopy, id="deepcopy")]


def behaviour(x):
    """What x shows through its public surface: its repr, every getter and every
    argument-free method, unordered results in a fixed order."""
    def shown(v):
        if isinstance(v, dict):
            return sorted((k, shown(e)) for k, e in v.items())
        if isinstance(v, list):
            return sorted(repr(shown(e)) for e in v)
        if type(v).__module__ == "vornix_sim" and v is not x:
            return behaviour(v)
        return repr(v)

    seen = [repr(x)]
    for name in dir(type(x)):
        static = inspect.getattr_static(type(x), name)
        if name.startswith("_") or isinstance(static, (staticmethod, type(x))):
            continue
        value = getattr(x, name)
        if callable(value):
            if inspect.signature(value).parameters:
                continue
            value = value()
        seen.append((name, shown(value)))
    return seen


@pytest.mark.parametrize("clone", CLONES)
@pytest.mark.parametrize("value", CASES)
def test_round_trip_gives_the_same_value(value, clone):
    again = clone(value)
    assert type(again) is type(value)
    if type(value).__eq__ is not object.__eq__:
        assert again == value
    assert behaviour(again) == behaviour(value)
    members = [m for m in vars(type(value)).values() if isinstance(m, type(value))]
    if members:  # enumeration values come back as the class's own members
        assert any(again is m for m in members)
    if value is VALUES["Graph"][1]:
        assert len(again.get_edges_by_head(AB.target)) == 2
        assert again.is_dependency_edge(AB)
        # What a graph gives back is what it was made of, not only stable.
        assert behaviour(again.nodes()["B"]) == behaviour(NODE_B)


def test_every_value_class_is_covered():
    picklable = {name for name in vs.__all__ if "__reduce__" in vars(getattr(vs, name))}
    assert picklable == set(VALUES) | {"NetSim"}


class Forged:
    """Pickles as an arbitrary call: what a damaged or hostile pickle can ask for."""

    def __init__(self, call, args):
        self.call, self.args = call, args

    def __reduce__(self):
        return self.call, self.args


@pytest.mark.parametrize("call, args, exc", [
    (vs.PortRef, ("A", 1, "x"), TypeError),
    (vs.Edge, (), TypeError),
    (vs.Edge, (AB, AB), TypeError),
    (vs.Port, (2,), TypeError),
    (vs.PortSlotSpec.finite, (-1,), OverflowError),
    (vs.PortState.equals, ("3",), TypeError),
    (vs.SalvoConditionTerm.and_, ([1],), TypeError),
    (vs.SalvoConditionTerm.and_, ("in",), TypeError),
    (vs.SalvoCondition, (vs.MaxSalvos.Infinite, {"in": 2}, TERM), TypeError),
    (vs.Node, ("B", {"in": None}), TypeError),
    (vs.Graph, ("nodes", []), TypeError),
    (vs.Graph, ([NODE_A], [AB], [NODE_A]), TypeError),
    (vs.PacketLocation.node, ("short",), ValueError),
    (vs.Salvo, ("c", [["in", EID]]), TypeError),
    (vs.NetAction.create_epoch, ("B", None), TypeError),
    (getattr, (vs.PortType, "Sideways"), AttributeError),
])
def test_bad_pickle_data_raises_cleanly(call, args, exc):
    data = pickle.dumps(Forged(call, args))
    with pytest.raises(exc):
        pickle.loads(data)


def test_truncated_pickle_raises_cleanly():
    data = pickle.dumps(VALUES["Graph"][1])
    for end in range(0, len(data), 7):
        with pytest.raises(Exception):
            pickle.loads(data[:end])


@pytest.mark.parametrize("how", [*(lambda s, p=p: pickle.dumps(s, p)
                                   for p in range(pickle.HIGHEST_PROTOCOL + 1)),
                                 copy.copy, copy.deepcopy])
def test_netsim_refuses_pickling_and_says_what_to_do(how):
    sim = vs.NetSim(vs.Graph([NODE_A, vs.Node("B", in_ports={"in": vs.Port()})], [AB]))
    with pytest.raises(TypeError, match=r"cannot pickle 'NetSim' object: pickle its graph"):
        how(sim)
    assert repr(pickle.loads(pickle.dumps(sim.graph))) == repr(sim.graph)


def test_records_of_a_run_refuse_pickling_and_copying():
    # Packets, epochs, events and responses are what one run recorded, not
    # values to rebuild: every way of pickling or copying them is refused.
    sim = vs.NetSim(vs.Graph([NODE_A, vs.Node("B", in_ports={"in": vs.Port()})], [AB]))
    data, events = sim.do_action(vs.NetAction.create_packet())
    epoch, _ = sim.do_action(vs.NetAction.create_epoch("B", vs.Salvo("manual", [])))
    records = [events[0], data, epoch, epoch.epoch, sim.get_packet(data.packet_id),
               vs.NetActionResponseData.Empty(), vs.Graph([], [AB]).validate()[0]]
    ways = [*(lambda r, p=p: pickle.dumps(r, p) for p in range(pickle.HIGHEST_PROTOCOL + 1)),
            copy.copy, copy.deepcopy]
    for record in records:
        for how in ways:
            with pytest.raises(TypeError, match=rf"^cannot pickle '{type(record).__name__}' object$"):
                how(record)
