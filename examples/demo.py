"""A small flow-based network described from Python.

Builds a three-node pipeline (a source, a worker with a capacity-limited
input, a sink), prints its parts, validates it, then shows what validation
reports for a broken variant of the same network.
"""

import vornix_sim as vs


def pipeline(extra_edges=()):
    take_in = vs.SalvoCondition(
        vs.MaxSalvos.finite(1), "in", vs.SalvoConditionTerm.port("in", vs.PortState.NonEmpty)
    )
    send_out = vs.SalvoCondition(
        vs.MaxSalvos.Infinite, "out", vs.SalvoConditionTerm.port("out", vs.PortState.NonEmpty)
    )
    source = vs.Node("Source", out_ports={"out": vs.Port()}, out_salvo_conditions={"send": send_out})
    worker = vs.Node(
        "Worker",
        in_ports={"in": vs.Port(vs.PortSlotSpec.finite(1))},
        out_ports={"out": vs.Port()},
        in_salvo_conditions={"take": take_in},
        out_salvo_conditions={"send": send_out},
        dependency_request_config=vs.DependencyRequestConfig(
            [vs.DependencyRequestTrigger.OnStartup], "warm-up"
        ),
    )
    sink = vs.Node("Sink", in_ports={"in": vs.Port()}, in_salvo_conditions={"take": take_in})

    def edge(a, b):
        return vs.Edge(vs.PortRef(a, vs.PortType.Output, "out"), vs.PortRef(b, vs.PortType.Input, "in"))

    edges = [edge("Source", "Worker"), edge("Worker", "Sink"), *extra_edges]
    return vs.Graph([source, worker, sink], edges, dependency_edges=[edges[0]])


def main():
    graph = pipeline()
    print(graph)
    for name, node in sorted(graph.nodes().items()):
        print(f"  {node!r}: in={sorted(node.in_ports)} out={sorted(node.out_ports)}")
        for cname, cond in node.in_salvo_conditions.items():
            print(f"    input condition {cname!r}: {cond!r}")
    for e in sorted(graph.edges(), key=str):
        print(f"  edge {e}{'  (dependency)' if graph.is_dependency_edge(e) else ''}")
    print("validation errors:", graph.validate())

    broken = pipeline(extra_edges=[
        vs.Edge(vs.PortRef("Worker", vs.PortType.Output, "out"), vs.PortRef("Ghost", vs.PortType.Input, "in")),
    ])
    print(broken)
    for error in broken.validate():
        print(f"  {error.kind}: {error}")
        print(f"    details: {error.details}")


if __name__ == "__main__":
    main()
