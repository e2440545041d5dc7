"""Graph construction, queries and validation records, and resource hygiene."""

import gc
import inspect
import os
import pickle
import sys
import threading

import pytest

import vornix_sim as vs
from vornix_sim import (
    DependencyRequestConfig,
    DependencyRequestTrigger,
    Edge,
    Graph,
    MaxSalvos,
    Node,
    PacketCount,
    Port,
    PortRef,
    PortState,
    PortType,
    SalvoCondition,
    SalvoConditionTerm as T,
)

from interpreter import needs_refcounts

IN, OUT = PortType.Input, PortType.Output


def out_ref(node, port):
    return PortRef(node, OUT, port)


def in_ref(node, port):
    return PortRef(node, IN, port)


def edge(src_node, src_port, dst_node, dst_port):
    return Edge(out_ref(src_node, src_port), in_ref(dst_node, dst_port))


def node(name, ins=(), outs=(), **kwargs):
    return Node(name, in_ports={p: Port() for p in ins}, out_ports={p: Port() for p in outs},
                **kwargs)


A_TO_B = edge("A", "x", "B", "y")


# --- construction and queries -------------------------------------------------


def test_empty_graph():
    g = Graph([], [])
    assert repr(g) == "Graph(nodes=0, edges=0)"
    assert g.nodes() == {}
    assert g.edges() == []
    assert g.dependency_edges() == []
    assert g.validate() == []
    assert g.get_edges_by_head(in_ref("B", "y")) == []
    assert g.is_dependency_edge(A_TO_B) is False


def test_repeated_edge_counts_once_but_indexes_twice():
    g = Graph([node("A", outs=["x"]), node("B", ins=["y"])], [A_TO_B, A_TO_B])
    assert repr(g) == "Graph(nodes=2, edges=1)"
    assert g.edges() == [A_TO_B]
    heads = g.get_edges_by_head(input_port_ref=in_ref("B", "y"))
    assert heads == [A_TO_B, A_TO_B]
    assert heads[0] is not heads[1]
    assert g.validate() == []


def test_fan_in_keeps_construction_order_and_output_refs_find_nothing():
    e1, e2 = edge("A", "x", "C", "in"), edge("B", "x", "C", "in")
    g = Graph([node("A", outs=["x"]), node("B", outs=["x"]), node("C", ins=["in"])], [e2, e1])
    assert g.get_edges_by_head(in_ref("C", "in")) == [e2, e1]
    assert g.get_edges_by_head(out_ref("A", "x")) == []


def test_nodes_returns_fresh_copies():
    a = node("A", outs=["x"], in_salvo_conditions={
        "b": SalvoCondition(MaxSalvos.finite(1), [], T.true_()),
        "a": SalvoCondition(MaxSalvos.finite(1), [], T.false_())})
    g = Graph([a, node("B")], [])
    nodes = g.nodes()
    assert sorted(nodes) == ["A", "B"]
    assert nodes["A"] is not a and g.nodes()["A"] is not nodes["A"]
    assert list(nodes["A"].in_salvo_conditions) == ["b", "a"]
    assert list(nodes["A"].out_ports) == ["x"]


def test_nodes_keep_their_own_order():
    # Alike but for the order of their ports or of a condition's ports: a
    # node built or read back must not take its neighbour's order.
    def shaped(name, ports, counted):
        take = SalvoCondition(MaxSalvos.Infinite, {p: PacketCount.All for p in counted},
                              T.true_())
        return Node(name, in_ports={p: Port() for p in ports}, in_salvo_conditions={"take": take})

    shapes = {"A": ("xy", "xy"), "B": ("xy", "yx"), "C": ("yx", "yx"), "D": ("yx", "yx")}
    made = [shaped(name, *orders) for name, orders in shapes.items()]
    # Alike nodes may hold one set of maps; what a getter hands out is the
    # caller's, and clearing it changes neither node.
    made[2].in_ports.clear()
    made[2].in_salvo_conditions["take"].ports.clear()
    g = Graph(made, [])
    again = pickle.loads(pickle.dumps(g))  # built anew from what g gives back
    for nodes in (dict(zip(shapes, made)), g.nodes(), again.nodes()):
        for name, (ports, counted) in shapes.items():
            assert list(nodes[name].in_ports) == list(ports)
            assert list(nodes[name].in_salvo_conditions["take"].ports) == list(counted)


def test_dependency_edges_outside_the_edge_set():
    g = Graph([node("A"), node("B")], [], dependency_edges=[A_TO_B])
    assert g.is_dependency_edge(A_TO_B) is True
    assert g.is_dependency_edge(edge("A", "x", "B", "z")) is False
    assert g.dependency_edges() == [A_TO_B]
    [record] = g.validate()
    assert record.kind == "DependencyEdgeNotInGraph"
    assert record.details == {"edge": A_TO_B}
    assert record.details["edge"] is not A_TO_B


def test_empty_or_omitted_dependency_edges():
    for deps in ([], (), None):
        assert Graph([], [A_TO_B], deps).dependency_edges() == []


def test_duplicate_node_name_is_an_internal_fault():
    caught_as_exception = False
    with pytest.raises(BaseException) as info:
        try:
            Graph([Node("A"), Node("B"), Node("A")], [])
        except Exception:
            caught_as_exception = True
    assert not caught_as_exception
    assert not isinstance(info.value, Exception)
    assert type(info.value).__bases__ == (BaseException,)
    assert str(info.value) == "Duplicate node name: 'A'"
    # The name goes in unescaped.
    with pytest.raises(BaseException, match="^Duplicate node name: 'it's'$"):
        Graph([Node("it's"), Node("it's")], [])


@pytest.mark.parametrize(
    "args, text",
    [
        (("AB", []), "^argument 'nodes': "),
        (([Node("A"), "B"], []), "^argument 'nodes': "),
        ((None, []), "^argument 'nodes': "),
        (([], "e"), "^argument 'edges': "),
        (([], [A_TO_B, out_ref("A", "x")]), "^argument 'edges': "),
        (([1], [1]), "^argument 'nodes': "),
        (([], [], "e"), "^argument 'dependency_edges': "),
        (([], [], [None]), "^argument 'dependency_edges': "),
        (([], [1], [None]), "^argument 'edges': "),
        (([], [], [], 4), "at most 3 arguments"),
        (([],), "edges"),
    ],
)
def test_graph_refusals_in_order(args, text):
    with pytest.raises(TypeError, match=text):
        Graph(*args)


@pytest.mark.parametrize(
    "call, text",
    [
        (lambda g: g.get_edges_by_head(A_TO_B), "^argument 'input_port_ref': "),
        (lambda g: g.get_edges_by_head(), "input_port_ref"),
        (lambda g: g.is_dependency_edge(in_ref("A", "x")), "^argument 'edge': "),
        (lambda g: g.is_dependency_edge(edge=A_TO_B, other=1), "other"),
        (lambda g: g.nodes(1), "takes no arguments"),
    ],
)
def test_graph_method_refusals(call, text):
    with pytest.raises(TypeError, match=text):
        call(Graph([], []))


def test_graph_method_signatures():
    expected = {
        "nodes": ("()", "Returns a dict of all nodes, keyed by name."),
        "edges": ("()", "Returns a list of all edges."),
        "validate": ("()", "Validate the graph and return a list of structured validation errors."),
        "get_edges_by_head": ("(input_port_ref)",
                              "Returns all edges that have the given input port as their target "
                              "(head).\nFan-in is allowed, so multiple edges can connect to the "
                              "same input port."),
        "is_dependency_edge": ("(edge)", "Check if an edge is a dependency edge."),
        "dependency_edges": ("()", "Returns the set of dependency edges as a list."),
    }
    g = Graph([], [])
    for name, (signature, doc) in expected.items():
        method = getattr(g, name)
        assert str(inspect.signature(method)) == signature
        assert method.__doc__ == doc
        assert getattr(Graph, name).__text_signature__.startswith("($self")


# --- validation records ----------------------------------------------------------


def finite_condition(ports, term, max_salvos=None):
    return SalvoCondition(max_salvos or MaxSalvos.finite(1), ports, term)


VALIDATION_CASES = [
    pytest.param(
        [node("A", outs=["x"]), node("B", ins=["y"]), node("D", ins=["z"])],
        [A_TO_B, edge("A", "x", "D", "z")], None,
        "MultipleEdgesFromOutputPort",
        "output port A.out.x has 2 outgoing edges (only 1 allowed)",
        {"output_port": out_ref("A", "x"), "edge_count": 2},
        id="fan-out"),
    pytest.param(
        [], [A_TO_B], None,
        "EdgeReferencesNonexistentNode",
        "edge A.out.x -> B.in.y references non-existent node 'A'",
        {"edge_source": out_ref("A", "x"), "edge_target": in_ref("B", "y"), "missing_node": "A"},
        id="missing-node"),
    pytest.param(
        [node("A", outs=["x"]), node("B")], [A_TO_B], None,
        "EdgeReferencesNonexistentPort",
        "edge A.out.x -> B.in.y references non-existent port B.in.y",
        {"edge_source": out_ref("A", "x"), "edge_target": in_ref("B", "y"),
         "missing_port": in_ref("B", "y")},
        id="missing-port"),
    pytest.param(
        [node("N", in_salvo_conditions={"go": finite_condition("missing", T.true_())})], [], None,
        "SalvoConditionReferencesNonexistentPort",
        "input salvo condition 'go' on node 'N' references non-existent port 'missing'",
        {"node_name": "N", "condition_name": "go", "is_input_condition": True,
         "missing_port": "missing"},
        id="condition-port"),
    pytest.param(
        [node("N", out_salvo_conditions={
            "send": finite_condition([], T.not_(T.port("gone", PortState.Full)))})], [], None,
        "SalvoConditionTermReferencesNonexistentPort",
        "output salvo condition 'send' on node 'N' has term referencing non-existent port 'gone'",
        {"node_name": "N", "condition_name": "send", "is_input_condition": False,
         "missing_port": "gone"},
        id="term-port"),
    pytest.param(
        [node("N", ins=["in"], in_salvo_conditions={
            "go": finite_condition("in", T.true_(), MaxSalvos.Infinite)})], [], None,
        "InputSalvoConditionInvalidMaxSalvos",
        "input salvo condition 'go' on node 'N' has max_salvos=Infinite, but must be Finite(1). "
        "Input salvos must have exactly one packet to trigger an epoch.",
        {"node_name": "N", "condition_name": "go", "max_salvos": MaxSalvos.Infinite},
        id="max-salvos"),
    pytest.param(
        [node("A"), node("B")], [], [A_TO_B],
        "DependencyEdgeNotInGraph",
        "dependency edge A.out.x -> B.in.y is not in the graph's edge set",
        {"edge": A_TO_B},
        id="dependency-edge"),
    pytest.param(
        [node("N", dependency_request_config=DependencyRequestConfig(
            [DependencyRequestTrigger.OnStartup], "fetch"))], [], None,
        "DependencyRequestConfigWithoutDependencyEdges",
        "node 'N' has dependency_request_config but no dependency edges on its input ports",
        {"node_name": "N"},
        id="request-config"),
]


@pytest.mark.parametrize("nodes, edges, deps, kind, message, details", VALIDATION_CASES)
def test_validation_record_for_each_kind(nodes, edges, deps, kind, message, details):
    [record] = Graph(nodes, edges, deps).validate()
    assert type(record).__name__ == "GraphValidationErrorInfo"
    assert record.kind == kind
    assert record.message == message
    assert str(record) == message
    assert repr(record) == f"GraphValidationErrorInfo(kind='{kind}', message='{message}')"
    got = record.details
    assert list(got) == list(details)
    for key, value in details.items():
        assert type(got[key]) is type(value), key
        assert got[key] == value, key
    assert record.details is not got


def test_edge_between_wrong_sides_gives_both_records_in_order():
    wrong = Edge(in_ref("A", "x"), out_ref("B", "y"))
    records = Graph([node("A", ins=["x"]), node("B", outs=["y"])], [wrong]).validate()
    assert [r.kind for r in records] == ["EdgeSourceNotOutputPort", "EdgeTargetNotInputPort"]
    assert [r.message for r in records] == [
        "edge source A.in.x must be an output port",
        "edge target B.out.y must be an input port",
    ]
    for r in records:
        assert r.details == {"edge_source": in_ref("A", "x"), "edge_target": out_ref("B", "y")}


def test_max_salvos_detail_carries_the_limit():
    n = node("N", ins=["in"], in_salvo_conditions={
        "go": finite_condition("in", T.true_(), MaxSalvos.finite(2))})
    [record] = Graph([n], []).validate()
    limit = record.details["max_salvos"]
    assert type(limit).__name__ == "MaxSalvosFinite"
    assert limit.max == 2
    assert "max_salvos=Finite(2)" in record.message


def test_validation_records_are_frozen_and_not_constructible():
    [record] = Graph([], [A_TO_B]).validate()
    with pytest.raises(AttributeError):
        record.kind = "x"
    with pytest.raises(TypeError):
        type(record)()
    assert record != Graph([], [A_TO_B]).validate()[0]


def test_validation_record_docs():
    cls = vs.GraphValidationErrorInfo
    assert cls.__doc__ == (
        "Structured validation error from graph validation.\n\n"
        "Provides access to the error variant name, human-readable message,\n"
        "and a dict of variant-specific fields (node names, port refs, etc.)."
    )
    assert cls.kind.__doc__ == 'The error variant name (e.g., "MultipleEdgesFromOutputPort").'
    assert cls.message.__doc__ == "The human-readable error message."
    assert cls.details.__doc__ == (
        "Dict of variant-specific fields (node names, port refs, counts, etc.).")


def test_one_graph_built_and_validated_from_many_threads():
    # Every call into the engine has its own result buffer: threads sharing a
    # graph, or building graphs at once, must not see each other's records.
    shared = Graph([node("A", outs=["x"]), node("B")], [A_TO_B])
    failures = []

    def work(k):
        try:
            for i in range(200):
                [record] = shared.validate()
                assert record.details["missing_port"] == in_ref("B", "y")
                own = Graph([node(f"N{k}.{i}")], [], [edge(f"N{k}.{i}", "o", "M", "i")])
                assert own.validate()[0].message.startswith(f"dependency edge N{k}.{i}.out.o")
        except BaseException as e:  # noqa: BLE001 - reported below
            failures.append(e)

    threads = [threading.Thread(target=work, args=(k,)) for k in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert failures == []


# --- resource hygiene ----------------------------------------------------------


def build_everything(shared):
    term = T.and_([T.port("in", PortState.less_than(3)), T.not_(T.or_([T.true_()]))])
    cond = SalvoCondition(MaxSalvos.finite(1), {"in": PacketCount.count(2)}, term)
    a = Node("A", out_ports={"x": shared["port"]})
    b = Node("B", in_ports={"y": Port()}, in_salvo_conditions={"go": cond},
             dependency_request_config=shared["config"])
    g = Graph([a, b, shared["node"]], [shared["edge"], A_TO_B], [shared["edge"]])
    for record in g.validate():
        record.details, repr(record)
    for n in g.nodes().values():
        repr(n), n.in_salvo_conditions, n.in_ports, n.dependency_request_config
    repr(cond), cond.ports, cond.term.get_terms(), g.get_edges_by_head(in_ref("B", "y"))
    # Failing calls must not keep what they were given either.
    for bad in (lambda: Graph([shared["node"], shared["node"]], []),
                lambda: Node("N", in_salvo_conditions={"go": cond, "bad": shared["port"]}),
                lambda: SalvoCondition(MaxSalvos.Infinite, {"a": shared["port"]}, term),
                lambda: T.and_([term, shared["port"]])):
        try:
            bad()
        except BaseException:
            pass


def resident_bytes():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


@needs_refcounts
def test_building_and_dropping_does_not_leak():
    shared = {
        "port": Port(), "node": Node("S"), "edge": edge("S", "o", "A", "i"),
        "config": DependencyRequestConfig([DependencyRequestTrigger.OnStartup], "l"),
    }
    for _ in range(200):
        build_everything(shared)
    gc.collect()
    counts = {key: sys.getrefcount(value) for key, value in shared.items()}
    import tracemalloc  # noqa: PLC0415 - absent on PyPy
    tracemalloc.start()
    before_py = tracemalloc.get_traced_memory()[0]
    before_rss = resident_bytes()
    for _ in range(3000):
        build_everything(shared)
    gc.collect()
    grown_py = tracemalloc.get_traced_memory()[0] - before_py
    grown_rss = resident_bytes() - before_rss
    tracemalloc.stop()
    assert {key: sys.getrefcount(value) for key, value in shared.items()} == counts
    assert grown_py < 64 * 1024
    # Engine values live outside the Python allocator; under AddressSanitizer
    # freed memory sits in quarantine, so the resident size says nothing there.
    if "asan" not in os.environ.get("LD_PRELOAD", ""):
        assert grown_rss < 8 * 1024 * 1024
