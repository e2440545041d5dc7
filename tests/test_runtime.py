"""The runtime: real programs run on it, and what survives when one fails."""

import collections
import pickle
import signal

import pytest
import vornix_sim as vs
import vornix_tools as vt

from tools_support import T, edge, sends, takes


def node(name, ins=(), outs=(), take=None, deps=None):
    conditions = {}
    if ins:
        conditions["take"] = take or takes(ins[0])
    return vs.Node(name, in_ports={p: vs.Port() for p in ins},
                   out_ports={p: vs.Port() for p in outs}, in_salvo_conditions=conditions,
                   out_salvo_conditions={p: sends(p) for p in outs},
                   dependency_request_config=deps)


def word_count_graph():
    nodes = [node("Split", ["in"], ["out"]), node("Count", ["in"], ["out"]),
             node("Shout", ["in"], ["out"])]
    return vs.Graph(nodes, [edge("Split", "out", "Count", "in"),
                            edge("Count", "out", "Shout", "in")])


def live_packets(events):
    """The packets the event log says exist."""
    live = set()
    for e in events:
        if e.kind == "PacketCreated":
            live.add(e.packet_id)
        elif e.kind in ("PacketConsumed", "PacketDestroyed"):
            live.discard(e.packet_id)
    return live


def assert_books_agree(rt):
    """Every value belongs to a packet that exists; the log explains them all."""
    live = live_packets(rt.events)
    assert set(rt._values) <= live
    assert all(rt.sim.get_packet(pid) is not None for pid in live)


def test_pipeline_transforms_values_and_runs_are_deterministic():
    def run_once():
        counts = collections.Counter()
        rt = vt.Runtime(word_count_graph())

        @rt.behaviour("Split")
        def split(act):
            for line in act.inputs["in"]:
                for word in line.split():
                    act.emit("out", word.lower())

        @rt.behaviour("Count")
        def count(act):
            (word,) = act.inputs["in"]
            counts[word] += 1
            act.emit("out", (word, counts[word]))

        ids = rt.feed("Split", "in", ["the cat", "The dog and the cat"])
        assert rt.value_of(ids[0]) == "the cat"
        result = rt.run()
        with pytest.raises(KeyError):
            rt.value_of(ids[0])  # consumed by Split: its value is gone
        assert_books_agree(rt)
        return result

    first, second = run_once(), run_once()
    # Shout has no behaviour: it passes the values on, out of the network.
    assert first.outputs == {("Shout", "out"): [
        ("the", 1), ("cat", 1), ("the", 2), ("dog", 1), ("and", 1), ("the", 3), ("cat", 2)]}
    assert first.activations == 1 + 7 + 7 and first.complete  # one salvo takes both lines
    assert vt.canonical(first.events) == vt.canonical(second.events)
    assert vt.canonical(first.events) != vt.canonical(second.events[:-1])
    kinds = collections.Counter(e.kind for e in first.events)
    assert kinds["EpochFinished"] == 15 and kinds["PacketOrphaned"] == 7


def test_join_needs_both_inputs_and_the_page_shows_values(tmp_path):
    both = vs.SalvoCondition(vs.MaxSalvos.finite(1), ["a", "b"],
                             T.and_([T.port("a", vs.PortState.NonEmpty),
                                     T.port("b", vs.PortState.NonEmpty)]))
    graph = vs.Graph([node("Join", ["a", "b"], ["sum", "sink"], take=both)], [])
    join = lambda act: act.emit("sum", sum(act.inputs["a"] + act.inputs["b"]))  # noqa: E731
    rt = vt.Runtime(graph, {"Join": join}, record=True)
    rt.feed("Join", "a", [1, 2])
    assert rt.run().activations == 0  # nothing on "b" yet: the join waits
    rt.feed("Join", "b", [40, 50])
    result = rt.run()
    # The salvo takes every packet waiting at both ports.
    assert result.outputs == {("Join", "sum"): [93]} and result.activations == 1
    page = vt.write_html(rt.recording, tmp_path / "join.html")
    assert "= 93" in page.read_text() if hasattr(page, "read_text") else "= 93" in open(page).read()


def test_a_source_started_by_a_request_and_by_hand():
    asks = vs.DependencyRequestConfig([vs.DependencyRequestTrigger.OnStartup], "warm-up")
    feed = edge("Source", "out", "Sink", "in")
    graph = vs.Graph([node("Source", outs=["out"]), node("Sink", ["in"], deps=asks)], [feed],
                     dependency_edges=[feed])
    made = []
    rt = vt.Runtime(graph)

    @rt.behaviour("Source")
    def source(act):
        made.append(act.epoch_id)
        assert act.inputs == {}
        act.emit("out", len(made))

    got = []
    rt.behaviour("Sink")(lambda act: got.extend(act.inputs["in"]))
    result = rt.run()  # the startup request sets the source going once
    assert got == [1] and result.activations == 2
    rt.start("Source", times=3)
    partial = rt.run(max_activations=2)
    assert not partial.complete and partial.activations == 2
    rest = rt.run()
    assert rest.complete and got == [1, 2, 3, 4]
    assert [e.kind for e in rest.events].count("EpochStarted") == 4  # 1 source, 3 sinks
    with pytest.raises(ValueError, match="Nowhere"):
        rt.start("Nowhere")
    with pytest.raises(ValueError, match="Nowhere"):
        vt.Runtime(graph, {"Nowhere": print})
    with pytest.raises(ValueError, match="'nope'"):
        rt.feed("Sink", "nope", [1])


def test_failures_keep_the_simulation_as_it_was():
    graph = vs.Graph([node("Work", ["in"], ["out", "side"])], [])
    limited = vs.Node("Work", in_ports={"in": vs.Port()},
                      out_ports={"out": vs.Port(vs.PortSlotSpec.finite(1))},
                      in_salvo_conditions={"take": takes("in")},
                      out_salvo_conditions={"out": sends("out")})
    cases = [
        # (graph, behaviour, cause type, text in the message)
        (graph, lambda act: [act.emit("out", "kept"), 1 / 0], ZeroDivisionError, "ZeroDivision"),
        (vs.Graph([limited], []), lambda act: [act.emit("out", 1), act.emit("out", 2)],
         vs.OutputPortFullError, "OutputPortFull"),
        (graph, lambda act: act.send("nope"), ValueError, "nope"),
        (graph, lambda act: runtimes[-1].run(), RuntimeError, "already running"),
    ]
    runtimes = []
    for g, fn, cause, text in cases:
        rt = vt.Runtime(g, {"Work": fn})
        runtimes.append(rt)
        (pid,) = rt.feed("Work", "in", [{"payload": 1}])
        with pytest.raises(vt.NodeError, match=text) as info:
            rt.run()
        err = info.value
        assert isinstance(err.__cause__, cause) and err.node == "Work"
        epoch = rt.sim.get_epoch(err.epoch_id)
        assert epoch is not None and epoch.state == vs.EpochState.Running
        assert rt.value_of(pid) == {"payload": 1}  # the input is still inside the epoch
        assert_books_agree(rt)
        if cause is vs.OutputPortFullError:  # the packet the refused load was for is gone
            assert [e.kind for e in rt.events][-2:] == ["PacketCreated", "PacketDestroyed"]

    # A packet that no condition sends is named with its port.
    side_only = vs.Graph([vs.Node("Work", in_ports={"in": vs.Port()}, out_ports={"side": vs.Port()},
                                  in_salvo_conditions={"take": takes("in")})], [])
    rt = vt.Runtime(side_only, {"Work": lambda act: act.emit("side", 0)})
    rt.feed("Work", "in", [0])
    with pytest.raises(vt.NodeError, match="'side'"):
        rt.run()


def test_ctrl_c_loses_nothing():
    class Loud:
        """Ctrl-C arrives while the runtime notes this value (its repr, for the page)."""

        def __repr__(self):
            signal.raise_signal(signal.SIGINT)
            return "Loud()"

    def work(act):
        act.emit("out", Loud())
        act.emit("side", "never")

    graph = vs.Graph([node("Work", ["in"], ["out", "side"])], [])
    rt = vt.Runtime(graph, {"Work": work}, record=True)
    rt.feed("Work", "in", ["x"])
    with pytest.raises(KeyboardInterrupt):
        rt.run()
    # The interrupt was held until the emit was complete, then reached the behaviour.
    loaded = [e for e in rt.events
              if e.kind == "PacketMoved" and e.to_location.kind == "OutputPort"]
    assert len(loaded) == 1 and isinstance(rt.value_of(loaded[0].packet_id), Loud)
    assert_books_agree(rt)
    assert signal.getsignal(signal.SIGINT) is signal.default_int_handler


def test_recorder_stops_where_the_netsim_stops():
    """A node whose condition holds without its salvo taking the packet fires
    an epoch every step: both loops stop after one step instead of forever."""
    greedy = vs.Node("Greedy", in_ports={"in": vs.Port()},
                     in_salvo_conditions={
                         "any": vs.SalvoCondition(vs.MaxSalvos.finite(1), [], T.true_())})
    graph = vs.Graph([greedy], [])
    runs = []
    for sim in (vs.NetSim(graph), vt.Recorder(vs.NetSim(graph))):
        pid = sim.do_action(vs.NetAction.create_packet())[0].packet_id
        sim.do_action(vs.NetAction.transport_packet_to_location(
            pid, vs.PacketLocation.input_port("Greedy", "in")))
        runs.append([e.kind for e in sim.run_until_blocked()])
    assert runs[0] == runs[1] == ["InputSalvoTriggered", "EpochCreated"]


def test_graph_pickles_for_runs_elsewhere():
    graph = pickle.loads(pickle.dumps(word_count_graph()))
    rt = vt.Runtime(graph)
    rt.feed("Split", "in", ["a"])
    assert rt.run().outputs == {("Shout", "out"): ["a"]}


@pytest.mark.parametrize("outs, send, left", [
    # Room for one packet per port: the values go out one send at a time.
    ({"out": 1}, sends, None),
    ({"a": None, "b": 1}, sends, None),
    # A condition that waits for two can never send from a port that holds one.
    ({"out": 1}, lambda p: vs.SalvoCondition(
        vs.MaxSalvos.Infinite, p, T.port(p, vs.PortState.equals(2))), "out"),
])
def test_a_node_without_behaviour_passes_values_through_small_ports(outs, send, left):
    def slots(cap):
        return vs.Port(vs.PortSlotSpec.finite(cap) if cap else vs.PortSlotSpec.Infinite)

    n = vs.Node("N", in_ports={"in": vs.Port()},
                out_ports={p: slots(cap) for p, cap in outs.items()},
                in_salvo_conditions={"take": vs.SalvoCondition(
                    vs.MaxSalvos.finite(1), "in", T.port("in", vs.PortState.NonEmpty))},
                out_salvo_conditions={p: send(p) for p in outs})
    rt = vt.Runtime(vs.Graph([n], []))
    rt.feed("N", "in", ["x", "y"])
    if left is None:
        assert rt.run().outputs == {("N", p): ["x", "y"] for p in outs}
    else:
        with pytest.raises(vt.NodeError, match=f"output port '{left}' is full and no output"):
            rt.run()
    assert_books_agree(rt)
