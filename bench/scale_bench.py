"""Cost of single operations beside N idle elements, through the Python API.

The same shapes as the engine-level vornix_scale_bench, driven the way a
Python caller drives them, at N = 1,000 and N = 100,000: an operation should
cost the same whatever else waits (the one exception printed, the first
is_blocked after N arrivals, looks at each arrival once). Each figure is the median of timed batches;
the work that sets an operation up again (untimed) runs between the timed
calls.

    python bench/scale_bench.py [--small 1000] [--large 100000]
"""

import argparse
import statistics
import time

import vornix_sim as vs

A = vs.NetAction


def out_ref(node):
    return vs.PortRef(node, vs.PortType.Output, "out")


def in_ref(node):
    return vs.PortRef(node, vs.PortType.Input, "in")


def node(name, in_port, out_port, in_spec=None, **conditions):
    return vs.Node(
        name,
        in_ports={"in": vs.Port(in_spec or vs.PortSlotSpec.infinite())} if in_port else {},
        out_ports={"out": vs.Port()} if out_port else {},
        **conditions,
    )


def time_op(prepare, op, batch=20, least=5, most=200, budget=0.3):
    batches = []
    clock = time.perf_counter
    start = clock()
    while len(batches) < least or (clock() - start < budget and len(batches) < most):
        spent = 0.0
        for _ in range(batch):
            prepare()
            t0 = clock()
            op()
            spent += clock() - t0
        batches.append(spent * 1e9 / batch)
    return statistics.median(batches)


def new_packet(sim):
    data, _ = sim.do_action(A.create_packet())
    return data.packet_id


def put_on(sim, packet, location):
    sim.do_action(A.transport_packet_to_location(packet, location))


def with_mover(nodes, edges):
    nodes += [node("X", False, True), node("Y", True, False)]
    edges.append(vs.Edge(out_ref("X"), in_ref("Y")))
    return vs.PacketLocation.edge(edges[-1])


def timed_mover(sim, mover_edge):
    packet = new_packet(sim)
    return time_op(lambda: put_on(sim, packet, mover_edge), sim.run_step)


def edge_step(n):
    nodes, edges = [], []
    mover = with_mover(nodes, edges)
    for i in range(n):
        nodes += [node(f"U{i}", False, True), node(f"V{i}", True, False, vs.PortSlotSpec.finite(1))]
        edges.append(vs.Edge(out_ref(f"U{i}"), in_ref(f"V{i}")))
    sim = vs.NetSim(vs.Graph(nodes, edges))
    for i in range(n):
        put_on(sim, new_packet(sim), vs.PacketLocation.input_port(f"V{i}", "in"))
        put_on(sim, new_packet(sim), vs.PacketLocation.edge(edges[i + 1]))
    return timed_mover(sim, mover)


def waiting_ports(n):
    """N nodes, each with one packet waiting that its condition does not take."""
    nodes, edges = [], []
    mover = with_mover(nodes, edges)
    pair = vs.SalvoCondition(
        vs.MaxSalvos.finite(1),
        {"in": vs.PacketCount.all()},
        vs.SalvoConditionTerm.port("in", vs.PortState.equals(2)),
    )
    for i in range(n):
        nodes.append(node(f"W{i}", True, False, in_salvo_conditions={"pair": pair}))
    sim = vs.NetSim(vs.Graph(nodes, edges))
    for i in range(n):
        put_on(sim, new_packet(sim), vs.PacketLocation.input_port(f"W{i}", "in"))
    return sim, mover


def waiting_unstepped(n):
    """is_blocked and an idle run_until_blocked, with no step since the packets came."""
    sim, _ = waiting_ports(n)
    first = time.perf_counter()
    sim.is_blocked()  # the first call looks at every node once
    first = (time.perf_counter() - first) * 1e9
    blocked = time_op(lambda: None, sim.is_blocked)
    run = time_op(lambda: None, sim.run_until_blocked)
    return first, blocked, run


def port_step_and_blocked(n):
    sim, mover = waiting_ports(n)
    sim.run_step()
    step = timed_mover(sim, mover)
    blocked = time_op(lambda: None, sim.is_blocked)
    return step, blocked


def one_node():
    return vs.NetSim(vs.Graph([node("Z", True, True)], []))


def new_epoch(sim):
    data, _ = sim.do_action(A.create_epoch("Z", vs.Salvo("manual", [])))
    return data.epoch.id


def finish_oldest(n):
    sim = one_node()
    order = []

    def add():
        order.append(new_epoch(sim))
        sim.do_action(A.start_epoch(order[-1]))

    for _ in range(n):
        add()
    oldest = iter(order)  # appended to while it is read: always the oldest left
    return time_op(add, lambda: sim.do_action(A.finish_epoch(next(oldest))))


def undo_create(n):
    sim = one_node()
    for _ in range(n):
        new_epoch(sim)
    action = A.create_epoch("Z", vs.Salvo("manual", []))
    made = []

    def create():
        made[:] = sim.do_action(action)[1]

    return time_op(create, lambda: sim.undo_action(action, made))


def consume_newest(n):
    sim = one_node()
    for _ in range(n):
        newest = new_packet(sim)
    action = A.consume_packet(newest)
    events = []

    def undo_last():
        if events:
            sim.undo_action(action, events)

    def consume():
        events[:] = sim.do_action(action)[1]

    return time_op(undo_last, consume)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--small", type=int, default=1000)
    parser.add_argument("--large", type=int, default=100000)
    args = parser.parse_args(argv)
    small, large = args.small, args.large

    print(f"{'shape (ns)':16} {f'N={small:,}':>14} {f'N={large:,}':>14} {'ratio':>8}")

    def row(name, a, b):
        print(f"{name:16} {a:14.0f} {b:14.0f} {b / a:8.2f}")

    row("edge-step", edge_step(small), edge_step(large))
    (step_s, blocked_s), (step_l, blocked_l) = port_step_and_blocked(small), port_step_and_blocked(large)
    row("port-step", step_s, step_l)
    row("is_blocked", blocked_s, blocked_l)
    (first_s, idle_s, run_s), (first_l, idle_l, run_l) = waiting_unstepped(small), waiting_unstepped(large)
    row("first is_blocked", first_s, first_l)  # O(N) once: the arrivals listed every node
    row("is_blocked again", idle_s, idle_l)
    row("idle run", run_s, run_l)
    row("finish-oldest", finish_oldest(small), finish_oldest(large))
    row("undo-create", undo_create(small), undo_create(large))
    row("consume-newest", consume_newest(small), consume_newest(large))


if __name__ == "__main__":
    main()
