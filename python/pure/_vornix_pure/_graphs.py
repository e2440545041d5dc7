"""Graph and its validation records: the first classes that hold an engine
object.

A Graph hands its nodes and edges to the engine once, through the builder of
the C interface, and keeps the finished ``vx_graph`` as ``_handle`` for the
simulations made from it. It keeps nothing else: every query reads the
engine's graph back and makes fresh values from it, so a graph's elements
are held once, in the engine's compact form, and the answers are the
engine's own (its edge order, its index of edges by head, its dependency
set). Validation is the engine's alone.
"""

import threading

from ._capi import ffi, lib
from ._errors import InternalFault
from ._graph import (
    AND, FALSE, NOT, OR, PORT, _T_FALSE, _T_TRUE, Edge, Node, PortRef, _same_conditions,
    _same_map, edge as _edge, max_out, node as _node, port_ref as _port_ref)
from ._support import (
    MODULE, Frozen, FrozenType, arg_type_error, finish_class, is_a, method, method_args, new,
    sequence_arg, take, _oset)


def _items_of(name, obj, cls, expected):
    items = sequence_arg(name, obj)
    for item in items:
        if not is_a(item, cls):
            raise arg_type_error(name, expected, item)
    return items


# -- talking to the engine ------------------------------------------------------

class _Call:
    """One engine call's result buffer and the text buffers its inputs point
    to, which must outlive the call. Freed on exit, whatever happened."""

    def __init__(self):
        self._texts = {}
        self._strs = {}
        self._bounds = {}
        self.conditions = {}
        self._ref = self._edge = self._held = None
        self.index = ffi.new("uint32_t*")
        self.result = lib.vx_result_new()  # last: nothing after it can fail
        if self.result == ffi.NULL:
            raise MemoryError()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        lib.vx_result_free(self.result)
        self.result = ffi.NULL
        self._texts.clear()
        self._strs.clear()
        self._bounds.clear()
        self.conditions.clear()

    def text(self, s):
        """A vx_str initializer for a name; names were checked to have UTF-8.
        Port and condition names repeat from node to node: each distinct
        name is encoded once per call."""
        t = self._texts.get(s)
        if t is None:
            data = s.encode("utf-8")
            t = self._texts[s] = (ffi.new("char[]", data), len(data))
        return t

    # The builder's calls take their records by address: a call passing a
    # struct by value costs PyPy's JIT a slow path every time.
    def str_p(self, s):
        p = self._strs.get(s)
        if p is None:
            p = self._strs[s] = ffi.new("vx_str*", self.text(s))
        return p

    def bound_p(self, n):
        p = self._bounds.get(n)
        if p is None:
            p = self._bounds[n] = ffi.new("vx_bound*", _bound(n))
        return p

    def check(self, status):
        if status != _OK:
            view = lib.vx_result_view(self.result)
            raise InternalFault(_str(view.message))

    # A query's port or edge goes in one cell per call, pointed field by
    # field at its names' bytes, which the call keeps until the next query:
    # a struct made from nested tuples, or an array made per name, costs
    # more than the query.
    def ref(self, r):
        cell = self._ref
        if cell is None:
            cell = self._ref = ffi.new("vx_port_ref*")
        self._held = (self._point(cell, r),)
        return cell

    def edge(self, e):
        cell = self._edge
        if cell is None:
            cell = self._edge = ffi.new("vx_edge*")
        self._held = (self._point(cell.source, e._source), self._point(cell.target, e._target))
        return cell

    @staticmethod
    def _point(cell, r):
        node = ffi.from_buffer(r._node.encode("utf-8"))
        port = ffi.from_buffer(r._port.encode("utf-8"))
        name = cell.node_name
        name.ptr = node
        name.len = len(node)
        cell.port_type = r._side
        name = cell.port_name
        name.ptr = port
        name.len = len(port)
        return node, port

    def view(self):
        return lib.vx_result_view(self.result)


_OK = lib.VX_OK


class _ReusedCall(_Call):
    """A thread's call for the graph's queries, kept from one to the next:
    a result buffer made and freed for each would cost more than most
    queries. Its buffer goes with the thread."""

    def __init__(self):
        super().__init__()
        self.result = ffi.gc(self.result, lib.vx_result_free)
        self.busy = False

    def __enter__(self):
        self.busy = True
        return self

    def __exit__(self, *exc):
        self._held = None
        self.busy = False


_local = threading.local()


def _query():
    """The call a query runs in: the thread's own, or a new one while that
    is in use (by a signal handler's query, run in the middle of another)."""
    call = getattr(_local, "call", None)
    if call is None:
        call = _local.call = _ReusedCall()
    elif call.busy:
        return _Call()
    return call


def _str(s):
    return ffi.unpack(s.ptr, s.len).decode("utf-8") if s.len else ""


def _bound(n):
    return (1, 0) if n is None else (0, n)


def _terms(call, term):
    """A term tree as the engine's prefix-order array. Written without
    recursion: terms nest deeper than the interpreter's recursion limit."""
    flat = []
    stack = [term]
    while stack:
        t = stack.pop()
        flat.append(t)
        kind = t[0]
        if kind == AND or kind == OR:
            stack.extend(reversed(t[1]))
        elif kind == NOT:
            stack.append(t[1])
    out = ffi.new("vx_term[]", len(flat))
    for i, t in enumerate(flat):
        cell = out[i]
        kind = t[0]
        cell.kind = kind
        if kind == AND or kind == OR:
            cell.child_count = len(t[1])
        elif kind == PORT:
            cell.port_name = call.text(t[1])
            code, n = t[2]
            cell.state = code
            cell.n = 0 if n is None else n
    return out, len(flat)


def _condition(call, most, ports, term):
    """The engine's arrays for a condition's ports and term. Graphs repeat a
    few conditions over many nodes, so each distinct one is encoded once per
    build (its parts are plain tuples, strs and ints: hashing them runs no
    code of the caller's)."""
    key = (most, tuple(ports.items()), term)
    found = call.conditions.get(key)
    if found is None:
        counts = ffi.new("vx_port_count[]", len(ports))
        for i, (port, n) in enumerate(ports.items()):
            counts[i] = (call.text(port), 1 if n is None else 0, 0 if n is None else n)
        terms, term_count = _terms(call, term)
        found = call.conditions[key] = (call.bound_p(most), counts, len(ports), terms,
                                        term_count)
    return found


def _add_conditions(call, builder, index, side, conditions):
    for name, (most, ports, term) in conditions.items():
        bound, counts, count, terms, term_count = _condition(call, most, ports, term)
        call.check(lib.vx_builder_add_salvo_condition_p(
            builder, index, side, call.str_p(name), bound, counts, count, terms, term_count,
            call.result))


class _Names:
    """The nodes' names of one build in one block, since each is met once
    (and again by the edges at most): a record per name, with its memory to
    free and hash, would cost more than the name. One ``vx_str`` cell is
    pointed at each in turn."""

    def __init__(self, nodes):
        names = [n._name for n in nodes]
        joined = "".join(names)
        if joined.isascii():
            sizes = [len(name) for name in names]
            self.block = ffi.new("char[]", joined.encode("ascii"))
        else:
            encoded = [name.encode("utf-8") for name in names]
            sizes = [len(data) for data in encoded]
            self.block = ffi.new("char[]", b"".join(encoded))
        where, at = {}, 0
        for name, size in zip(names, sizes):
            where[name] = (at, size)
            at += size
        self.where = where
        self.cell = ffi.new("vx_str*")

    def point(self, cell, name, call):
        """Points the vx_str `cell` at `name`: in the block, or (a name no
        node has, which only edges name) in the call's own texts."""
        at = self.where.get(name)
        if at is None:
            cell.ptr, cell.len = call.text(name)
        else:
            cell.ptr = self.block + at[0]
            cell.len = at[1]


def _add_node(call, builder, n, names):
    index = call.index
    cell = names.cell
    names.point(cell, n._name, call)
    call.check(lib.vx_builder_add_node_p(builder, cell, index, call.result))
    i = index[0]
    for side, ports in ((lib.VX_PORT_INPUT, n._in_ports), (lib.VX_PORT_OUTPUT, n._out_ports)):
        for name, capacity in ports.items():
            call.check(lib.vx_builder_add_port_p(builder, i, side, call.str_p(name),
                                                 call.bound_p(capacity), call.result))
    _add_conditions(call, builder, i, lib.VX_PORT_INPUT, n._in_conditions)
    _add_conditions(call, builder, i, lib.VX_PORT_OUTPUT, n._out_conditions)
    if n._requests is not None:
        triggers, label = n._requests
        call.check(lib.vx_builder_set_request_config_p(
            builder, i, ffi.new("uint32_t[]", list(triggers)), len(triggers), call.str_p(label),
            call.result))


def _same_shape(n, like):
    """Whether node `n` has the ports, conditions and request config of node
    `like`, in the same orders. Their parts are plain strs, ints, Nones and
    tuples of them: comparing them runs no code of the caller's."""
    return (n._requests == like._requests
            and _same_map(n._in_ports, like._in_ports)
            and _same_map(n._out_ports, like._out_ports)
            and _same_conditions(n._in_conditions, like._in_conditions)
            and _same_conditions(n._out_conditions, like._out_conditions))


def _point_edge(cell, e, names, call):
    source, target = e._source, e._target
    ref = cell.source
    names.point(ref.node_name, source._node, call)
    ref.port_type = source._side
    ref.port_name.ptr, ref.port_name.len = call.text(source._port)
    ref = cell.target
    names.point(ref.node_name, target._node, call)
    ref.port_type = target._side
    ref.port_name.ptr, ref.port_name.len = call.text(target._port)


def _build(nodes, edges, dependency_edges):
    """The engine's graph for checked values, one reference owned by the
    returned cdata. A repeated node name is the engine's fault."""
    builder = lib.vx_builder_new()
    if builder == ffi.NULL:
        raise MemoryError()
    try:
        with _Call() as call:
            names = _Names(nodes)
            # Graphs repeat a few node shapes: a node shaped like the last
            # one added in full is added as a copy of it, in one call.
            like, like_index = None, 0
            index = call.index
            for n in nodes:
                if like is not None and _same_shape(n, like):
                    names.point(names.cell, n._name, call)
                    call.check(lib.vx_builder_add_node_like(builder, names.cell, like_index,
                                                            index, call.result))
                else:
                    _add_node(call, builder, n, names)
                    like, like_index = n, index[0]
            cell = ffi.new("vx_edge*")
            for e in edges:
                _point_edge(cell, e, names, call)
                call.check(lib.vx_builder_add_edge(builder, cell, call.result))
            for e in dependency_edges:
                _point_edge(cell, e, names, call)
                call.check(lib.vx_builder_add_dependency_edge(builder, cell, call.result))
            out = ffi.new("vx_graph**")
            call.check(lib.vx_builder_finish(builder, out, call.result))
            # The size tells a moving collector (PyPy's) roughly what the
            # handle holds outside its heap, so that it collects in time.
            size = 128 * (len(nodes) + len(edges) + len(dependency_edges))
            return ffi.gc(out[0], lib.vx_graph_release, size)
    finally:
        lib.vx_builder_free(builder)


# -- reading the engine's graph back -------------------------------------------

def _ports_of(records, count):
    return {_str(p.name): None if p.slots.infinite else p.slots.n
            for p in (records[i] for i in range(count))}


def _term_of(records, count):
    """The nested tuples of a term given in prefix order. Read from the end,
    so that each compound term finds its sub-terms, first on top, on a stack:
    no recursion, since terms nest deeper than the interpreter's limit."""
    stack = []
    for i in range(count - 1, -1, -1):
        t = records[i]
        kind = t.kind
        if kind == PORT:
            state = t.state
            stack.append((PORT, _str(t.port_name), (state, t.n if state >= 4 else None)))
        elif kind == AND or kind == OR:
            n = t.child_count
            at = len(stack) - n
            children = tuple(reversed(stack[at:]))
            del stack[at:]
            stack.append((kind, children))
        elif kind == NOT:
            stack.append((NOT, stack.pop()))
        else:
            stack.append(_T_FALSE if kind == FALSE else _T_TRUE)
    return stack[0]


def _conditions_of(records, count):
    out = {}
    for i in range(count):
        c = records[i]
        most = c.max_salvos
        counts = c.ports
        ports = {}
        for k in range(c.port_count):
            p = counts[k]
            ports[_str(p.port_name)] = None if p.all else p.n
        out[_str(c.name)] = (None if most.infinite else most.n, ports,
                             _term_of(c.terms, c.term_count))
    return out


def _node_of(n, prev):
    """A node from its record. A node's maps are never changed once made (its
    getters hand out fresh ones), and graphs repeat a few shapes over many
    nodes: the parts the engine says equal the previous node's are that
    node's maps, neither read again nor kept twice."""
    same = n.same_as_previous if prev is not None else 0
    requests = None
    if n.has_request_config:
        triggers = n.triggers
        requests = (tuple([triggers[i] for i in range(n.trigger_count)]), _str(n.label))
    return _node(
        _str(n.name),
        prev._in_ports if same & _SAME_IN_PORTS else _ports_of(n.in_ports, n.in_port_count),
        prev._out_ports if same & _SAME_OUT_PORTS else _ports_of(n.out_ports, n.out_port_count),
        prev._in_conditions if same & _SAME_IN_CONDITIONS
        else _conditions_of(n.in_conditions, n.in_condition_count),
        prev._out_conditions if same & _SAME_OUT_CONDITIONS
        else _conditions_of(n.out_conditions, n.out_condition_count),
        requests)


_SAME_IN_PORTS = lib.VX_SAME_IN_PORTS
_SAME_OUT_PORTS = lib.VX_SAME_OUT_PORTS
_SAME_IN_CONDITIONS = lib.VX_SAME_IN_CONDITIONS
_SAME_OUT_CONDITIONS = lib.VX_SAME_OUT_CONDITIONS


def _nodes_of(handle):
    with _query() as call:
        result = call.result
        nodes, prev = [], None
        for i in range(lib.vx_graph_count(handle, lib.VX_GRAPH_NODES)):
            call.check(lib.vx_graph_node(handle, i, result))
            prev = _node_of(call.view().node, prev)
            nodes.append(prev)
        return nodes


def _read_edges(call):
    view = call.view()
    found = view.edges
    return [_edge(_port_ref(*_ref_data(e.source)), _port_ref(*_ref_data(e.target)))
            for e in (found[i] for i in range(view.edge_count))]


def _edges_of(handle, which):
    with _query() as call:
        call.check(lib.vx_graph_edges(handle, which, call.result))
        return _read_edges(call)


# -- GraphValidationErrorInfo ---------------------------------------------------

# A record's details as plain data, in the order callers see the keys; each
# read of ``details`` makes new objects from it.
_REF, _EDGE, _MAX, _PLAIN = range(4)


def _ref_data(r):
    return (_str(r.node_name), r.port_type, _str(r.port_name))


def _edge_data(e):
    return (_ref_data(e.source), _ref_data(e.target))


def _details_data(v):
    code = v.code
    if code == lib.VX_VAL_MULTIPLE_EDGES_FROM_OUTPUT_PORT:
        return (("output_port", _REF, _ref_data(v.port)), ("edge_count", _PLAIN, v.edge_count))
    if code == lib.VX_VAL_DEPENDENCY_EDGE_NOT_IN_GRAPH:
        return (("edge", _EDGE, _edge_data(v.edge)),)
    if code == lib.VX_VAL_DEPENDENCY_REQUEST_CONFIG_WITHOUT_DEPENDENCY_EDGES:
        return (("node_name", _PLAIN, _str(v.node_name)),)
    if code == lib.VX_VAL_INPUT_SALVO_CONDITION_INVALID_MAX_SALVOS:
        most = v.max_salvos
        return (("node_name", _PLAIN, _str(v.node_name)),
                ("condition_name", _PLAIN, _str(v.condition_name)),
                ("max_salvos", _MAX, None if most.infinite else most.n))
    if code in (lib.VX_VAL_SALVO_CONDITION_REFERENCES_NONEXISTENT_PORT,
                lib.VX_VAL_SALVO_CONDITION_TERM_REFERENCES_NONEXISTENT_PORT):
        return (("node_name", _PLAIN, _str(v.node_name)),
                ("condition_name", _PLAIN, _str(v.condition_name)),
                ("is_input_condition", _PLAIN, bool(v.is_input_condition)),
                ("missing_port", _PLAIN, _str(v.missing_port)))
    ends = (("edge_source", _REF, _ref_data(v.edge.source)),
            ("edge_target", _REF, _ref_data(v.edge.target)))
    if code == lib.VX_VAL_EDGE_REFERENCES_NONEXISTENT_NODE:
        return ends + (("missing_node", _PLAIN, _str(v.missing_node)),)
    if code == lib.VX_VAL_EDGE_REFERENCES_NONEXISTENT_PORT:
        return ends + (("missing_port", _REF, _ref_data(v.port)),)
    if code in (lib.VX_VAL_EDGE_SOURCE_NOT_OUTPUT_PORT, lib.VX_VAL_EDGE_TARGET_NOT_INPUT_PORT):
        return ends
    raise InternalFault(f"unknown validation error code {code}")


def _detail_value(kind, data):
    if kind == _REF:
        return _port_ref(*data)
    if kind == _EDGE:
        return _edge(_port_ref(*data[0]), _port_ref(*data[1]))
    if kind == _MAX:
        return max_out(data)
    return data


class GraphValidationErrorInfo(Frozen, metaclass=FrozenType):
    """Structured validation error from graph validation.

Provides access to the error variant name, human-readable message,
and a dict of variant-specific fields (node names, port refs, etc.)."""
    __slots__ = ("_kind", "_message", "_details")
    __module__ = MODULE

    @property
    def kind(self):
        'The error variant name (e.g., "MultipleEdgesFromOutputPort").'
        return self._kind

    @property
    def message(self):
        "The human-readable error message."
        return self._message

    @property
    def details(self):
        "Dict of variant-specific fields (node names, port refs, counts, etc.)."
        return {key: _detail_value(kind, data) for key, kind, data in self._details}

    def __str__(self):
        return self._message

    # Kind and message go in as they are, between plain single quotes.
    def __repr__(self):
        return f"GraphValidationErrorInfo(kind='{self._kind}', message='{self._message}')"


finish_class(GraphValidationErrorInfo)


def _validation_error(v):
    r = new(GraphValidationErrorInfo)
    _oset(r, "_kind", _str(v.kind))
    _oset(r, "_message", _str(v.message))
    _oset(r, "_details", _details_data(v))
    return r


# -- Graph --------------------------------------------------------------------

_GRAPH_PARAMS = ("nodes", "edges", "dependency_edges")


class Graph(Frozen, metaclass=FrozenType):
    "The static topology of a flow-based network."
    __slots__ = ("_handle",)
    __module__ = MODULE

    def __new__(cls, *args, **kwargs):
        if kwargs or not 2 <= len(args) <= 3:
            args = take("Graph", _GRAPH_PARAMS, 2, args, kwargs)
        nodes = _items_of("nodes", args[0], Node, "Node")
        edges = _items_of("edges", args[1], Edge, "Edge")
        deps = args[2] if len(args) > 2 else None
        deps = [] if deps is None else _items_of("dependency_edges", deps, Edge, "Edge")
        g = new(Graph)
        _oset(g, "_handle", _build(nodes, edges, deps))
        return g

    @method("($self)", "Returns a dict of all nodes, keyed by name.")
    def nodes(self, *args, **kwargs):
        if args or kwargs or type(self) is not Graph:
            method_args(Graph, "nodes", self, args, kwargs)
        return {n._name: n for n in _nodes_of(self._handle)}

    @method("($self)", "Returns a list of all edges.")
    def edges(self, *args, **kwargs):
        if args or kwargs or type(self) is not Graph:
            method_args(Graph, "edges", self, args, kwargs)
        return _edges_of(self._handle, lib.VX_GRAPH_EDGES)

    @method("($self)", "Validate the graph and return a list of structured validation errors.")
    def validate(self, *args, **kwargs):
        if args or kwargs or type(self) is not Graph:
            method_args(Graph, "validate", self, args, kwargs)
        with _Call() as call:
            call.check(lib.vx_graph_validate(self._handle, call.result))
            view = lib.vx_result_view(call.result)
            found = view.validation_errors
            return [_validation_error(found[i]) for i in range(view.validation_error_count)]

    @method("($self, input_port_ref)",
            "Returns all edges that have the given input port as their target (head).\n"
            "Fan-in is allowed, so multiple edges can connect to the same input port.")
    def get_edges_by_head(self, *args, **kwargs):
        if type(self) is not Graph:
            _not_a_graph("get_edges_by_head", self)
        if kwargs or len(args) != 1:
            args = take("get_edges_by_head", ("input_port_ref",), 1, args, kwargs)
        port = args[0]
        if not is_a(port, PortRef):
            raise arg_type_error("input_port_ref", "PortRef", port)
        with _query() as call:
            call.check(lib.vx_graph_edges_by_head(
                self._handle, call.ref(port), call.result))
            return _read_edges(call)

    @method("($self, edge)", "Check if an edge is a dependency edge.")
    def is_dependency_edge(self, *args, **kwargs):
        if type(self) is not Graph:
            _not_a_graph("is_dependency_edge", self)
        if kwargs or len(args) != 1:
            args = take("is_dependency_edge", ("edge",), 1, args, kwargs)
        e = args[0]
        if not is_a(e, Edge):
            raise arg_type_error("edge", "Edge", e)
        with _query() as call:
            call.check(lib.vx_graph_is_dependency_edge(self._handle, call.edge(e), call.result))
            return bool(call.view().found)

    @method("($self)", "Returns the set of dependency edges as a list.")
    def dependency_edges(self, *args, **kwargs):
        if args or kwargs or type(self) is not Graph:
            method_args(Graph, "dependency_edges", self, args, kwargs)
        return _edges_of(self._handle, lib.VX_GRAPH_DEPENDENCY_EDGES)

    def __repr__(self):
        handle = self._handle
        return (f"Graph(nodes={lib.vx_graph_count(handle, lib.VX_GRAPH_NODES)}, "
                f"edges={lib.vx_graph_count(handle, lib.VX_GRAPH_EDGES)})")

    # A graph pickles as its constructor call, with the nodes and the edges in
    # the order they were given (every edge as often as it was given), so the
    # graph unpickled is built exactly as this one was.
    def __reduce__(self, *args, **kwargs):
        if args or kwargs or type(self) is not Graph:
            method_args(Graph, "__reduce__", self, args, kwargs)
        handle = self._handle
        return Graph, (_nodes_of(handle), _edges_of(handle, lib.VX_GRAPH_EDGES_AS_GIVEN),
                       _edges_of(handle, lib.VX_GRAPH_DEPENDENCY_EDGES))

    __reduce__.__text_signature__ = "($self, /)"
    __reduce__.__doc__ = "Return state information for pickling."


finish_class(Graph, "(nodes, edges, dependency_edges=None)")


def _not_a_graph(name, obj):
    raise TypeError(f"descriptor '{name}' for 'Graph' objects doesn't apply to a "
                    f"'{type(obj).__name__}' object")
