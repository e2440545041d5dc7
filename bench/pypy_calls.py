"""Where the time of one host_bench hop goes, call by call.

Runs the text host of host_bench.py with a clock around every binding call it
makes and prints the mean time of each, in microseconds, with the count per
hop. The first run warms up the JIT and is not reported. Made for PyPy, where
every object that crosses the C API is costly, but runs anywhere.

    python bench/pypy_calls.py [--stages 100] [--packets 300] [--runs 3]
"""

import argparse
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import vornix_sim as vs  # noqa: E402
from host_bench import chain_graph, feed  # noqa: E402


def timed_run(graph, feed_edge, packets, totals):
    clock = time.perf_counter_ns
    A = vs.NetAction
    sim = vs.NetSim(graph)
    feed(sim, feed_edge, packets)
    do = sim.do_action
    t = [0] * 20

    def run_until_blocked():
        t0 = clock()
        events = sim.run_until_blocked()
        t[0] += clock() - t0
        t[1] += len(events)
        return events

    hops = 0
    events = run_until_blocked()
    while True:
        t0 = clock()
        kinds = [e.kind for e in events]
        t1 = clock()
        t[2] += t1 - t0
        t[3] += len(kinds)
        epoch_ids = []
        for e, kind in zip(events, kinds):
            if kind == "EpochCreated":
                t0 = clock()
                epoch_ids.append(e.epoch_id)
                t[4] += clock() - t0
        if not epoch_ids:
            break
        for epoch_id in epoch_ids:
            c0 = clock()
            a = A.start_epoch(epoch_id)
            c1 = clock()
            data, evs = do(a)
            c2 = clock()
            epoch = data.epoch
            c3 = clock()
            salvo = epoch.in_salvo
            c4 = clock()
            packets = salvo.packets
            c5 = clock()
            packet_id = packets[0][1]
            a = A.load_packet_into_output_port(packet_id, "out")
            c6 = clock()
            do(a)
            c7 = clock()
            epoch_id2 = epoch.id
            c8 = clock()
            a = A.send_output_salvo(epoch_id2, "out")
            c9 = clock()
            do(a)
            c10 = clock()
            epoch_id3 = epoch.id
            a = A.finish_epoch(epoch_id3)
            c11 = clock()
            do(a)
            c12 = clock()
            t[5] += c1 - c0
            t[6] += c2 - c1
            t[7] += c3 - c2
            t[8] += c4 - c3
            t[9] += c5 - c4
            t[10] += c6 - c5
            t[11] += c7 - c6
            t[12] += c8 - c7
            t[13] += c9 - c8
            t[14] += c10 - c9
            t[15] += c11 - c10
            t[16] += c12 - c11
        hops += len(epoch_ids)
        events = run_until_blocked()
    t[19] = hops
    for i, v in enumerate(t):
        totals[i] += v


ROWS = [
    # (label, time slot, count slot or None for once per hop)
    ("run_until_blocked, per event", 0, 1),
    ("e.kind", 2, 3),
    ("e.epoch_id (EpochCreated)", 4, None),
    ("NetAction.start_epoch(s)", 5, None),
    ("do_action(start_epoch)", 6, None),
    ("data.epoch", 7, None),
    ("epoch.in_salvo", 8, None),
    ("salvo.packets", 9, None),
    ("[0][1] + load_packet_into_output_port", 10, None),
    ("do_action(load_packet)", 11, None),
    ("epoch.id", 12, None),
    ("NetAction.send_output_salvo", 13, None),
    ("do_action(send_output_salvo)", 14, None),
    ("epoch.id + NetAction.finish_epoch", 15, None),
    ("do_action(finish_epoch)", 16, None),
]


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--stages", type=int, default=100)
    parser.add_argument("--packets", type=int, default=300)
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args(argv)
    graph, feed_edge = chain_graph(args.stages)
    timed_run(graph, feed_edge, args.packets, [0] * 20)  # warm-up
    totals = [0] * 20
    for _ in range(args.runs):
        timed_run(graph, feed_edge, args.packets, totals)
    hops = totals[19]
    print(f"{sys.implementation.name} {sys.version.split()[0]}: {hops} hops")
    per_hop = 0.0
    for label, slot, count in ROWS:
        n = totals[count] if count is not None else hops
        mean = totals[slot] / n / 1000
        share = totals[slot] / hops / 1000
        per_hop += share
        print(f"  {label:40} {mean:7.2f} us x {n / hops:4.2f}/hop = {share:6.2f} us/hop")
    print(f"  {'sum':40} {per_hop:46.2f} us/hop")


if __name__ == "__main__":
    main()
