"""Cost of the value classes on each front end: ns per call, median of
interleaved repeats, and the pure/extension ratio where both are at hand.

    python bench/value_classes_bench.py [--repeats 5] [--n 200000]

The extension module is used if `import vornix_sim` finds it; the pure front
end comes from python/pure. On PyPy the first repeat also warms the JIT.
"""

import argparse
import os
import statistics
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "python", "pure"))

EID = "01ARZ3NDEKTSV4RRFFQ69G5FAV"


def cases(vs):
    out = vs.PortRef("A", vs.PortType.Output, "out")
    inp = vs.PortRef("B", vs.PortType.Input, "in")
    edge = vs.Edge(out, inp)
    salvo = vs.Salvo("c", [("in", EID)])
    term = vs.SalvoConditionTerm.port("in", vs.PortState.NonEmpty)
    cond = vs.SalvoCondition(vs.MaxSalvos.finite(1), "in", term)
    A, L = vs.NetAction, vs.PacketLocation
    return {
        "NetAction.start_epoch(text)": lambda: A.start_epoch(EID),
        "NetAction.create_epoch(name, salvo)": lambda: A.create_epoch("B", salvo),
        "NetAction.transport_packet_to_location": lambda: A.transport_packet_to_location(
            EID, L.edge(edge)),
        "PacketLocation.node(text)": lambda: L.node(EID),
        "repr(PacketLocation.output_port)": lambda: repr(L.output_port(EID, "out")),
        "PortRef(...)": lambda: vs.PortRef("A", vs.PortType.Output, "out"),
        "hash(new PortRef)": lambda: hash(vs.PortRef("A", vs.PortType.Output, "out")),
        "PortRef ==": lambda: out == inp,
        "edge.source": lambda: edge.source,
        "Node(...) with ports and condition": lambda: vs.Node(
            "B", {"in": vs.Port()}, None, {"c": cond}),
        "PortType.Output == 1": lambda: vs.PortType.Output == 1,
    }


def time_case(fn, n):
    t0 = time.perf_counter_ns()
    for _ in range(n):
        fn()
    return (time.perf_counter_ns() - t0) / n


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--repeats", type=int, default=5)
    parser.add_argument("--n", type=int, default=200000)
    args = parser.parse_args()

    fronts = {}
    try:
        import vornix_sim
        if not getattr(vornix_sim, "__file__", "").endswith(".py"):
            fronts["c"] = vornix_sim
    except ImportError:
        pass
    import _vornix_pure
    fronts["pure"] = _vornix_pure

    tables = {name: cases(vs) for name, vs in fronts.items()}
    results = {name: {case: [] for case in table} for name, table in tables.items()}
    for _ in range(args.repeats):  # interleaved, so drift hits every front end alike
        for case in tables["pure"]:
            for name, table in tables.items():
                results[name][case].append(time_case(table[case], args.n))

    impl = sys.implementation.name
    print(f"{impl} {sys.version.split()[0]}: ns per call, median of {args.repeats}")
    header = "".join(f"{name:>10}" for name in fronts)
    print(f"{'case':42}{header}" + ("  pure/c" if "c" in fronts else ""))
    for case in tables["pure"]:
        medians = {name: statistics.median(results[name][case]) for name in fronts}
        row = "".join(f"{medians[name]:10.0f}" for name in fronts)
        ratio = f"  {medians['pure'] / medians['c']:6.2f}" if "c" in fronts else ""
        print(f"{case:42}{row}{ratio}")


if __name__ == "__main__":
    main()
