"""Packet hops per second of the Runtime, beside the hand-written host loop and SimPy.

The network is host_bench.py's chain: a feed node, then STAGES pass-through
stages with input ports of capacity one, the last output port unconnected.
Three ways to push PACKETS packets through it are timed in one process:

  runtime  vornix_tools.Runtime with no behaviours (every stage passes its
           value on), the values fed with rt.feed into the first stage;
  text     host_bench's hand-written loop (epoch ids as text from events);
  simpy    host_bench's SimPy pipeline (when simpy is installed).

The runtime carries a value per packet and checks what leaves the network;
the hand-written loop carries none. Runs are interleaved so that the noise of
a shared machine falls on all alike; the median of the repeats is reported
with the ratio runtime/text.

    python bench/runtime_bench.py [--stages 100] [--packets 1000] [--repeats 3]
"""

import argparse
import os
import statistics
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import host_bench  # noqa: E402
import vornix_tools as vt  # noqa: E402


def runtime_chain(graph, stages, packets):
    rt = vt.Runtime(graph)
    start = time.perf_counter()
    rt.feed("S0", "in", range(packets))
    result = rt.run()
    seconds = time.perf_counter() - start
    if result.outputs != {(f"S{stages - 1}", "out"): list(range(packets))}:
        raise SystemExit("runtime: the values that left the chain are not the ones fed")
    # Every activation is one packet passing one stage.
    return result.activations, seconds


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--stages", type=int, default=100)
    parser.add_argument("--packets", type=int, default=1000)
    parser.add_argument("--repeats", type=int, default=3)
    args = parser.parse_args(argv)

    graph, feed_edge = host_bench.chain_graph(args.stages)
    runs = {
        "runtime": lambda: runtime_chain(graph, args.stages, args.packets),
        "text": lambda: host_bench.host_text(graph, feed_edge, args.packets),
    }
    if host_bench.simpy is not None:
        runs["simpy"] = lambda: host_bench.simpy_chain(args.stages, args.packets)
    rates = host_bench.interleaved(runs, args.repeats, args.stages * args.packets)

    impl = f"{sys.implementation.name} {sys.version.split()[0]}"
    print(f"{impl}: {args.stages} stages, {args.packets} packets, "
          f"median of {args.repeats} interleaved runs")
    median = {name: statistics.median(r) for name, r in rates.items()}
    for name, rate in median.items():
        print(f"  {name:8} {rate / 1000:8.1f} k hops/s")
    print(f"  runtime/text  {median['runtime'] / median['text']:6.3f}")
    if "simpy" in median:
        print(f"  runtime/simpy {median['runtime'] / median['simpy']:6.3f}")


if __name__ == "__main__":
    main()
