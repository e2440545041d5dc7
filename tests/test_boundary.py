"""The module at the interpreter's edges: interrupts, sub-interpreters, whole messages."""

import os
import signal
import subprocess
import sys
import textwrap

import pytest

import vornix_sim as vs
from vornix_sim import Edge, Graph, MaxSalvos, NetAction, NetSim, Node, Port, PortRef, PortType
from vornix_sim import PacketLocation as Loc, PortSlotSpec, PortState, SalvoCondition
from vornix_sim import SalvoConditionTerm as T

FEED = Edge(PortRef("A", PortType.Output, "out"), PortRef("B", PortType.Input, "in"))


def one_per_step():
    """A feeding B over one edge; B's port holds one packet and its condition
    takes it, so B draws one packet off the edge per step."""
    take = SalvoCondition(MaxSalvos.finite(1), "in", T.port("in", PortState.NonEmpty))
    a = Node("A", out_ports={"out": Port()})
    b = Node("B", in_ports={"in": Port(PortSlotSpec.finite(1))},
             in_salvo_conditions={"take": take})
    return Graph([a, b], [FEED])


@pytest.mark.skipif(os.name != "posix", reason="needs kill(1)")
@pytest.mark.skipif(sys.implementation.name == "pypy",
                    reason="PyPy delivers signals only between bytecodes")
def test_run_until_blocked_stops_on_sigint_between_steps():
    sim = NetSim(one_per_step())
    packets = 60_000
    onto_feed = Loc.edge(FEED)
    for _ in range(packets):
        data, _ = sim.do_action(NetAction.create_packet())
        sim.do_action(NetAction.transport_packet_to_location(data.packet_id, onto_feed))
    # The timer runs in another process: the call never releases the
    # interpreter lock, so a thread of this one could not send the signal.
    # It keeps sending until stopped, and the handler acts only once the call
    # is about to begin, so neither a slow start nor a fast run loses it.
    armed = []

    def interrupt(signum, frame):
        if armed:
            raise KeyboardInterrupt

    previous = signal.signal(signal.SIGINT, interrupt)
    timer = subprocess.Popen(
        ["sh", "-c", f"while kill -INT {os.getpid()}; do sleep 0.01; done"])
    try:
        for _ in range(50):
            with pytest.raises(KeyboardInterrupt) as caught:
                armed.append(True)
                sim.run_until_blocked()
            armed.clear()
            if hasattr(caught.value, "events"):
                break
            # The signal came before the call reached the engine (a front
            # end in Python has more code there): nothing ran, so try again.
            assert not sim.get_startable_epochs()
    finally:
        armed.clear()
        timer.kill()
        timer.wait()
        signal.signal(signal.SIGINT, previous)
    done = caught.value.events
    created = [e for e in done if e.kind == "EpochCreated"]
    assert 0 < len(created) < packets
    # The engine holds exactly the completed steps, and carries on from there.
    assert len(sim.get_startable_epochs()) == len(created)
    assert sim.packet_count_at(onto_feed) + sim.packet_count_at(Loc.input_port("B", "in")) \
        == packets - len(created)
    rest = sim.run_until_blocked()
    assert len(created) + sum(e.kind == "EpochCreated" for e in rest) == packets
    assert sim.is_blocked()


SUBINTERPRETER = textwrap.dedent("""
    import _testcapi, os, sys, vornix_sim
    r, w = os.pipe()
    code = f'''
    import os
    try:
        import vornix_sim
        outcome = "imported: " + repr(vornix_sim.PortType)
    except ImportError as e:
        outcome = "ImportError: " + str(e)
    os.write({w}, outcome.encode())
    '''
    assert _testcapi.run_in_subinterp(code) == 0
    os.close(w)
    print(os.read(r, 1000).decode())
    # The first interpreter's module is untouched.
    assert vornix_sim.NetSim is not None and vornix_sim.PortType.Output == 1
    assert vornix_sim.NetSim(vornix_sim.Graph([], [])).run_until_blocked() == []
    print("main ok")
""")


@pytest.mark.skipif(sys.implementation.name != "cpython", reason="CPython sub-interpreters")
def test_second_interpreter_is_refused_and_first_module_untouched():
    pytest.importorskip("_testcapi")
    out = subprocess.run([sys.executable, "-c", SUBINTERPRETER], capture_output=True,
                         text=True, timeout=60)
    assert out.returncode == 0, out.stderr
    first, second = out.stdout.splitlines()
    assert first.startswith("ImportError: vornix_sim can only be imported in one interpreter")
    assert second == "main ok"


@pytest.mark.parametrize("build, text", [
    (lambda: Graph([Node("A\0B"), Node("A\0B")], []), "Duplicate node name: 'A\0B'"),
    (lambda: NetSim(Graph([Node("A\0B")], [Edge(PortRef("A\0B", PortType.Output, "o"),
                                                PortRef("X", PortType.Input, "i"))])),
     "Cannot create NetSim with invalid graph:\n  - "),
])
def test_fault_messages_keep_nul_characters(build, text):
    with pytest.raises(BaseException) as caught:
        build()
    assert not isinstance(caught.value, Exception)
    message = str(caught.value)
    assert message.startswith(text)
    assert "A\0B" in message


DROPPED_SIMULATIONS = textwrap.dedent("""
    import vornix_sim as vs

    def rss():
        with open("/proc/self/statm") as f:
            return int(f.read().split()[1]) * 4096

    out = {"out": vs.Port()}
    nodes = [vs.Node(f"N{i}", in_ports={"in": vs.Port()}, out_ports=out) for i in range(200)]
    edges = [vs.Edge(vs.PortRef(f"N{i}", vs.PortType.Output, "out"),
                     vs.PortRef(f"N{i + 1}", vs.PortType.Input, "in")) for i in range(199)]
    graph = vs.Graph(nodes, edges)
    start = rss()
    for _ in range(3000):
        vs.NetSim(graph).run_until_blocked()
    print(rss() - start)
""")


@pytest.mark.skipif(sys.implementation.name != "pypy" or not os.path.exists("/proc/self/statm"),
                    reason="PyPy's collector, Linux's resident-set figure")
def test_dropped_simulations_are_freed_in_time_on_pypy():
    # PyPy frees what a simulation holds outside its heap only when a major
    # collection finds the simulation dead; it must know that memory is there
    # to run one. 3,000 simulations of this graph hold about 200 MB in all.
    env = dict(os.environ, PYPY_GC_NURSERY="1MB")
    out = subprocess.run([sys.executable, "-c", DROPPED_SIMULATIONS], capture_output=True,
                         text=True, timeout=120, env=env)
    assert out.returncode == 0, out.stderr
    assert int(out.stdout) < 80 * 1024 * 1024
