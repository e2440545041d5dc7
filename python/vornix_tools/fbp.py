"""The JSON graph format of flow-based programming editors and runtimes.

A file has `processes` (name -> {component, metadata}), `connections` (each
with `src` and `tgt` endpoints {process, port[, index]}, or `data` and `tgt`
for an initial packet), exported ports in `inports`/`outports` (public name
-> {process, port}) or in the older `exports` list ({private: "proc.port",
public}). A port with an `index` is named "port[index]".

Import builds one Node per process with the ports its connections use. Where
a process's metadata carries a "vornix" entry (as written by graph_to_fbp),
its ports, capacities, conditions and request configuration are taken from
there; otherwise every input port is unbounded and has a condition, named
after the port, that takes one packet when the port is non-empty, and every
output port has one that sends when it is non-empty.
"""

from __future__ import annotations

import json

import vornix_sim as vs

from .graphfile import (
    GraphFileError,
    _child,
    build_graph,
    edge_from_data,
    edge_key,
    edge_to_data,
    expect,
    graph_edge_list,
    node_from_data,
    node_to_data,
    obj,
    parse_json,
    text,
    uint64,
)

DEFAULT_COMPONENT = "vornix/Node"


class FbpGraph:
    """What graph_from_fbp returns.

    graph: the Graph; initial_packets: list of (PacketLocation, data), one per
    `data` connection, in file order; inports / outports: public name ->
    PortRef; components: process name -> component name; splitters: names of
    the splitter nodes inserted by split_fanout, in creation order.
    """

    def __init__(self, graph, initial_packets, inports, outports, components, splitters):
        self.graph = graph
        self.initial_packets = initial_packets
        self.inports = inports
        self.outports = outports
        self.components = components
        self.splitters = splitters

    def __repr__(self):
        return (f"FbpGraph(graph={self.graph!r}, initial_packets={len(self.initial_packets)}, "
                f"inports={sorted(self.inports)}, outports={sorted(self.outports)})")


def _takes(port):
    return vs.SalvoCondition(vs.MaxSalvos.finite(1), {port: vs.PacketCount.count(1)},
                             vs.SalvoConditionTerm.port(port, vs.PortState.NonEmpty))


def _sends(port):
    return vs.SalvoCondition(vs.MaxSalvos.Infinite, port, vs.SalvoConditionTerm.port(port, vs.PortState.NonEmpty))


def _plain_node(name, ins, outs):
    return vs.Node(name,
                   in_ports={p: vs.Port() for p in sorted(ins)},
                   out_ports={p: vs.Port() for p in sorted(outs)},
                   in_salvo_conditions={p: _takes(p) for p in sorted(ins)},
                   out_salvo_conditions={p: _sends(p) for p in sorted(outs)})


def _endpoint(value, path, processes):
    obj(value, path, required=("process", "port"), optional=("index",))
    proc = text(value["process"], _child(path, "process"), "a process name")
    if proc not in processes:
        raise GraphFileError(_child(path, "process"), f"unknown process {json.dumps(proc)}")
    port = text(value["port"], _child(path, "port"), "a port name")
    if "index" in value and value["index"] is not None:
        port = f"{port}[{uint64(value['index'], _child(path, 'index'), 'an integer index')}]"
    return proc, port


def _processes(data):
    procs = expect(data.get("processes", {}), (dict,), "$.processes", "an object of processes")
    out = {}
    for name, p in procs.items():
        path = _child("$.processes", name)
        text(name, "$.processes", "a process name")
        obj(p, path, required=("component",), optional=("metadata",))
        component = text(p["component"], _child(path, "component"), "a component name")
        meta = expect(p.get("metadata", {}) if p.get("metadata") is not None else {}, (dict,),
                      _child(path, "metadata"), "an object")
        out[name] = (component, meta, path)
    return out


def _dependency_flag(conn, path):
    meta = conn.get("metadata")
    if meta is None:
        return False
    expect(meta, (dict,), _child(path, "metadata"), "an object")
    v = meta.get("vornix")
    if v is None:
        return False
    obj(v, _child(_child(path, "metadata"), "vornix"), optional=("dependency",))
    return expect(v.get("dependency", False), (bool,), _child(_child(_child(path, "metadata"), "vornix"),
                                                               "dependency"), "a boolean")


def _exports(data, processes, conns_out):
    inports, outports = {}, {}
    for key, target in (("inports", inports), ("outports", outports)):
        section = expect(data.get(key, {}), (dict,), f"$.{key}", "an object of exported ports")
        for public, ep in section.items():
            text(public, f"$.{key}", "a port name")
            path = _child(f"$.{key}", public)
            obj(ep, path, required=("process", "port"), optional=("metadata",))
            proc, port = _endpoint({"process": ep["process"], "port": ep["port"]}, path, processes)
            target[public] = (proc, port)
    lower = {name.lower(): name for name in processes}
    for i, ex in enumerate(expect(data.get("exports", []), (list,), "$.exports", "an array of exports")):
        path = f"$.exports[{i}]"
        obj(ex, path, required=("private", "public"), optional=("metadata",))
        private = text(ex["private"], _child(path, "private"))
        public = text(ex["public"], _child(path, "public"))
        proc, dot, port = private.rpartition(".")
        if not dot:
            raise GraphFileError(_child(path, "private"), 'expected "process.port"')
        # The older format wrote process names in lower case.
        proc = proc if proc in processes else lower.get(proc.lower())
        if proc is None:
            raise GraphFileError(_child(path, "private"), f"unknown process in {json.dumps(private)}")
        (outports if (proc, port) in conns_out else inports)[public] = (proc, port)
    return inports, outports


def graph_from_fbp(data, *, split_fanout=False):
    """Builds a graph from FBP JSON (a dict, or JSON text/bytes)."""
    if isinstance(data, (str, bytes, bytearray)):
        data = parse_json(data)
    obj(data, "$", optional=("processes", "connections", "inports", "outports", "exports", "properties",
                             "groups", "caseSensitive"))
    processes = _processes(data)
    ins = {name: set() for name in processes}
    outs = {name: set() for name in processes}
    connections, initial = [], []
    for i, conn in enumerate(expect(data.get("connections", []), (list,), "$.connections",
                                    "an array of connections")):
        path = f"$.connections[{i}]"
        obj(conn, path, required=("tgt",), optional=("src", "data", "metadata"))
        tgt = _endpoint(conn["tgt"], _child(path, "tgt"), processes)
        ins[tgt[0]].add(tgt[1])
        if "src" in conn:
            if "data" in conn:
                raise GraphFileError(path, 'a connection has "src" or "data", not both')
            src = _endpoint(conn["src"], _child(path, "src"), processes)
            outs[src[0]].add(src[1])
            connections.append((src, tgt, _dependency_flag(conn, path)))
        elif "data" in conn:
            initial.append((tgt, conn["data"]))
        else:
            raise GraphFileError(path, 'a connection needs "src" or "data"')
    conns_out = {src for src, _, _ in connections}
    inports, outports = _exports(data, processes, conns_out)
    for proc, port in inports.values():
        ins[proc].add(port)
    for proc, port in outports.values():
        outs[proc].add(port)

    nodes = []
    for name in sorted(processes):
        component, meta, path = processes[name]
        own = meta.get("vornix")
        if own is None:
            nodes.append((_plain_node(name, ins[name], outs[name]), path))
        else:
            mpath = _child(_child(path, "metadata"), "vornix")
            expect(own, (dict,), mpath, "an object")
            nodes.append((node_from_data(dict(own, name=name), mpath), path))

    splitters = []
    if split_fanout:
        connections, extra = _split_fanout(connections, {n.name for n, _ in nodes})
        for node in extra:
            nodes.append((node, "$.connections"))
            splitters.append(node.name)

    edges, deps = [], []
    for (sp, so), (tp, ti), dep in connections:
        e = vs.Edge(vs.PortRef(sp, vs.PortType.Output, so), vs.PortRef(tp, vs.PortType.Input, ti))
        edges.append(e)
        if dep:
            deps.append(e)
    props = data.get("properties") or {}
    expect(props, (dict,), "$.properties", "an object")
    vmeta = expect(props.get("vornix") or {}, (dict,), "$.properties.vornix", "an object")
    extra_deps = vmeta.get("dependency_edges_outside_graph", [])
    vpath = "$.properties.vornix.dependency_edges_outside_graph"
    for i, e in enumerate(expect(extra_deps, (list,), vpath, "an array of edges")):
        deps.append(edge_from_data(e, _child(vpath, i)))

    graph = build_graph(nodes, edges, deps)
    packets = [(vs.PacketLocation.input_port(proc, port), value) for (proc, port), value in initial]

    def ref(pt, ep):
        return vs.PortRef(ep[0], pt, ep[1])

    return FbpGraph(graph, packets,
                    {k: ref(vs.PortType.Input, v) for k, v in inports.items()},
                    {k: ref(vs.PortType.Output, v) for k, v in outports.items()},
                    {name: processes[name][0] for name in processes}, splitters)


def _split_fanout(connections, taken):
    """Gives every output port with several connections a splitter node of
    its own: the port feeds the splitter, whose outputs feed the targets."""
    by_source = {}
    for src, tgt, dep in connections:
        by_source.setdefault(src, []).append((tgt, dep))
    out, extra = [], []
    done = set()
    for src, tgt, dep in connections:
        targets = by_source[src]
        if len(targets) == 1:
            out.append((src, tgt, dep))
            continue
        if src in done:
            continue
        done.add(src)
        name = f"{src[0]}.{src[1]}/split"
        while name in taken:
            name += "_"
        taken.add(name)
        ports = [f"out{i}" for i in range(len(targets))]
        extra.append(_plain_node(name, ["in"], ports))
        # Requests travel back through the splitter when any branch is a dependency edge.
        out.append((src, (name, "in"), any(d for _, d in targets)))
        for port, (t, d) in zip(ports, targets):
            out.append(((name, port), t, d))
    return out, extra


def graph_to_fbp(graph, *, initial_packets=(), inports=None, outports=None, components=None, name=None):
    """Writes the graph as FBP JSON data (a dict). Capacities, conditions and
    request configurations go under each process's metadata."""
    nodes = graph.nodes()
    components = components or {}
    processes = {}
    for node_name in sorted(nodes):
        own = node_to_data(nodes[node_name])
        del own["name"]
        processes[node_name] = {"component": components.get(node_name, DEFAULT_COMPONENT),
                                "metadata": {"vornix": own}}
    connections = []
    in_graph = set()
    for e in graph_edge_list(graph):
        in_graph.add(e)
        src, tgt = e.source, e.target
        if src.port_type != vs.PortType.Output or tgt.port_type != vs.PortType.Input:
            raise ValueError(f"edge {e} does not run from an output port to an input port; "
                             "the FBP format cannot express it")
        for ref in (src, tgt):
            if ref.node_name not in nodes:
                raise ValueError(f"edge {e} names node {ref.node_name!r}, which the graph lacks")
        conn = {"src": {"process": src.node_name, "port": src.port_name},
                "tgt": {"process": tgt.node_name, "port": tgt.port_name}}
        if graph.is_dependency_edge(e):
            conn["metadata"] = {"vornix": {"dependency": True}}
        connections.append(conn)
    for location, value in initial_packets:
        if location.kind != "InputPort":
            raise ValueError(f"initial packets go to input ports, not {location!r}")
        connections.append({"data": value, "tgt": {"process": location.node_name, "port": location.port_name}})
    data = {"properties": {"name": name} if name else {}, "processes": processes, "connections": connections,
            "inports": {k: {"process": r.node_name, "port": r.port_name} for k, r in sorted((inports or {}).items())},
            "outports": {k: {"process": r.node_name, "port": r.port_name}
                         for k, r in sorted((outports or {}).items())}}
    outside = sorted((d for d in graph.dependency_edges() if d not in in_graph), key=edge_key)
    if outside:
        data["properties"]["vornix"] = {"dependency_edges_outside_graph": [edge_to_data(d) for d in outside]}
    return data
