"""Memory and build time per node of a Graph and a NetSim, through Python.

A chain of N nodes (default 200,000), each with one input and one output
port and one input and one output salvo condition, built the way a caller
builds it: the element objects first, then `Graph(nodes, edges)`,
`graph.validate()` and `NetSim(graph)`. For each stage it prints the wall
time per node and the bytes per node it keeps: the growth of the resident
set (read from /proc/self/statm, after handing the allocator's free pages
back to the system, so that memory freed by one stage is not counted in
the next; --no-trim skips that) and, with --traced, of the memory
Python's allocator traces (tracemalloc slows every stage down, so take the
times from a run without it). The Graph's bytes are counted after the
element objects have been freed, so they are what the Graph itself keeps.
Run it in a fresh process:

    python bench/build_bench.py [nodes] [--traced] [--no-trim]
"""

import ctypes
import ctypes.util
import gc
import os
import sys
import time

import vornix_sim as vs

PAGE = os.sysconf("SC_PAGESIZE")
TRIM = "--no-trim" not in sys.argv


def trim():
    try:
        ctypes.CDLL(ctypes.util.find_library("c")).malloc_trim(0)
    except (OSError, AttributeError):  # not glibc: the figures include free pages
        pass


def resident():
    if TRIM:
        trim()
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * PAGE


def traced():
    tracemalloc = sys.modules.get("tracemalloc")  # imported for --traced only: PyPy has none
    return tracemalloc.get_traced_memory()[0] if tracemalloc and tracemalloc.is_tracing() else 0


def elements(n):
    def condition(port):
        return vs.SalvoCondition(
            vs.MaxSalvos.finite(1),
            {port: vs.PacketCount.all()},
            vs.SalvoConditionTerm.port(port, vs.PortState.NonEmpty),
        )

    names = [f"P{i}" for i in range(n)]
    nodes = [
        vs.Node(
            name,
            in_ports={"in": vs.Port()},
            out_ports={"out": vs.Port()},
            in_salvo_conditions={"take": condition("in")},
            out_salvo_conditions={"give": condition("out")},
        )
        for name in names
    ]
    edges = [
        vs.Edge(vs.PortRef(a, vs.PortType.Output, "out"), vs.PortRef(b, vs.PortType.Input, "in"))
        for a, b in zip(names, names[1:])
    ]
    return nodes, edges


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    n = int(args[0]) if args else 200_000
    if "--traced" in sys.argv:
        import tracemalloc  # noqa: PLC0415

        tracemalloc.start()
    gc.collect()
    gc.disable()  # collections would land in whichever stage runs then
    clock = time.perf_counter
    rows = []

    rss0, tr0 = resident(), traced()
    t0 = clock()
    nodes, edges = elements(n)
    made = clock() - t0
    rss1, tr1 = resident(), traced()
    rows.append(("elements", made, rss1 - rss0, tr1 - tr0))

    t0 = clock()
    graph = vs.Graph(nodes, edges)
    built = clock() - t0
    del nodes, edges
    gc.collect()
    rss3, tr3 = resident(), traced()
    rows.append(("Graph", built, rss3 - rss0, tr3 - tr0))

    t0 = clock()
    errors = graph.validate()
    checked = clock() - t0
    assert errors == [], errors[:3]
    rss4, tr4 = resident(), traced()
    rows.append(("validate", checked, rss4 - rss3, tr4 - tr3))

    t0 = clock()
    sim = vs.NetSim(graph)
    simmed = clock() - t0
    rss5, tr5 = resident(), traced()
    rows.append(("NetSim", simmed, rss5 - rss4, tr5 - tr4))
    assert sim.is_blocked()

    print(f"chain of {n} nodes (1 in/out port, 1 in/out salvo condition each)")
    print(f"{'stage':<10} {'us/node':>8} {'RSS B/node':>11} {'traced B/node':>14}")
    for name, seconds, rss, tr in rows:
        print(f"{name:<10} {seconds * 1e6 / n:8.2f} {rss / n:11.0f} {tr / n:14.0f}")
    total = (built + checked + simmed) * 1e6 / n
    print(f"Graph() + validate() + NetSim(): {total:.2f} us/node")
    print("(Graph bytes: kept after the element objects are freed)")


if __name__ == "__main__":
    main()
