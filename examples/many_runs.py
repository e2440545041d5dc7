"""Many independent runs of one network, in parallel.

A parameter sweep: the same pipeline (Source -> Scale -> Total) run once per
factor. Graphs pickle, so each run can go to another process: here to a
concurrent.futures process pool, and (with --dask) to a Dask distributed
cluster of two worker processes. Each run returns its outputs and the
canonical form of its events, and the script checks that the parallel
results equal the same runs made one by one in this process.

    python examples/many_runs.py [--dask]
"""

import argparse
import concurrent.futures
from typing import Any, List, Tuple

import vornix_sim as vs
import vornix_tools as vt

Result = Tuple[List[Any], List[Tuple[Any, ...]]]


def build_graph() -> vs.Graph:
    def sends(port: str) -> vs.SalvoCondition:
        term = vs.SalvoConditionTerm.port(port, vs.PortState.NonEmpty)
        return vs.SalvoCondition(vs.MaxSalvos.Infinite, port, term)

    def takes(port: str) -> vs.SalvoCondition:
        term = vs.SalvoConditionTerm.port(port, vs.PortState.NonEmpty)
        return vs.SalvoCondition(vs.MaxSalvos.finite(1), port, term)

    source = vs.Node("Source", out_ports={"out": vs.Port()},
                     out_salvo_conditions={"out": sends("out")})
    scale = vs.Node("Scale", in_ports={"in": vs.Port(vs.PortSlotSpec.finite(1))},
                    out_ports={"out": vs.Port()}, in_salvo_conditions={"in": takes("in")},
                    out_salvo_conditions={"out": sends("out")})
    total = vs.Node("Total", in_ports={"in": vs.Port()}, out_ports={"sum": vs.Port()},
                    in_salvo_conditions={"in": takes("in")},
                    out_salvo_conditions={"sum": sends("sum")})

    def edge(a: str, b: str) -> vs.Edge:
        return vs.Edge(vs.PortRef(a, vs.PortType.Output, "out"),
                       vs.PortRef(b, vs.PortType.Input, "in"))

    return vs.Graph([source, scale, total], [edge("Source", "Scale"), edge("Scale", "Total")])


def one_run(graph: vs.Graph, factor: int) -> Result:
    """One run of the sweep: Source makes 1..10, Scale multiplies, Total sums
    what has arrived so far."""
    rt = vt.Runtime(graph)
    seen: List[int] = []

    @rt.behaviour("Source")
    def source(act: vt.Activation) -> None:
        for i in range(1, 11):
            act.emit("out", i)

    @rt.behaviour("Scale")
    def scale(act: vt.Activation) -> None:
        act.emit("out", act.inputs["in"][0] * factor)

    @rt.behaviour("Total")
    def total(act: vt.Activation) -> None:
        seen.extend(act.inputs["in"])
        act.emit("sum", sum(seen))

    rt.start("Source")
    result = rt.run()
    return result.outputs[("Total", "sum")], vt.canonical(result.events)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--dask", action="store_true", help="also run on a Dask LocalCluster")
    args = parser.parse_args()

    graph = build_graph()
    factors = list(range(1, 9))
    one_by_one = [one_run(graph, f) for f in factors]

    with concurrent.futures.ProcessPoolExecutor(max_workers=2) as pool:
        pooled = list(pool.map(one_run, [graph] * len(factors), factors))
    assert pooled == one_by_one, "process pool results differ from the runs made one by one"
    print("process pool:", [sums[-1] for sums, _ in pooled])

    if args.dask:
        from dask.distributed import Client, LocalCluster

        with LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                          dashboard_address=None) as cluster, Client(cluster) as client:
            futures = client.map(one_run, [graph] * len(factors), factors)
            on_dask = client.gather(futures)
        assert on_dask == one_by_one, "Dask results differ from the runs made one by one"
        print("dask:        ", [sums[-1] for sums, _ in on_dask])
    print("equal to the runs made one by one")


if __name__ == "__main__":
    main()
