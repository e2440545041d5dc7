"""One simulation shared by threads: calls take turns, none is lost or refused."""

import sys
import threading

from vornix_sim import Edge, Graph, NetAction, NetSim, Node, Port, PortRef, PortType
from vornix_sim import PacketLocation as Loc

FEED = Edge(PortRef("A", PortType.Output, "out"), PortRef("B", PortType.Input, "in"))


def test_threads_sharing_a_simulation_take_turns():
    sim = NetSim(Graph([Node("A", out_ports={"out": Port()}),
                        Node("B", in_ports={"in": Port()})], [FEED]))
    onto_feed = Loc.edge(FEED)
    errors = []
    per_thread = 300

    def work():
        try:
            for _ in range(per_thread):
                data, events = sim.do_action(NetAction.create_packet())
                assert [e.packet_id for e in events] == [data.packet_id]
                sim.do_action(NetAction.transport_packet_to_location(data.packet_id, onto_feed))
                sim.run_until_blocked()
                sim.get_packet(data.packet_id)
                sim.packet_count_at(onto_feed)
        except BaseException as exc:  # noqa: BLE001 - reported below
            errors.append(exc)

    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)  # switch threads as often as the interpreter allows
    try:
        threads = [threading.Thread(target=work) for _ in range(4)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
    finally:
        sys.setswitchinterval(interval)
    assert errors == []
    total = 4 * per_thread
    assert sim.packet_count_at(Loc.input_port("B", "in")) == total
    assert len(sim.get_packets_at_location(Loc.input_port("B", "in"))) == total
