"""The low-level API: a host loop written by hand.

vornix_tools.Runtime (see demo.py) writes this loop for you; this example
shows what it does underneath. Three nodes in a line: Source -> Worker -> Sink. The Worker asks for work at
startup through its dependency edge, so the first steps create an epoch at
the Source; the host program (this script) then plays the nodes: it starts
epochs, creates packets, loads output ports and sends salvos, while the
engine's automatic steps carry packets along edges and fire input salvo
conditions. Every change comes back as an event; the last action is undone.

The run is recorded: at the end the example writes the graph as SVG (when
Graphviz is installed) and a page that steps through the run in a browser.
"""

import os
import sys
from typing import Any, List, Optional, Tuple, Union

import vornix_sim as vs
import vornix_tools as vt


# The simulation, bare or wrapped by a Recorder (which drives it alike).
Sim = Union[vs.NetSim, vt.Recorder]


def build_graph() -> vs.Graph:
    def takes(port: str) -> vs.SalvoCondition:
        return vs.SalvoCondition(
            vs.MaxSalvos.finite(1), port, vs.SalvoConditionTerm.port(port, vs.PortState.NonEmpty)
        )

    def sends(port: str) -> vs.SalvoCondition:
        return vs.SalvoCondition(
            vs.MaxSalvos.Infinite, port, vs.SalvoConditionTerm.port(port, vs.PortState.NonEmpty)
        )

    source = vs.Node("Source", out_ports={"out": vs.Port()}, out_salvo_conditions={"send": sends("out")})
    worker = vs.Node(
        "Worker",
        in_ports={"in": vs.Port(vs.PortSlotSpec.finite(1))},
        out_ports={"out": vs.Port()},
        in_salvo_conditions={"take": takes("in")},
        out_salvo_conditions={"send": sends("out")},
        dependency_request_config=vs.DependencyRequestConfig(
            [vs.DependencyRequestTrigger.OnStartup], "warm-up"
        ),
    )
    sink = vs.Node("Sink", in_ports={"in": vs.Port()}, in_salvo_conditions={"take": takes("in")})

    def edge(a: str, b: str) -> vs.Edge:
        return vs.Edge(vs.PortRef(a, vs.PortType.Output, "out"), vs.PortRef(b, vs.PortType.Input, "in"))

    feed = edge("Source", "Worker")
    return vs.Graph([source, worker, sink], [feed, edge("Worker", "Sink")], dependency_edges=[feed])


def short(text: Optional[str]) -> str:
    """The last characters of an identifier: enough to tell them apart here."""
    return (text or "")[-6:]


def describe(event: vs.NetEvent) -> str:
    k = event.kind
    if k == "PacketMoved":
        return f"{k:24} {short(event.packet_id)}  {event.from_location!r} -> {event.to_location!r}"
    if k in ("PacketCreated", "PacketConsumed", "PacketDestroyed"):
        return f"{k:24} {short(event.packet_id)}"
    if k in ("EpochFinished", "EpochCancelled"):
        return f"{k:24} {event.epoch!r}"
    if k in ("RequestCreated",):
        return f"{k:24} node={event.node_name} label={event.label} source={event.request_source}"
    if k == "RequestCascadeResolved":
        return f"{k:24} sources={event.source_nodes} label={event.label}"
    if k == "RequestEpochCreated":
        return f"{k:24} {short(event.epoch_id)} at {event.node_name} for {event.label}"
    if k in ("InputSalvoTriggered", "OutputSalvoTriggered"):
        return f"{k:24} {short(event.epoch_id)} condition={event.salvo_condition}"
    return f"{k:24} {short(event.epoch_id)}"


def show(title: str, events: List[vs.NetEvent]) -> None:
    print(f"-- {title}")
    for e in events:
        print("   " + describe(e))


def act(
    sim: Sim, title: str, action: vs.NetAction
) -> Tuple[vs.NetActionResponseData, List[vs.NetEvent]]:
    data, events = sim.do_action(action)
    show(title, events)
    return data, events


def serve(sim: Sim, epoch_id: str) -> None:
    """Plays one node: start the epoch, forward its input (or make a packet), send it on."""
    act(sim, f"start epoch {short(epoch_id)}", vs.NetAction.start_epoch(epoch_id))
    epoch = sim.get_epoch(epoch_id)
    assert epoch is not None
    if epoch.in_salvo.packets:
        packet_id = epoch.in_salvo.packets[0][1]
    else:
        data, _ = act(sim, "create a packet inside it", vs.NetAction.create_packet(epoch_id))
        assert isinstance(data, vs.NetActionResponseData.Packet)
        packet_id = data.packet_id
    if epoch.node_name == "Sink":
        act(sim, "consume it", vs.NetAction.consume_packet(packet_id))
    else:
        act(sim, "load it into 'out'", vs.NetAction.load_packet_into_output_port(packet_id, "out"))
        act(sim, "send the 'send' salvo", vs.NetAction.send_output_salvo(epoch_id, "send"))
    act(sim, "finish the epoch", vs.NetAction.finish_epoch(epoch_id))


def main(out_dir: str) -> None:
    graph = build_graph()
    print(graph, "validation errors:", graph.validate())
    sim = vt.Recorder(vs.NetSim(graph), title="vornix_sim host loop: Source -> Worker -> Sink")
    print(sim, "blocked:", sim.is_blocked())

    for _ in range(3):
        show("run until blocked", sim.run_until_blocked())
        startable = [str(e) for e in sim.get_startable_epochs()]
        if not startable:
            break
        serve(sim, startable[0])

    print("blocked:", sim.is_blocked(), "| packets outside:", sim.packet_count_at(vs.PacketLocation.outside_net()))

    # Every action can be undone from the events it returned.
    _, events = act(sim, "create a packet outside the net", vs.NetAction.create_packet())
    packet_id = events[0].packet_id
    assert packet_id is not None
    action = vs.NetAction.transport_packet_to_location(
        packet_id, vs.PacketLocation.input_port("Worker", "in")
    )
    _, events = act(sim, "transport it to Worker.in", action)
    sim.undo_action(action, events)
    packet = sim.get_packet(packet_id)
    assert packet is not None
    print("-- undone: the packet is back at", packet.location)
    try:
        sim.do_action(vs.NetAction.start_epoch(packet_id))
    except vs.EpochNotFoundError as e:
        print("-- refused:", e)

    write_pictures(graph, sim, out_dir)


def write_pictures(graph: vs.Graph, recording: Any, out_dir: str) -> None:
    os.makedirs(out_dir, exist_ok=True)
    page = vt.write_html(recording, os.path.join(out_dir, "host_loop_run.html"))
    print(f"-- the run, step by step ({len(recording.entries)} steps): {os.path.abspath(page)}")
    try:
        svg = vt.render(graph, os.path.join(out_dir, "host_loop_graph.svg"))
        print("-- the graph:", os.path.abspath(svg))
    except vt.GraphvizNotFoundError as e:
        print("-- no graph picture:", e)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "build", "demo"))
