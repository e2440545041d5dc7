"""vornix_tools: graph files, DOT, FBP import/export, recorder and replay."""

import copy
import json
import os
import shutil
import subprocess

import pytest
import vornix_sim as vs
import vornix_tools as vt
from tools_support import T, chain_graph, drive, edge, rich_graph, sends, takes, validation

HAVE_DOT = shutil.which("dot") is not None


def test_graph_file_round_trip(tmp_path):
    for graph in (rich_graph(), chain_graph(), vs.Graph([], [])):
        data = vt.graph_to_dict(graph)
        json.dumps(data)  # plain data
        path = tmp_path / "g.json"
        vt.save_graph(graph, path)
        again = vt.load_graph(path)
        assert validation(again) == validation(graph)
        assert vt.to_dot(again) == vt.to_dot(graph)
        assert vt.graph_to_dict(again) == data
    # Order that the engine keeps, and repetitions of an edge into one port, survive.
    again = vt.graph_from_dict(vt.graph_to_dict(rich_graph()))
    worker = again.nodes()['Wor"ker \\ 1']
    assert list(worker.in_salvo_conditions) == ["b", "a"]
    assert [repr(t) for t in worker.dependency_request_config.triggers] == [
        "DependencyRequestTrigger.OnStartup", "DependencyRequestTrigger.OnNoSalvoTriggered",
        "DependencyRequestTrigger.OnStartup"]
    assert len(again.get_edges_by_head(edge("Source", "out", 'Wor"ker \\ 1', "in").target)) == 2
    assert repr(worker.in_salvo_conditions["b"].term) == repr(rich_graph().nodes()['Wor"ker \\ 1']
                                                               .in_salvo_conditions["b"].term)


def _file(**node):
    node.setdefault("name", "A")
    return {"format": "vornix-graph", "version": 1, "nodes": [node]}


def _nested(depth):
    term = {"kind": "true"}
    for _ in range(depth):
        term = {"kind": "not", "term": term}
    return term


HOSTILE = [
    # (input: data, or text / bytes to parse, expected path)
    ("[]", "$"),
    ("{", "$"),
    (b"\xff\xfe{}", "$"),
    ('{"format": "vornix-graph", "format": "x"}', "$"),
    ('{"format": "vornix-graph", "version": 1, "nodes": [], "x": NaN}', "$"),
    ('{"format": "vornix-graph", "version": 1e999, "nodes": []}', "$"),
    ("[" * 100000 + "]" * 100000, "$"),
    ({"format": "vornix-graph", "version": 2, "nodes": []}, "$.version"),
    ({"format": "vornix-graph", "version": True, "nodes": []}, "$.version"),
    ({"format": "vornix-graph", "version": "1", "nodes": []}, "$.version"),
    ({"format": "other", "version": 1, "nodes": []}, "$.format"),
    ({"format": "vornix-graph", "version": 1, "nodes": {}}, "$.nodes"),
    ({"format": "vornix-graph", "version": 1, "nodes": [], "extra": 1}, "$.extra"),
    (_file(name=5), "$.nodes[0].name"),
    (_file(name="\ud800"), "$.nodes[0].name"),
    (_file(bogus=1), "$.nodes[0].bogus"),
    (_file(in_ports={"x": {"capacity": 2**64}}), "$.nodes[0].in_ports.x.capacity"),
    (_file(in_ports={"x": {"capacity": -1}}), "$.nodes[0].in_ports.x.capacity"),
    (_file(in_ports={"x": {"capacity": 1.5}}), "$.nodes[0].in_ports.x.capacity"),
    (_file(in_ports={"x": {"capacity": True}}), "$.nodes[0].in_ports.x.capacity"),
    (_file(in_ports={"x": {"capacity": 10**5000}}), "$.nodes[0].in_ports.x.capacity"),
    (_file(in_ports={"x y": 3}), '$.nodes[0].in_ports["x y"]'),
    (_file(in_salvo_conditions=[{"name": "c", "term": _nested(150)}]),
     "$.nodes[0].in_salvo_conditions[0].term" + ".term" * 101),
    (_file(in_salvo_conditions=[{"name": "c", "term": {"kind": "xor"}}]),
     "$.nodes[0].in_salvo_conditions[0].term.kind"),
    (_file(in_salvo_conditions=[{"name": "c", "term": {"kind": "and", "terms": [{"kind": "port", "port": "p",
                                                                                  "state": {"equals": 1, "less_than": 2}}]}}]),
     "$.nodes[0].in_salvo_conditions[0].term.terms[0].state"),
    (_file(in_salvo_conditions=[{"name": "c", "term": {"kind": "true"}, "ports": {"p": "some"}}]),
     "$.nodes[0].in_salvo_conditions[0].ports.p"),
    (_file(in_salvo_conditions=[{"name": "c", "term": {"kind": "true"}}, {"name": "c", "term": {"kind": "true"}}]),
     "$.nodes[0].in_salvo_conditions[1].name"),
    (_file(dependency_request_config={"triggers": ["Never"], "label": "x"}),
     "$.nodes[0].dependency_request_config.triggers[0]"),
    ({"format": "vornix-graph", "version": 1, "nodes": [{"name": "A"}, {"name": "A"}]}, "$.nodes[1].name"),
    ({"format": "vornix-graph", "version": 1, "nodes": [],
      "edges": [{"source": {"node": "A", "type": "sideways", "port": "x"}, "target": {}}]}, "$.edges[0].source.type"),
]


@pytest.mark.parametrize("raw, path", HOSTILE, ids=[str(i) for i in range(len(HOSTILE))])
def test_hostile_graph_files(raw, path):
    with pytest.raises(vt.GraphFileError) as info:
        vt.graph_from_dict(vt.graphfile.parse_json(raw) if isinstance(raw, (str, bytes)) else raw)
    assert info.value.path == path, str(info.value)
    assert str(info.value).startswith(path + ": ")


def _leaves(data, path=()):
    if isinstance(data, dict):
        for k, v in data.items():
            yield from _leaves(v, path + (k,))
    elif isinstance(data, list):
        for i, v in enumerate(data):
            yield from _leaves(v, path + (i,))
    yield path


def test_every_element_replaced_by_a_wrong_value_raises_the_file_error():
    """Nothing but GraphFileError (or success) for any single wrong element."""
    good = vt.graph_to_dict(rich_graph())
    wrong = [None, True, -1, 2**64, 1.5, "x", [], {}, [{}], {"kind": "and"}]
    for path in _leaves(good):
        for value in wrong:
            data = copy.deepcopy(good)
            if not path:
                data = value
            else:
                parent = data
                for key in path[:-1]:
                    parent = parent[key]
                parent[path[-1]] = value
            try:
                vt.graph_from_dict(data)
            except vt.GraphFileError:
                pass


@pytest.mark.skipif(not HAVE_DOT, reason="Graphviz's dot is not installed")
def test_dot_parses_back_with_graphviz(tmp_path):
    graph = rich_graph()
    out = subprocess.run(["dot", "-Tjson"], input=vt.to_dot(graph).encode(), capture_output=True,
                         env=vt.dot.clean_env(), check=True)
    parsed = json.loads(out.stdout)
    names = {o["name"] for o in parsed["objects"]}
    assert set(graph.nodes()) - {'Wor"ker \\ 1'} <= names
    assert 'Wor"ker \\\\ 1' in names  # dot keeps the backslash escape of an ID
    by_id = {o["_gvid"]: o["name"] for o in parsed["objects"]}
    drawn = sorted((by_id[e["tail"]], e.get("tailport", ""), by_id[e["head"]], e.get("headport", ""),
                    e.get("style", "solid")) for e in parsed["edges"])
    assert len(drawn) == len(graph.edges()) + 1  # plus the dependency edge outside the graph
    dashed = [d for d in drawn if d[4] == "dashed"]
    assert len(dashed) == 2
    assert ("Source", "o0", "Sink", "i0", "solid") in drawn
    vt.render(graph, tmp_path / "g.svg")
    assert (tmp_path / "g.svg").read_bytes().lstrip().startswith((b"<?xml", b"<svg"))


def test_render_names_the_missing_program(monkeypatch, tmp_path):
    monkeypatch.setenv("PATH", str(tmp_path))
    with pytest.raises(vt.GraphvizNotFoundError, match="'dot'"):
        vt.render(chain_graph(), tmp_path / "g.svg")


def test_dot_is_deterministic_and_labels_capacities_and_conditions():
    dot = vt.to_dot(chain_graph())
    assert dot == vt.to_dot(vt.graph_from_dict(vt.graph_to_dict(chain_graph())))
    assert "<i0> in\\ [1]" in dot and "in:\\ take" in dot
    assert '"Source":o0 -> "Worker":i0 [style=dashed' in dot
    # A control character and the text that shows it get IDs of their own.
    lookalikes = vs.Graph([vs.Node("\n", out_ports={"o": vs.Port()}), vs.Node("\\u{a}")], [])
    assert '"\\u{a}" [' in vt.to_dot(lookalikes) and '"\\\\u{a}" [' in vt.to_dot(lookalikes)


FBP = {
    "properties": {"name": "count words"},
    "processes": {"Read": {"component": "fs/ReadFile", "metadata": {"x": 1}},
                  "Split": {"component": "strings/Split"},
                  "Count": {"component": "core/Count"},
                  "Show": {"component": "core/Output"}},
    "connections": [
        {"data": "words.txt", "tgt": {"process": "Read", "port": "in"}},
        {"src": {"process": "Read", "port": "out"}, "tgt": {"process": "Split", "port": "in"}},
        {"src": {"process": "Split", "port": "out"}, "tgt": {"process": "Count", "port": "in"}},
        {"src": {"process": "Split", "port": "out"}, "tgt": {"process": "Show", "port": "in", "index": 0}},
        {"src": {"process": "Count", "port": "out"}, "tgt": {"process": "Show", "port": "in", "index": 1}},
    ],
    "inports": {"FILE": {"process": "Read", "port": "in"}},
    "exports": [{"private": "show.in[0]", "public": "SHOWN"}, {"private": "count.out", "public": "COUNT"}],
}


def test_fbp_import_keeps_fanout_unless_split():
    plain = vt.graph_from_fbp(FBP)
    assert [e.kind for e in plain.graph.validate()] == ["MultipleEdgesFromOutputPort"]
    [(loc, value)] = plain.initial_packets
    assert (loc.node_name, loc.port_name, value) == ("Read", "in", "words.txt")
    assert str(plain.inports["FILE"]) == "Read.in.in" and str(plain.outports["COUNT"]) == "Count.out.out"
    assert str(plain.inports["SHOWN"]) == "Show.in.in[0]"
    show = plain.graph.nodes()["Show"]
    assert sorted(show.in_ports) == ["in[0]", "in[1]"] and sorted(show.in_salvo_conditions) == ["in[0]", "in[1]"]

    split = vt.graph_from_fbp(json.dumps(FBP), split_fanout=True)
    assert split.graph.validate() == [] and split.splitters == ["Split.out/split"]
    sim = vs.NetSim(split.graph)  # runs: place the initial packet and let it flow
    pid = sim.do_action(vs.NetAction.create_packet())[0].packet_id
    sim.do_action(vs.NetAction.transport_packet_to_location(pid, split.initial_packets[0][0]))
    assert sim.run_until_blocked()[-1].kind == "PacketMoved"


def test_fbp_round_trip():
    for graph in (chain_graph(), vt.graph_from_fbp(FBP, split_fanout=True).graph):
        again = vt.graph_from_fbp(json.loads(json.dumps(vt.graph_to_fbp(graph)))).graph
        assert vt.graph_to_dict(again) == vt.graph_to_dict(graph)
        assert vt.to_dot(again) == vt.to_dot(graph) and validation(again) == validation(graph)
    data = vt.graph_to_fbp(chain_graph(), initial_packets=[(vs.PacketLocation.input_port("Worker", "in"), 7)])
    assert vt.graph_from_fbp(data).initial_packets[0][1] == 7


@pytest.mark.parametrize("data, path", [
    ({"processes": []}, "$.processes"),
    ({"processes": {"A": {}}}, "$.processes.A"),
    ({"processes": {"A": {"component": "c"}}, "connections": [{"tgt": {"process": "B", "port": "in"}}]},
     "$.connections[0].tgt.process"),
    ({"processes": {"A": {"component": "c"}}, "connections": [
        {"data": 1, "src": {"process": "A", "port": "o"}, "tgt": {"process": "A", "port": "in"}}]}, "$.connections[0]"),
    ({"processes": {"A": {"component": "c"}}, "connections": [{"tgt": {"process": "A", "port": "in"}}]},
     "$.connections[0]"),
    ({"processes": {"A": {"component": "c"}}, "connections": [{"tgt": {"process": "A", "port": "in", "index": -1},
                                                               "data": 0}]}, "$.connections[0].tgt.index"),
    ({"processes": {"A": {"component": "c", "metadata": {"vornix": {"in_ports": 3}}}}},
     "$.processes.A.metadata.vornix.in_ports"),
    ({"processes": {}, "exports": [{"private": "nodot", "public": "X"}]}, "$.exports[0].private"),
])
def test_hostile_fbp_files(data, path):
    with pytest.raises(vt.GraphFileError) as info:
        vt.graph_from_fbp(data)
    assert info.value.path == path, str(info.value)


def test_recorder_results_and_replay(tmp_path):
    graph = chain_graph()
    bare, recorder = vs.NetSim(graph), vt.Recorder(vs.NetSim(graph))
    assert [e.kind for e in recorder.run_until_blocked()] == [e.kind for e in bare.run_until_blocked()]
    snapshots = {}
    drive(recorder, graph, snapshots)
    assert len(snapshots) > 15 and max(snapshots) == len(recorder.entries)
    failed = [e for e in recorder.entries if not e.ok]
    assert [e.error.split(":")[0] for e in failed] == ["EpochNotFoundError"]
    vt.write_html(recorder, tmp_path / "run.html")  # replay agrees with every live count
    page = (tmp_path / "run.html").read_text()
    assert "http://" not in page.replace("http://www.w3.org/2000/svg", "") and "https://" not in page

    # A replay that misses a change is caught.
    recorder.entries[2].events = []
    with pytest.raises(vt.ReplayMismatchError):
        vt.write_html(recorder, tmp_path / "bad.html")


def test_page_counts_each_place_apart_whatever_its_names_hold():
    lookalikes = vs.Graph([vs.Node("a.in.b", in_ports={"c": vs.Port()}),
                           vs.Node("a", in_ports={"b.in.c": vs.Port()})], [])
    items = vt.viewer._items(lookalikes)
    assert len(set(items)) == len(items) == 5


def test_recorder_follows_changes_without_events(tmp_path):
    """A failed run step keeps its edge moves and lists their events on the
    exception; a failed undo may stop part-way, and the recorder reads the
    state back after it."""
    a = vs.Node("A", out_ports={"out": vs.Port()}, out_salvo_conditions={"send": sends("out")})
    b = vs.Node("B", in_ports={"in": vs.Port(), "ctl": vs.Port()}, out_ports={"out": vs.Port()},
                in_salvo_conditions={"take": vs.SalvoCondition(vs.MaxSalvos.finite(1), "in", T.false_())},
                out_salvo_conditions={"send": sends("out")})
    c = vs.Node("C", in_ports={"in": vs.Port()}, in_salvo_conditions={"take": takes("in")},
                dependency_request_config=vs.DependencyRequestConfig([vs.DependencyRequestTrigger.OnStartup], "go"))
    dep = edge("B", "out", "C", "in")
    graph = vs.Graph([a, b, c], [edge("A", "out", "B", "in"), dep], dependency_edges=[dep])
    recorder = vt.Recorder(vs.NetSim(graph))
    pid = recorder.do_action(vs.NetAction.create_packet())[0].packet_id
    recorder.do_action(vs.NetAction.transport_packet_to_location(
        pid, vs.PacketLocation.edge(edge("A", "out", "B", "in"))))
    with pytest.raises(vs.RequestUnconnectedPortError):
        recorder.run_step()
    assert recorder.packet_count_at(vs.PacketLocation.input_port("B", "in")) == 1
    create = vs.NetAction.create_packet()
    _, events = recorder.do_action(create)
    recorder.undo_action(create, events)
    with pytest.raises(vs.UndoNotFoundError):
        recorder.undo_action(create, events)
    step = recorder.entries[2]
    assert step.resync is None and [e.kind for e in step.events] == ["PacketMoved", "RequestCreated"]
    assert recorder.entries[-1].resync is not None
    states = [dict(s.counts) for _, s, _ in vt.replay(recorder)]
    assert states[2][("in", "B", "in")] == 1
    vt.write_html(recorder, tmp_path / "run.html")
