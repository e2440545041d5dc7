"""Graphs and runs shared by the vornix_tools tests."""

import vornix_sim as vs
from vornix_tools.viewer import edge_item, in_item, inside_item, out_item

T = vs.SalvoConditionTerm


def takes(port):
    return vs.SalvoCondition(vs.MaxSalvos.finite(1), port, T.port(port, vs.PortState.NonEmpty))


def sends(port):
    return vs.SalvoCondition(vs.MaxSalvos.Infinite, port, T.port(port, vs.PortState.NonEmpty))


def ref(node, side, port):
    return vs.PortRef(node, vs.PortType.Input if side == "in" else vs.PortType.Output, port)


def edge(a, ap, b, bp):
    return vs.Edge(ref(a, "out", ap), ref(b, "in", bp))


def rich_graph():
    """Every kind of element, on purpose not all of it valid."""
    deep = T.port("in", vs.PortState.NonEmpty)
    for i in range(30):
        deep = T.not_(deep) if i % 2 else T.and_([deep, T.true_()])
    term = T.or_([
        T.and_([T.port("in", vs.PortState.equals(3)), T.not_(T.port("ctl", vs.PortState.less_than(2)))]),
        T.port("ctl", vs.PortState.equals_or_greater_than(2**64 - 1)), T.false_(), T.and_([]), deep,
    ])
    worker = vs.Node(
        'Wor"ker \\ 1',
        in_ports={"in": vs.Port(vs.PortSlotSpec.finite(2)), "ctl": vs.Port()},
        out_ports={"out": vs.Port(vs.PortSlotSpec.finite(0)), "err": vs.Port()},
        in_salvo_conditions={  # order matters: "b" is tried first
            "b": vs.SalvoCondition(vs.MaxSalvos.finite(1), {"in": vs.PacketCount.count(2), "ctl": vs.PacketCount.All},
                                   term),
            "a": vs.SalvoCondition(vs.MaxSalvos.Infinite, ["in", "ghost"], T.port("nowhere", vs.PortState.Full)),
        },
        out_salvo_conditions={"send": sends("out"), "fail": sends("err")},
        dependency_request_config=vs.DependencyRequestConfig(
            [vs.DependencyRequestTrigger.OnStartup, vs.DependencyRequestTrigger.OnNoSalvoTriggered,
             vs.DependencyRequestTrigger.OnStartup], "fetch"),
    )
    source = vs.Node("Source", out_ports={"out": vs.Port()}, out_salvo_conditions={"send": sends("out")})
    sink = vs.Node("Sink", in_ports={"in": vs.Port()}, in_salvo_conditions={"take": takes("in")},
                   dependency_request_config=vs.DependencyRequestConfig([], ""))
    feed = edge("Source", "out", 'Wor"ker \\ 1', "in")
    edges = [feed, edge('Wor"ker \\ 1', "out", "Sink", "in"), feed,  # repeated edge
             edge("Source", "out", "Sink", "in"),  # fan-out
             edge('Wor"ker \\ 1', "err", "Missing", "in"),
             vs.Edge(ref("Sink", "in", "in"), ref("Source", "out", "out"))]  # wrong directions
    return vs.Graph([worker, source, sink], edges,
                    dependency_edges=[feed, edge("Source", "out", "Nowhere", "x")])


def chain_graph():
    """Source -> Worker -> Sink, valid, the Worker asking for work at startup."""
    source = vs.Node("Source", out_ports={"out": vs.Port()}, out_salvo_conditions={"send": sends("out")})
    worker = vs.Node("Worker", in_ports={"in": vs.Port(vs.PortSlotSpec.finite(1))}, out_ports={"out": vs.Port()},
                     in_salvo_conditions={"take": takes("in")}, out_salvo_conditions={"send": sends("out")},
                     dependency_request_config=vs.DependencyRequestConfig(
                         [vs.DependencyRequestTrigger.OnStartup], "warm-up"))
    sink = vs.Node("Sink", in_ports={"in": vs.Port()}, in_salvo_conditions={"take": takes("in")})
    feed = edge("Source", "out", "Worker", "in")
    return vs.Graph([source, worker, sink], [feed, edge("Worker", "out", "Sink", "in")], dependency_edges=[feed])


def validation(graph):
    return sorted((e.kind, e.message) for e in graph.validate())


def all_locations(sim, graph, epoch_ids):
    """Every location whose count a viewer shows, with the simulation's count."""
    out = {"outside": sim.packet_count_at(vs.PacketLocation.outside_net())}
    for e in graph.edges():
        out[edge_item(e)] = sim.packet_count_at(vs.PacketLocation.edge(e))
    nodes = graph.nodes()
    live = [sim.get_epoch(eid) for eid in epoch_ids]
    live = [e for e in live if e is not None]
    for name, node in nodes.items():
        for p in node.in_ports:
            out[in_item(name, p)] = sim.packet_count_at(vs.PacketLocation.input_port(name, p))
        for p in node.out_ports:
            out[out_item(name, p)] = sum(sim.packet_count_at(vs.PacketLocation.output_port(e.id, p))
                                         for e in live if e.node_name == name)
        out[inside_item(name)] = sum(sim.packet_count_at(vs.PacketLocation.node(e.id))
                                     for e in live if e.node_name == name)
    epochs = {e.id: (repr(e.state).split(".")[1], sim.packet_count_at(vs.PacketLocation.node(e.id))) for e in live}
    return out, epochs


def drive(recorder, graph, snapshots):
    """Runs the chain graph through a recorder with every kind of call; after
    most recorded calls stores what the simulation says in `snapshots`, keyed
    by the viewer's step number (the number of recorded calls so far)."""
    epoch_ids = set()

    def snap(events=()):
        for ev in events:
            if ev.epoch_id is not None:
                epoch_ids.add(ev.epoch_id)
        snapshots[len(recorder.entries)] = all_locations(recorder.sim, graph, epoch_ids)

    def act(action):
        data, events = recorder.do_action(action)
        snap(events)
        return data, events

    for _ in range(3):
        snap(recorder.run_until_blocked())
        startable = sorted(str(e) for e in recorder.get_startable_epochs())
        if not startable:
            break
        eid = startable[0]
        act(vs.NetAction.start_epoch(eid))
        epoch = recorder.get_epoch(eid)
        if epoch.in_salvo.packets:
            pid = epoch.in_salvo.packets[0][1]
        else:
            pid = act(vs.NetAction.create_packet(eid))[0].packet_id
        if epoch.node_name == "Sink":
            act(vs.NetAction.consume_packet(pid))
        else:
            act(vs.NetAction.load_packet_into_output_port(pid, "out"))
            act(vs.NetAction.send_output_salvo(eid, "send"))
        act(vs.NetAction.finish_epoch(eid))
    pid = act(vs.NetAction.create_packet())[0].packet_id
    move = vs.NetAction.transport_packet_to_location(pid, vs.PacketLocation.input_port("Worker", "in"))
    _, events = act(move)
    recorder.undo_action(move, events)
    snap()
    try:
        recorder.do_action(vs.NetAction.start_epoch(pid))
    except vs.EpochNotFoundError:
        snap()
    act(vs.NetAction.transport_packet_to_location(pid, vs.PacketLocation.input_port("Worker", "in")))
    act(vs.NetAction.run_step())
