"""Graph files: a graph as plain JSON-ready data, and back.

The data holds every element the constructors accept: ports with their
capacities, salvo conditions in the node's order with terms of any depth (up
to MAX_TERM_DEPTH), dependency request configurations, the edges (with their
repetitions into one input port, in that port's order) and the dependency
edges. Output is sorted by name so that two files of one graph diff cleanly.

Reading treats the input as untrusted: every malformed element raises
GraphFileError naming the JSON path of the element ("$.nodes[2].in_ports.x"),
before any engine object is built from it.
"""

from __future__ import annotations

import json
import math

import vornix_sim as vs

FORMAT = "vornix-graph"
VERSION = 1
MAX_TERM_DEPTH = 100
MAX_UINT64 = 2**64 - 1

_PLAIN_STATES = {
    "Empty": vs.PortState.Empty,
    "Full": vs.PortState.Full,
    "NonEmpty": vs.PortState.NonEmpty,
    "NonFull": vs.PortState.NonFull,
}
_NUMERIC_STATES = ("equals", "less_than", "greater_than", "equals_or_less_than", "equals_or_greater_than")
_TRIGGERS = {
    "OnStartup": vs.DependencyRequestTrigger.OnStartup,
    "OnNoSalvoTriggered": vs.DependencyRequestTrigger.OnNoSalvoTriggered,
}


class GraphFileError(ValueError):
    """A graph file (or FBP graph) that cannot be read.

    `path` is the JSON path of the offending element, `reason` what is wrong
    with it; str() gives both.
    """

    def __init__(self, path, reason):
        super().__init__(f"{path}: {reason}")
        self.path = path
        self.reason = reason


# ---------------------------------------------------------------- writing


def _slots_to_data(port):
    spec = port.slots_spec
    return {"capacity": spec.capacity} if isinstance(spec, vs.PortSlotSpecFinite) else {"capacity": None}


def _state_to_data(state):
    if isinstance(state, vs.PortStateNumeric):
        return {state.kind: state.value}
    return {0: "Empty", 1: "Full", 2: "NonEmpty", 3: "NonFull"}[int(state)]


def term_to_data(term, _depth=0):
    if _depth > MAX_TERM_DEPTH:
        raise ValueError(f"salvo condition term nested deeper than {MAX_TERM_DEPTH} levels")
    kind = term.kind
    if kind in ("True", "False"):
        return {"kind": kind.lower()}
    if kind == "Port":
        return {"kind": "port", "port": term.get_port_name(), "state": _state_to_data(term.get_port_state())}
    if kind == "Not":
        return {"kind": "not", "term": term_to_data(term.get_inner(), _depth + 1)}
    return {"kind": kind.lower(), "terms": [term_to_data(t, _depth + 1) for t in term.get_terms()]}


def condition_to_data(name, cond):
    ms = cond.max_salvos
    ports = {}
    for port, count in sorted(cond.ports.items()):
        ports[port] = count.count if isinstance(count, vs.PacketCountN) else "all"
    return {
        "name": name,
        "max_salvos": ms.max if isinstance(ms, vs.MaxSalvosFinite) else None,
        "ports": ports,
        "term": term_to_data(cond.term),
    }


def node_to_data(node):
    cfg = node.dependency_request_config
    return {
        "name": node.name,
        "in_ports": {k: _slots_to_data(p) for k, p in sorted(node.in_ports.items())},
        "out_ports": {k: _slots_to_data(p) for k, p in sorted(node.out_ports.items())},
        # Conditions keep the node's order: the engine tries them in it.
        "in_salvo_conditions": [condition_to_data(k, c) for k, c in node.in_salvo_conditions.items()],
        "out_salvo_conditions": [condition_to_data(k, c) for k, c in node.out_salvo_conditions.items()],
        "dependency_request_config": None
        if cfg is None
        else {"triggers": [repr(t).split(".")[1] for t in cfg.triggers], "label": cfg.label},
    }


def port_ref_to_data(ref):
    return {"node": ref.node_name, "type": "output" if ref.port_type == vs.PortType.Output else "input",
            "port": ref.port_name}


def edge_to_data(edge):
    return {"source": port_ref_to_data(edge.source), "target": port_ref_to_data(edge.target)}


def _ref_key(ref):
    return (ref.node_name, int(ref.port_type), ref.port_name)


def edge_key(edge):
    return _ref_key(edge.source) + _ref_key(edge.target)


def graph_edge_list(graph):
    """The graph's edges as construction would need them: grouped by target in
    sorted order, each target's edges in the graph's own order for that port,
    repetitions included (the request cascade walks them in that order)."""
    by_target = {}
    for e in graph.edges():
        by_target.setdefault(_ref_key(e.target), e.target)
    out = []
    for key in sorted(by_target):
        incoming = graph.get_edges_by_head(by_target[key])
        out.extend(incoming)
    return out


def graph_to_dict(graph):
    """Returns the graph as plain data (dicts, lists, str, int, None)."""
    nodes = graph.nodes()
    return {
        "format": FORMAT,
        "version": VERSION,
        "nodes": [node_to_data(nodes[name]) for name in sorted(nodes)],
        "edges": [edge_to_data(e) for e in graph_edge_list(graph)],
        "dependency_edges": [edge_to_data(e) for e in sorted(graph.dependency_edges(), key=edge_key)],
    }


def save_graph(graph, path):
    """Writes the graph to `path` as JSON (UTF-8)."""
    with open(path, "w", encoding="utf-8") as f:
        json.dump(graph_to_dict(graph), f, indent=2, ensure_ascii=False)
        f.write("\n")


# ---------------------------------------------------------------- reading


def _child(path, key):
    if isinstance(key, int):
        return f"{path}[{key}]"
    if not isinstance(key, str):  # only Python data, never JSON, has such keys
        return f"{path}[{key!r}]"
    if key.isidentifier():
        return f"{path}.{key}"
    return f"{path}[{json.dumps(key)}]"


def expect(value, types, path, what):
    # bool is an int subclass: never let True stand for a capacity of 1.
    if isinstance(value, bool) and bool not in types:
        raise GraphFileError(path, f"expected {what}, got a boolean")
    if not isinstance(value, types):
        raise GraphFileError(path, f"expected {what}, got {_type_name(value)}")
    return value


def _type_name(value):
    return {dict: "an object", list: "an array", str: "a string", bool: "a boolean", int: "an integer",
            float: "a number", type(None): "null"}.get(type(value), type(value).__name__)


def text(value, path, what="a string"):
    expect(value, (str,), path, what)
    try:
        value.encode("utf-8")
    except UnicodeEncodeError:
        raise GraphFileError(path, "string is not valid Unicode (lone surrogate)") from None
    return value


def uint64(value, path, what="a non-negative integer"):
    expect(value, (int,), path, what)
    if value < 0 or value > MAX_UINT64:
        raise GraphFileError(path, f"{value if abs(value) < 10**30 else 'number'} is out of range (0 to 2**64-1)")
    return value


def obj(value, path, required=(), optional=()):
    expect(value, (dict,), path, "an object")
    for key in value:
        if key not in required and key not in optional:
            raise GraphFileError(_child(path, key), "unknown key")
    for key in required:
        if key not in value:
            raise GraphFileError(path, f"missing key {json.dumps(key)}")
    return value


def _port(value, path):
    obj(value, path, optional=("capacity",))
    cap = value.get("capacity")
    if cap is None:
        return vs.Port()
    return vs.Port(vs.PortSlotSpec.finite(uint64(cap, _child(path, "capacity"), "an integer capacity or null")))


def _ports(value, path):
    expect(value, (dict,), path, "an object of ports")
    return {text(name, path, "a port name"): _port(p, _child(path, name)) for name, p in value.items()}


def _state(value, path):
    if isinstance(value, str):
        if value not in _PLAIN_STATES:
            raise GraphFileError(path, f"unknown port state {json.dumps(value)}")
        return _PLAIN_STATES[value]
    expect(value, (dict,), path, "a port state")
    if len(value) != 1:
        raise GraphFileError(path, "a numeric port state has exactly one key")
    ((kind, n),) = value.items()
    if kind not in _NUMERIC_STATES:
        raise GraphFileError(_child(path, kind), "unknown port state")
    return getattr(vs.PortState, kind)(uint64(n, _child(path, kind)))


def term_from_data(value, path="$"):
    """Builds a SalvoConditionTerm. Iterative, so that depth is bounded by
    MAX_TERM_DEPTH and not by the interpreter's recursion limit."""
    # Pass 1 (pre-order) checks shapes; pass 2 builds children before parents.
    keys = {"true": (), "false": (), "port": ("port", "state"), "and": ("terms",), "or": ("terms",),
            "not": ("term",)}
    order = []  # (value, path, kind, child indices)
    stack = [(value, path, 0, None)]
    while stack:
        v, p, depth, parent = stack.pop()
        if depth > MAX_TERM_DEPTH:
            raise GraphFileError(p, f"term nested deeper than {MAX_TERM_DEPTH} levels")
        expect(v, (dict,), p, "a term object")
        kind = v.get("kind")
        if not isinstance(kind, str) or kind not in keys:
            raise GraphFileError(_child(p, "kind"), f"unknown term kind {json.dumps(kind)[:40]}")
        obj(v, p, required=("kind",) + keys[kind])
        index = len(order)
        order.append((v, p, kind, []))
        if parent is not None:
            order[parent][3].append(index)
        if kind in ("and", "or"):
            tpath = _child(p, "terms")
            subs = expect(v["terms"], (list,), tpath, "an array of terms")
            for i in range(len(subs) - 1, -1, -1):
                stack.append((subs[i], _child(tpath, i), depth + 1, index))
        elif kind == "not":
            stack.append((v["term"], _child(p, "term"), depth + 1, index))
    built = [None] * len(order)
    for index in range(len(order) - 1, -1, -1):
        v, p, kind, children = order[index]
        # Children were pushed in reverse, so they were visited (and listed) in order.
        subs = [built[c] for c in children]
        if kind == "true":
            t = vs.SalvoConditionTerm.true_()
        elif kind == "false":
            t = vs.SalvoConditionTerm.false_()
        elif kind == "port":
            t = vs.SalvoConditionTerm.port(text(v["port"], _child(p, "port"), "a port name"),
                                           _state(v["state"], _child(p, "state")))
        elif kind == "not":
            t = vs.SalvoConditionTerm.not_(subs[0])
        else:
            t = getattr(vs.SalvoConditionTerm, kind + "_")(subs)
        built[index] = t
        for c in children:
            built[c] = None  # copied into the parent; free as we go
    return built[0]


def _condition(value, path):
    obj(value, path, required=("name", "term"), optional=("max_salvos", "ports"))
    name = text(value["name"], _child(path, "name"), "a condition name")
    ms = value.get("max_salvos")
    max_salvos = vs.MaxSalvos.Infinite if ms is None else vs.MaxSalvos.finite(
        uint64(ms, _child(path, "max_salvos"), "an integer or null"))
    ports = {}
    ppath = _child(path, "ports")
    for port, count in expect(value.get("ports", {}), (dict,), ppath, "an object of ports").items():
        text(port, ppath, "a port name")
        if count == "all":
            ports[port] = vs.PacketCount.All
        else:
            ports[port] = vs.PacketCount.count(uint64(count, _child(ppath, port), '"all" or an integer'))
    return name, vs.SalvoCondition(max_salvos, ports, term_from_data(value["term"], _child(path, "term")))


def _conditions(value, path):
    expect(value, (list,), path, "an array of salvo conditions")
    out = {}
    for i, c in enumerate(value):
        name, cond = _condition(c, _child(path, i))
        if name in out:
            raise GraphFileError(_child(_child(path, i), "name"), f"duplicate condition name {json.dumps(name)}")
        out[name] = cond
    return out


def _config(value, path):
    if value is None:
        return None
    obj(value, path, required=("triggers", "label"))
    tpath = _child(path, "triggers")
    triggers = []
    for i, t in enumerate(expect(value["triggers"], (list,), tpath, "an array of triggers")):
        if not isinstance(t, str) or t not in _TRIGGERS:
            raise GraphFileError(_child(tpath, i), '"OnStartup" or "OnNoSalvoTriggered" expected')
        triggers.append(_TRIGGERS[t])
    return vs.DependencyRequestConfig(triggers, text(value["label"], _child(path, "label"), "a label"))


def node_from_data(value, path):
    obj(value, path, required=("name",), optional=("in_ports", "out_ports", "in_salvo_conditions",
                                                   "out_salvo_conditions", "dependency_request_config"))
    return vs.Node(
        text(value["name"], _child(path, "name"), "a node name"),
        in_ports=_ports(value.get("in_ports", {}), _child(path, "in_ports")),
        out_ports=_ports(value.get("out_ports", {}), _child(path, "out_ports")),
        in_salvo_conditions=_conditions(value.get("in_salvo_conditions", []), _child(path, "in_salvo_conditions")),
        out_salvo_conditions=_conditions(value.get("out_salvo_conditions", []),
                                         _child(path, "out_salvo_conditions")),
        dependency_request_config=_config(value.get("dependency_request_config"),
                                          _child(path, "dependency_request_config")),
    )


def port_ref_from_data(value, path):
    obj(value, path, required=("node", "type", "port"))
    kind = value["type"]
    if kind not in ("input", "output"):
        raise GraphFileError(_child(path, "type"), '"input" or "output" expected')
    return vs.PortRef(text(value["node"], _child(path, "node"), "a node name"),
                      vs.PortType.Input if kind == "input" else vs.PortType.Output,
                      text(value["port"], _child(path, "port"), "a port name"))


def edge_from_data(value, path):
    obj(value, path, required=("source", "target"))
    return vs.Edge(port_ref_from_data(value["source"], _child(path, "source")),
                   port_ref_from_data(value["target"], _child(path, "target")))


def _edges(value, path):
    expect(value, (list,), path, "an array of edges")
    return [edge_from_data(e, _child(path, i)) for i, e in enumerate(value)]


def build_graph(nodes_with_paths, edges, dependency_edges):
    seen = {}
    for node, path in nodes_with_paths:
        if node.name in seen:
            # The constructor treats a duplicate as a fatal fault; a file must not reach it.
            raise GraphFileError(_child(path, "name"), f"duplicate node name {json.dumps(node.name)}")
        seen[node.name] = path
    return vs.Graph([n for n, _ in nodes_with_paths], edges, dependency_edges=dependency_edges)


def graph_from_dict(data):
    """Builds a Graph from data made by graph_to_dict (or read from a file)."""
    obj(data, "$", required=("format", "version", "nodes"), optional=("edges", "dependency_edges"))
    if data["format"] != FORMAT:
        raise GraphFileError("$.format", f"not a {FORMAT} file")
    version = data["version"]
    if isinstance(version, bool) or not isinstance(version, int) or version != VERSION:
        raise GraphFileError("$.version", f"unsupported version {json.dumps(version)[:40]} (this reader knows {VERSION})")
    expect(data["nodes"], (list,), "$.nodes", "an array of nodes")
    nodes = [(node_from_data(n, f"$.nodes[{i}]"), f"$.nodes[{i}]") for i, n in enumerate(data["nodes"])]
    return build_graph(nodes, _edges(data.get("edges", []), "$.edges"),
                       _edges(data.get("dependency_edges", []), "$.dependency_edges"))


def _no_duplicate_keys(pairs):
    out = {}
    for key, value in pairs:
        if key in out:
            raise GraphFileError("$", f"duplicate key {json.dumps(key)} in an object")
        out[key] = value
    return out


def _no_constant(name):
    raise GraphFileError("$", f"{name} is not a JSON number")


def parse_json(raw):
    """Parses untrusted JSON text or bytes; every failure is a GraphFileError."""
    if isinstance(raw, (bytes, bytearray)):
        try:
            raw = bytes(raw).decode("utf-8")
        except UnicodeDecodeError as e:
            raise GraphFileError("$", f"not UTF-8 text ({e.reason} at byte {e.start})") from None
    try:
        return json.loads(raw, object_pairs_hook=_no_duplicate_keys, parse_constant=_no_constant,
                          parse_float=_finite_float)
    except GraphFileError:
        raise
    except RecursionError:
        raise GraphFileError("$", "nested too deeply") from None
    except ValueError as e:  # JSONDecodeError, and integers too long to convert
        raise GraphFileError("$", f"not valid JSON: {e}") from None


def _finite_float(s):
    value = float(s)
    if math.isinf(value):
        raise GraphFileError("$", f"number {s[:40]} is too large")
    return value


def load_graph(path):
    """Reads a graph file written by save_graph."""
    with open(path, "rb") as f:
        raw = f.read()
    return graph_from_dict(parse_json(raw))
