"""Packet hops per second of a Python host loop, beside the same pipeline in SimPy.

The network is a chain of stages: a feed node, then STAGES nodes in a line,
each with one input port of capacity one and one output port, the last
output port unconnected (its packets leave the network). PACKETS packets are
put on the feed edge; the host plays every stage: for each new epoch it
starts it, loads the packet it took into the output port, sends the output
salvo and finishes the epoch (working from the epoch the start returned),
then lets `run_until_blocked` carry the packets on. One hop is one packet
passing one stage.

Two host styles are timed:

  text  reads the new epoch ids from the EpochCreated events that
        run_until_blocked returns and passes them on as str;
  ulid  asks get_startable_epochs() for the ids (ULID objects of the `ulid`
        package) and passes those objects to start_epoch.

With --raw, a third style drives the engine's C interface through cffi with
the same calls and no Python value per event or response: it reads the new
epoch ids and the input packet straight from the result records. No front
end over that interface can pass it, so it is the ceiling for the pure one.

The SimPy pipeline is one process per stage and a Store between stages (it
runs only when simpy is installed: pip install '.[bench]').

Runs are interleaved (text, ulid, simpy, text, ...) so that the noise of a
shared machine falls on all of them alike; the median of the repeats is
reported, with the ratios against SimPy.

    python bench/host_bench.py [--stages 100] [--packets 1000] [--repeats 3] [--raw]

VORNIX_FRONT_END=pure times the pure-Python front end of this checkout (the
installed one only if the checkout has none) in place of whatever `import
vornix_sim` gives.
"""

import argparse
import gc
import os
import pathlib
import statistics
import sys
import time

if os.environ.get("VORNIX_FRONT_END") == "pure":
    # First on the path: an installed copy, perhaps of older code, must not
    # stand in for the one being measured.
    sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "python" / "pure"))
    import _vornix_pure as vs
else:
    import vornix_sim as vs

try:
    import simpy
except ImportError:  # the benchmark still times the two host styles
    simpy = None


def chain_graph(stages, vs=vs):
    def condition(port):
        return vs.SalvoCondition(
            vs.MaxSalvos.finite(1), port, vs.SalvoConditionTerm.port(port, vs.PortState.NonEmpty)
        )

    names = [f"S{i}" for i in range(stages)]
    nodes = [vs.Node("Feed", out_ports={"out": vs.Port()})]
    for name in names:
        nodes.append(
            vs.Node(
                name,
                in_ports={"in": vs.Port(vs.PortSlotSpec.finite(1))},
                out_ports={"out": vs.Port()},
                in_salvo_conditions={"take": condition("in")},
                out_salvo_conditions={"out": condition("out")},
            )
        )
    chain = ["Feed"] + names
    edges = [
        vs.Edge(vs.PortRef(a, vs.PortType.Output, "out"), vs.PortRef(b, vs.PortType.Input, "in"))
        for a, b in zip(chain, chain[1:])
    ]
    return vs.Graph(nodes, edges), edges[0]


def feed(sim, feed_edge, packets, vs=vs):
    onto_feed = vs.PacketLocation.edge(feed_edge)
    for _ in range(packets):
        data, _ = sim.do_action(vs.NetAction.create_packet())
        sim.do_action(vs.NetAction.transport_packet_to_location(data.packet_id, onto_feed))


def run_stage(do, epoch_id, A=vs.NetAction):
    """One hop: the stage works from the epoch its start returned (its id and
    its input packet as text), whatever form the id to start it came in."""
    data, _ = do(A.start_epoch(epoch_id))
    epoch = data.epoch
    do(A.load_packet_into_output_port(epoch.in_salvo.packets[0][1], "out"))
    do(A.send_output_salvo(epoch.id, "out"))
    do(A.finish_epoch(epoch.id))


def host_text(graph, feed_edge, packets, vs=vs):
    """The text host; `vs` is the front end it drives (pure_ab.py passes
    copies of the pure one)."""
    sim = vs.NetSim(graph)
    start = time.perf_counter()
    feed(sim, feed_edge, packets, vs)
    do = sim.do_action
    hops = 0
    events = sim.run_until_blocked()
    while True:
        epoch_ids = [e.epoch_id for e in events if e.kind == "EpochCreated"]
        if not epoch_ids:
            break
        for epoch_id in epoch_ids:
            run_stage(do, epoch_id, vs.NetAction)
        hops += len(epoch_ids)
        events = sim.run_until_blocked()
    return hops, time.perf_counter() - start


def host_ulid(graph, feed_edge, packets):
    sim = vs.NetSim(graph)
    start = time.perf_counter()
    feed(sim, feed_edge, packets)
    do = sim.do_action
    hops = 0
    sim.run_until_blocked()
    while True:
        epoch_ids = sim.get_startable_epochs()
        if not epoch_ids:
            break
        for epoch_id in epoch_ids:
            run_stage(do, epoch_id)
        hops += len(epoch_ids)
        sim.run_until_blocked()
    return hops, time.perf_counter() - start


def host_raw(graph, feed_edge, packets):
    """The text host's calls through cffi alone, on the pure front end's
    simulation (fed through the front end, before the clock matters)."""
    from _vornix_pure._capi import ffi, lib

    sim = vs.NetSim(graph)
    start = time.perf_counter()
    feed(sim, feed_edge, packets)
    raw = sim._sim
    result = ffi.gc(lib.vx_result_new(), lib.vx_result_free)
    wave = ffi.gc(lib.vx_result_new(), lib.vx_result_free)
    view = lib.vx_result_view(result)
    waves = lib.vx_result_view(wave)
    act = ffi.new("vx_action*")
    out = ffi.new("char[]", b"out")
    act.port_name.ptr = act.salvo_condition.ptr = out
    act.port_name.len = act.salvo_condition.len = 3
    created = lib.VX_EV_EPOCH_CREATED
    start_, load = lib.VX_ACT_START_EPOCH, lib.VX_ACT_LOAD_PACKET_INTO_OUTPUT_PORT
    send, finish = lib.VX_ACT_SEND_OUTPUT_SALVO, lib.VX_ACT_FINISH_EPOCH
    hops = 0
    while True:
        lib.vx_sim_run_until_blocked(raw, ffi.NULL, ffi.NULL, wave)
        recs = waves.events
        epochs = []
        for i in range(waves.event_count):
            rec = recs[i]
            if rec.kind == created:
                epochs.append((rec.id.hi, rec.id.lo))
        if not epochs:
            break
        for hi, lo in epochs:
            act.kind = start_
            act.epoch_id.hi = hi
            act.epoch_id.lo = lo
            failed = lib.vx_sim_do(raw, act, result)
            packet = view.epoch.in_salvo.packets[0].packet_id
            act.kind = load
            act.packet_id.hi = packet.hi
            act.packet_id.lo = packet.lo
            failed |= lib.vx_sim_do(raw, act, result)
            act.kind = send
            failed |= lib.vx_sim_do(raw, act, result)
            act.kind = finish
            if failed | lib.vx_sim_do(raw, act, result):  # VX_OK is 0
                raise SystemExit("raw: an action was refused")
        hops += len(epochs)
    return hops, time.perf_counter() - start


def simpy_chain(stages, packets):
    env = simpy.Environment()
    stores = [simpy.Store(env) for _ in range(stages + 1)]
    hops = [0]

    def stage(inbox, outbox):
        while True:
            item = yield inbox.get()
            hops[0] += 1
            yield outbox.put(item)

    for i in range(stages):
        env.process(stage(stores[i], stores[i + 1]))
    start = time.perf_counter()
    for packet in range(packets):
        stores[0].put(packet)
    env.run()
    return hops[0], time.perf_counter() - start


def interleaved(runs, repeats, expected):
    """Runs each of `runs` (name -> run returning (hops, seconds)) in turn,
    `repeats` times over; returns name -> the hops/s of each repeat."""
    rates = {name: [] for name in runs}
    for _ in range(repeats):
        for name, run in runs.items():
            hops, seconds = run()
            if hops != expected:
                raise SystemExit(f"{name}: {hops} hops, expected {expected}")
            rates[name].append(hops / seconds)
    return rates


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--stages", type=int, default=100)
    parser.add_argument("--packets", type=int, default=1000)
    parser.add_argument("--repeats", type=int, default=3)
    parser.add_argument("--raw", action="store_true",
                        help="also time the calls through cffi alone (pure front end)")
    args = parser.parse_args(argv)
    if args.raw and vs.__name__ != "_vornix_pure":
        parser.error("--raw drives the pure front end's simulation: set VORNIX_FRONT_END=pure")

    graph, feed_edge = chain_graph(args.stages)
    runs = {
        "text": lambda: host_text(graph, feed_edge, args.packets),
        "ulid": lambda: host_ulid(graph, feed_edge, args.packets),
    }
    if args.raw:
        runs["raw"] = lambda: host_raw(graph, feed_edge, args.packets)
    if simpy is not None:
        runs["simpy"] = lambda: simpy_chain(args.stages, args.packets)
    rates = interleaved(runs, args.repeats, args.stages * args.packets)

    front = "pure front end" if vs.__name__ == "_vornix_pure" else "C-API module"
    impl = f"{sys.implementation.name} {sys.version.split()[0]}, {front}"
    print(f"{impl}: {args.stages} stages, {args.packets} packets, "
          f"median of {args.repeats} interleaved runs")
    if sys.implementation.name == "pypy":
        # Objects made in C are freed only when the nursery is collected, so
        # its size (half the last-level cache PyPy detects, or
        # PYPY_GC_NURSERY) sways both the memory and the speed of a host loop.
        print(f"  PyPy nursery {gc.get_stats().nursery_size}")
    median = {name: statistics.median(r) for name, r in rates.items()}
    for name, rate in median.items():
        print(f"  {name:6} {rate / 1000:8.1f} k hops/s")
    if "simpy" in median:
        for name in [n for n in ("text", "ulid", "raw") if n in median]:
            print(f"  {name}/simpy {median[name] / median['simpy']:6.3f}")


if __name__ == "__main__":
    main()
