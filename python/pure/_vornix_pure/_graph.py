"""The graph element classes: what a caller describes a graph with.

Each class holds plain Python data shaped like the engine's value (ints for
numbered variants, None for the unnumbered ones, nested tuples for terms),
so that conversion for the engine later is a walk over tuples, and getters
wrap that data in new objects, as the extension hands out copies.
"""

from ._enum import Enumeration, make_members, value_of
from ._support import (
    MODULE, Frozen, FrozenType, arg_type_error, finish_class, is_a, method, method_args, new,
    no_args, quoted, is_sequence, sequence_arg, siphash13, str_arg, str_item, take, type_name,
    u64_arg, _oset)


# -- PortType, PortRef, Edge ------------------------------------------------

class PortType(Enumeration):
    "Whether a port is for input or output."
    __slots__ = ()
    __module__ = MODULE

    def __hash__(self):
        return _TYPE_HASH[self._v]


INPUT, OUTPUT = make_members(PortType, ("Input", "Output"))
finish_class(PortType)
_TYPE_BYTES = (bytes(8), (1).to_bytes(8, "little"))
_TYPE_HASH = (siphash13(_TYPE_BYTES[0]), siphash13(_TYPE_BYTES[1]))
_SIDE = ("in", "out")
_TYPE_NAME = ("Input", "Output")


# The hash is a SipHash over the value's bytes, dear in Python; the same
# references are hashed again and again (getters make new objects), so recent
# values are remembered, within a bound.
_ref_hashes = {}
_edge_hashes = {}
_HASH_MEMORY = 4096


def _remember(memory, key, h):
    if len(memory) >= _HASH_MEMORY:
        memory.clear()
    memory[key] = h


def _ref_bytes(node, side, port):
    return (node.encode("utf-8", "surrogatepass") + b"\xff" + _TYPE_BYTES[side]
            + port.encode("utf-8", "surrogatepass") + b"\xff")


class PortRef(Frozen, metaclass=FrozenType):
    "A reference to a specific port on a specific node."
    __slots__ = ("_node", "_side", "_port", "_hash")
    __module__ = MODULE

    def __new__(cls, *args, **kwargs):
        if kwargs or len(args) != 3:
            args = take("PortRef", ("node_name", "port_type", "port_name"), 3, args, kwargs)
        node = str_arg("node_name", args[0])
        kind = args[1]
        if not is_a(kind, PortType):
            raise arg_type_error("port_type", "PortType", kind)
        port = str_arg("port_name", args[2])
        return port_ref(node, kind._v, port)

    @property
    def node_name(self):
        "The name of the node containing this port."
        return self._node

    @property
    def port_type(self):
        "Whether this is an input or output port."
        return value_of(PortType, self._side)

    @property
    def port_name(self):
        "The name of the port on the node."
        return self._port

    def __repr__(self):
        return f"PortRef('{self._node}', {_TYPE_NAME[self._side]}, '{self._port}')"

    def __str__(self):
        return f"{self._node}.{_SIDE[self._side]}.{self._port}"

    def __eq__(self, other):
        if type(other) is not PortRef:
            return NotImplemented
        return (self._node == other._node and self._side == other._side
                and self._port == other._port)

    def __ne__(self, other):
        if type(other) is not PortRef:
            return NotImplemented
        return not (self._node == other._node and self._side == other._side
                    and self._port == other._port)

    def __hash__(self):
        h = self._hash
        if h is None:
            key = (self._node, self._side, self._port)
            h = _ref_hashes.get(key)
            if h is None:
                h = siphash13(_ref_bytes(self._node, self._side, self._port))
                _remember(_ref_hashes, key, h)
            _oset(self, "_hash", h)
        return h

    def __reduce__(self, *args, **kwargs):
        if args or kwargs or type(self) is not PortRef:
            method_args(PortRef, "__reduce__", self, args, kwargs)
        return PortRef, (self._node, value_of(PortType, self._side), self._port)


finish_class(PortRef, "(node_name, port_type, port_name)")


def port_ref(node, side, port):
    """A PortRef from already checked parts (side 0 for input, 1 for output)."""
    r = new(PortRef)
    _oset(r, "_node", node)
    _oset(r, "_side", side)
    _oset(r, "_port", port)
    _oset(r, "_hash", None)
    return r


def _copy_ref(r):
    return port_ref(r._node, r._side, r._port)


class Edge(Frozen, metaclass=FrozenType):
    """A connection between two ports in the graph.

Edges connect output ports to input ports, allowing packets to flow
between nodes."""
    __slots__ = ("_source", "_target", "_hash")
    __module__ = MODULE

    def __new__(cls, *args, **kwargs):
        if kwargs or len(args) != 2:
            args = take("Edge", ("source", "target"), 2, args, kwargs)
        source, target = args[0], args[1]
        if not is_a(source, PortRef):
            raise arg_type_error("source", "PortRef", source)
        if not is_a(target, PortRef):
            raise arg_type_error("target", "PortRef", target)
        return edge(source, target)

    @property
    def source(self):
        "The output port where this edge originates."
        return _copy_ref(self._source)

    @property
    def target(self):
        "The input port where this edge terminates."
        return _copy_ref(self._target)

    def __repr__(self):
        return f"Edge({self._source}, {self._target})"

    def __str__(self):
        return f"{self._source} -> {self._target}"

    def __eq__(self, other):
        if type(other) is not Edge:
            return NotImplemented
        return self._source == other._source and self._target == other._target

    def __ne__(self, other):
        if type(other) is not Edge:
            return NotImplemented
        return not (self._source == other._source and self._target == other._target)

    def __hash__(self):
        h = self._hash
        if h is None:
            s, t = self._source, self._target
            key = (s._node, s._side, s._port, t._node, t._side, t._port)
            h = _edge_hashes.get(key)
            if h is None:
                h = siphash13(_ref_bytes(s._node, s._side, s._port)
                              + _ref_bytes(t._node, t._side, t._port))
                _remember(_edge_hashes, key, h)
            _oset(self, "_hash", h)
        return h

    def __reduce__(self, *args, **kwargs):
        if args or kwargs or type(self) is not Edge:
            method_args(Edge, "__reduce__", self, args, kwargs)
        return Edge, (_copy_ref(self._source), _copy_ref(self._target))


finish_class(Edge, "(source, target)")


def edge(source, target):
    """An Edge over copies of two PortRefs (a PortRef subclass is held as the
    plain value it carries)."""
    e = new(Edge)
    _oset(e, "_source", source if type(source) is PortRef else _copy_ref(source))
    _oset(e, "_target", target if type(target) is PortRef else _copy_ref(target))
    _oset(e, "_hash", None)
    return e


# -- Numbered enumerations: an enumeration class and a value class each -----

def _one_u64(call, args, kwargs):
    if kwargs or len(args) != 1:
        args = take(call, ("n",), 1, args, kwargs)
    return u64_arg("n", args[0])


class _Numbered(Frozen, metaclass=FrozenType):
    """A value class of one number, made by a static constructor of its
    enumeration class and pickled as a call of that constructor."""
    __slots__ = ("_n",)
    _maker = None  # the static constructor's name and its class

    def __repr__(self):
        return f"{self._maker[0]}({self._n})"

    def __reduce__(self, *args, **kwargs):
        if args or kwargs:
            method_args(type(self), "__reduce__", self, args, kwargs)
        owner, name = self._maker[1], self._maker[2]
        return getattr(owner, name), (self._n,)


def _numbered(cls, n):
    v = new(cls)
    _oset(v, "_n", n)
    return v


class PortSlotSpec(Enumeration):
    "Port capacity specification."
    __slots__ = ()
    __module__ = MODULE

    @staticmethod
    @method("()")
    def infinite(*args, **kwargs):
        if args or kwargs:
            no_args("infinite", args, kwargs)
        return value_of(PortSlotSpec, 0)

    @staticmethod
    @method("(n)")
    def finite(*args, **kwargs):
        return _numbered(PortSlotSpecFinite, _one_u64("finite", args, kwargs))


class PortSlotSpecFinite(_Numbered):
    "Finite port capacity with a specific limit."
    __slots__ = ()
    __module__ = MODULE

    @property
    def capacity(self):
        return self._n


make_members(PortSlotSpec, ("Infinite", "Finite"))
finish_class(PortSlotSpec)
finish_class(PortSlotSpecFinite)


class PacketCount(Enumeration):
    "Specifies how many packets to take from a port in a salvo."
    __slots__ = ()
    __module__ = MODULE

    @staticmethod
    @method("()", "Take all packets from the port.")
    def all(*args, **kwargs):
        if args or kwargs:
            no_args("all", args, kwargs)
        return value_of(PacketCount, 0)

    @staticmethod
    @method("(n)", "Take at most n packets (takes fewer if port has fewer).")
    def count(*args, **kwargs):
        return _numbered(PacketCountN, _one_u64("count", args, kwargs))


class PacketCountN(_Numbered):
    "PacketCount with a specific count limit."
    __slots__ = ()
    __module__ = MODULE

    @property
    def count(self):
        return self._n


make_members(PacketCount, ("All",))
finish_class(PacketCount)
finish_class(PacketCountN)


class MaxSalvos(Enumeration):
    "Specifies the maximum number of times a salvo condition can trigger."
    __slots__ = ()
    __module__ = MODULE

    @staticmethod
    @method("()", "No limit on triggers.")
    def infinite(*args, **kwargs):
        if args or kwargs:
            no_args("infinite", args, kwargs)
        return value_of(MaxSalvos, 0)

    @staticmethod
    @method("(n)", "Finite limit on triggers.")
    def finite(*args, **kwargs):
        return _numbered(MaxSalvosFinite, _one_u64("finite", args, kwargs))


class MaxSalvosFinite(_Numbered):
    "Finite max salvos with a specific limit."
    __slots__ = ()
    __module__ = MODULE

    @property
    def max(self):
        return self._n


make_members(MaxSalvos, ("Infinite",))
finish_class(MaxSalvos)
finish_class(MaxSalvosFinite)

for _cls, _owner, _name in ((PortSlotSpecFinite, PortSlotSpec, "finite"),
                            (PacketCountN, PacketCount, "count"),
                            (MaxSalvosFinite, MaxSalvos, "finite")):
    type.__setattr__(_cls, "_maker", (f"{_owner.__name__}.{_name}", _owner, _name))


# -- PortState: four plain states, five numbered ones -----------------------

# Engine state codes: 0-3 the plain states, 4-8 the numbered ones in this order.
_NUMERIC_KINDS = ("equals", "less_than", "greater_than", "equals_or_less_than",
                  "equals_or_greater_than")
_STATE_DIAG = ("Empty", "Full", "NonEmpty", "NonFull", "Equals", "LessThan", "GreaterThan",
               "EqualsOrLessThan", "EqualsOrGreaterThan")


class PortState(Enumeration):
    "Port state predicate for salvo conditions."
    __slots__ = ()
    __module__ = MODULE


def _plain_state(code, name):
    @method("()")
    def make(*args, **kwargs):
        if args or kwargs:
            no_args(name, args, kwargs)
        return value_of(PortState, code)
    make.__name__ = name
    make.__qualname__ = "PortState." + name
    return staticmethod(make)


def _numeric_state(code, name):
    @method("(n)")
    def make(*args, **kwargs):
        v = new(PortStateNumeric)
        _oset(v, "_code", code)
        _oset(v, "_n", _one_u64(name, args, kwargs))
        return v
    make.__name__ = name
    make.__qualname__ = "PortState." + name
    return staticmethod(make)


for _i, _name in enumerate(("empty", "full", "non_empty", "non_full")):
    type.__setattr__(PortState, _name, _plain_state(_i, _name))
for _i, _name in enumerate(_NUMERIC_KINDS):
    type.__setattr__(PortState, _name, _numeric_state(_i + 4, _name))


class PortStateNumeric(Frozen, metaclass=FrozenType):
    "Numeric port state predicate."
    __slots__ = ("_code", "_n")
    __module__ = MODULE

    @property
    def kind(self):
        return _NUMERIC_KINDS[self._code - 4]

    @property
    def value(self):
        return self._n

    def __repr__(self):
        return f"PortState.{_NUMERIC_KINDS[self._code - 4]}({self._n})"

    def __reduce__(self, *args, **kwargs):
        if args or kwargs or type(self) is not PortStateNumeric:
            method_args(PortStateNumeric, "__reduce__", self, args, kwargs)
        return getattr(PortState, _NUMERIC_KINDS[self._code - 4]), (self._n,)


make_members(PortState, ("Empty", "Full", "NonEmpty", "NonFull"))
finish_class(PortState)
finish_class(PortStateNumeric)


def state_in(obj):
    """A port state as the engine holds it: (code, number or None)."""
    if is_a(obj, PortState):
        return (obj._v, None)
    if is_a(obj, PortStateNumeric):
        return (obj._code, obj._n)
    raise TypeError("Expected PortState or PortStateNumeric")


def state_out(state):
    code, n = state
    if n is None:
        return value_of(PortState, code)
    v = new(PortStateNumeric)
    _oset(v, "_code", code)
    _oset(v, "_n", n)
    return v


def state_diag(state):
    code, n = state
    return _STATE_DIAG[code] if n is None else f"{_STATE_DIAG[code]}({n})"


def slots_in(obj):
    """A port capacity: None for unlimited. The bare ``Finite`` member carries
    no capacity and so gives an unlimited port."""
    if obj is None or is_a(obj, PortSlotSpec):
        return None
    if is_a(obj, PortSlotSpecFinite):
        return obj._n
    raise TypeError("Expected PortSlotSpec or PortSlotSpecFinite")


def slots_out(n):
    return value_of(PortSlotSpec, 0) if n is None else _numbered(PortSlotSpecFinite, n)


def count_in(obj):
    if is_a(obj, PacketCount):
        return None
    if is_a(obj, PacketCountN):
        return obj._n
    raise TypeError("Expected PacketCount or PacketCountN")


def count_out(n):
    return value_of(PacketCount, 0) if n is None else _numbered(PacketCountN, n)


def max_in(obj):
    if is_a(obj, MaxSalvos):
        return None
    if is_a(obj, MaxSalvosFinite):
        return obj._n
    raise TypeError("Expected MaxSalvos or MaxSalvosFinite")


def max_out(n):
    return value_of(MaxSalvos, 0) if n is None else _numbered(MaxSalvosFinite, n)


# -- Dependency requests ----------------------------------------------------

class DependencyRequestTrigger(Enumeration):
    "When a node should automatically emit packet requests through its dependency edges."
    __slots__ = ()
    __module__ = MODULE

    @staticmethod
    @method("()")
    def on_startup(*args, **kwargs):
        if args or kwargs:
            no_args("on_startup", args, kwargs)
        return value_of(DependencyRequestTrigger, 0)

    @staticmethod
    @method("()")
    def on_no_salvo_triggered(*args, **kwargs):
        if args or kwargs:
            no_args("on_no_salvo_triggered", args, kwargs)
        return value_of(DependencyRequestTrigger, 1)


make_members(DependencyRequestTrigger, ("OnStartup", "OnNoSalvoTriggered"))
finish_class(DependencyRequestTrigger)
_TRIGGER_NAMES = DependencyRequestTrigger._names


class DependencyRequestConfig(Frozen, metaclass=FrozenType):
    "Configuration for automatic dependency-edge request generation on a node."
    __slots__ = ("_triggers", "_label")
    __module__ = MODULE

    def __new__(cls, *args, **kwargs):
        if kwargs or len(args) != 2:
            args = take("DependencyRequestConfig", ("triggers", "label"), 2, args, kwargs)
        triggers = []
        for t in sequence_arg("triggers", args[0]):
            if not is_a(t, DependencyRequestTrigger):
                raise arg_type_error("triggers", "DependencyRequestTrigger", t)
            triggers.append(t._v)
        return request_config(tuple(triggers), str_arg("label", args[1]))

    @property
    def triggers(self):
        return [value_of(DependencyRequestTrigger, t) for t in self._triggers]

    @property
    def label(self):
        return self._label

    def __repr__(self):
        shown = ", ".join("DependencyRequestTrigger." + _TRIGGER_NAMES[t]
                          for t in self._triggers)
        return f"DependencyRequestConfig(triggers=[{shown}], label={quoted(self._label)})"

    def __reduce__(self, *args, **kwargs):
        if args or kwargs or type(self) is not DependencyRequestConfig:
            method_args(DependencyRequestConfig, "__reduce__", self, args, kwargs)
        return DependencyRequestConfig, (self.triggers, self._label)


finish_class(DependencyRequestConfig, "(triggers, label)")


def request_config(triggers, label):
    """From engine data: a tuple of trigger numbers and a label."""
    c = new(DependencyRequestConfig)
    _oset(c, "_triggers", triggers)
    _oset(c, "_label", label)
    return c


# -- Salvo condition terms ---------------------------------------------------

# A term as the engine holds it, as nested tuples:
# (TRUE,), (FALSE,), (PORT, name, state), (AND, terms), (OR, terms), (NOT, term).
TRUE, FALSE, PORT, AND, OR, NOT = range(6)
_TERM_KINDS = ("True", "False", "Port", "And", "Or", "Not")


def term_text(t):
    # Written without recursion: terms nest up to MAX_TERM_DEPTH levels, deeper
    # than the interpreter's own recursion limit leaves room for.
    out = []
    stack = [t]
    pop, push, emit = stack.pop, stack.append, out.append
    while stack:
        item = pop()
        if type(item) is str:
            emit(item)
            continue
        kind = item[0]
        if kind == PORT:
            emit(f"SalvoConditionTerm.port({quoted(item[1])}, {state_diag(item[2])})")
        elif kind == AND or kind == OR:
            emit("SalvoConditionTerm.and_([" if kind == AND else "SalvoConditionTerm.or_([")
            push("])")
            subs = item[1]
            for i in range(len(subs) - 1, -1, -1):
                push(subs[i])
                if i:
                    push(", ")
        elif kind == NOT:
            emit("SalvoConditionTerm.not_(")
            push(")")
            push(item[1])
        else:
            emit("SalvoConditionTerm.true_()" if kind == TRUE else "SalvoConditionTerm.false_()")
    return "".join(out)


# Deeper terms are refused where they are built: everything that walks a term
# (the engine's copies and comparisons included) can then rely on the bound.
MAX_TERM_DEPTH = 1000


def depth_of(t):
    deepest = 0
    stack = [(t, 1)]
    while stack:
        item, level = stack.pop()
        if level > deepest:
            deepest = level
        kind = item[0]
        if kind == AND or kind == OR:
            stack.extend([(s, level + 1) for s in item[1]])
        elif kind == NOT:
            stack.append((item[1], level + 1))
    return deepest


def _term_depth(w):
    d = w._depth
    if d is None:
        d = depth_of(w._t)
        _oset(w, "_depth", d)
    return d


def _combined(t, depth):
    if depth > MAX_TERM_DEPTH:
        raise RecursionError(f"SalvoConditionTerm nested deeper than {MAX_TERM_DEPTH} levels")
    w = new(SalvoConditionTerm)
    _oset(w, "_t", t)
    _oset(w, "_depth", depth)
    return w


def wrap_term(t, depth=None):
    """A new term object over engine data (depth worked out when needed)."""
    w = new(SalvoConditionTerm)
    _oset(w, "_t", t)
    _oset(w, "_depth", depth)
    return w


def _terms_arg(call, args, kwargs):
    if kwargs or len(args) != 1:
        args = take(call, ("terms",), 1, args, kwargs)
    out = []
    deepest = 0
    for t in sequence_arg("terms", args[0]):
        if not is_a(t, SalvoConditionTerm):
            raise arg_type_error("terms", "SalvoConditionTerm", t)
        out.append(t._t)
        d = _term_depth(t)
        if d > deepest:
            deepest = d
    return tuple(out), deepest + 1


_T_TRUE = (TRUE,)
_T_FALSE = (FALSE,)


class SalvoConditionTerm(Frozen, metaclass=FrozenType):
    "Boolean expression over port states."
    __slots__ = ("_t", "_depth")
    __module__ = MODULE

    @staticmethod
    @method("()", "Create a term that is always true. Useful for source nodes with no input "
                  "ports.")
    def true_(*args, **kwargs):
        if args or kwargs:
            no_args("true_", args, kwargs)
        return wrap_term(_T_TRUE, 1)

    @staticmethod
    @method("()", "Create a term that is always false. Useful as a placeholder or with Not.")
    def false_(*args, **kwargs):
        if args or kwargs:
            no_args("false_", args, kwargs)
        return wrap_term(_T_FALSE, 1)

    @staticmethod
    @method("(port_name, state)", "Create a port state check term.")
    def port(*args, **kwargs):
        if kwargs or len(args) != 2:
            args = take("port", ("port_name", "state"), 2, args, kwargs)
        name = str_arg("port_name", args[0])
        return wrap_term((PORT, name, state_in(args[1])), 1)

    @staticmethod
    @method("(terms)", "Create an AND term (all sub-terms must be true).")
    def and_(*args, **kwargs):
        terms, depth = _terms_arg("and_", args, kwargs)
        return _combined((AND, terms), depth)

    @staticmethod
    @method("(terms)", "Create an OR term (at least one sub-term must be true).")
    def or_(*args, **kwargs):
        terms, depth = _terms_arg("or_", args, kwargs)
        return _combined((OR, terms), depth)

    @staticmethod
    @method("(term)", "Create a NOT term (sub-term must be false).")
    def not_(*args, **kwargs):
        if kwargs or len(args) != 1:
            args = take("not_", ("term",), 1, args, kwargs)
        term = args[0]
        if not is_a(term, SalvoConditionTerm):
            raise arg_type_error("term", "SalvoConditionTerm", term)
        return _combined((NOT, term._t), _term_depth(term) + 1)

    @property
    def kind(self):
        'Get the term kind: "True", "False", "Port", "And", "Or", or "Not".'
        return _TERM_KINDS[self._t[0]]

    @method("($self)", "Get the port name (for Port terms only).")
    def get_port_name(self, *args, **kwargs):
        if args or kwargs or type(self) is not SalvoConditionTerm:
            method_args(SalvoConditionTerm, "get_port_name", self, args, kwargs)
        t = self._t
        return t[1] if t[0] == PORT else None

    @method("($self)", "Get the port state (for Port terms only).")
    def get_port_state(self, *args, **kwargs):
        if args or kwargs or type(self) is not SalvoConditionTerm:
            method_args(SalvoConditionTerm, "get_port_state", self, args, kwargs)
        t = self._t
        return state_out(t[2]) if t[0] == PORT else None

    @method("($self)", "Get the sub-terms (for And and Or terms only).")
    def get_terms(self, *args, **kwargs):
        if args or kwargs or type(self) is not SalvoConditionTerm:
            method_args(SalvoConditionTerm, "get_terms", self, args, kwargs)
        t = self._t
        return [wrap_term(s) for s in t[1]] if t[0] == AND or t[0] == OR else None

    @method("($self)", "Get the inner term (for Not terms only).")
    def get_inner(self, *args, **kwargs):
        if args or kwargs or type(self) is not SalvoConditionTerm:
            method_args(SalvoConditionTerm, "get_inner", self, args, kwargs)
        t = self._t
        return wrap_term(t[1]) if t[0] == NOT else None

    def __repr__(self):
        return term_text(self._t)

    def __reduce__(self, *args, **kwargs):
        if args or kwargs or type(self) is not SalvoConditionTerm:
            method_args(SalvoConditionTerm, "__reduce__", self, args, kwargs)
        t = self._t
        kind = t[0]
        if kind == PORT:
            return SalvoConditionTerm.port, (t[1], state_out(t[2]))
        if kind == AND:
            return SalvoConditionTerm.and_, ([wrap_term(s) for s in t[1]],)
        if kind == OR:
            return SalvoConditionTerm.or_, ([wrap_term(s) for s in t[1]],)
        if kind == NOT:
            return SalvoConditionTerm.not_, (wrap_term(t[1]),)
        return (SalvoConditionTerm.true_ if kind == TRUE else SalvoConditionTerm.false_), ()


finish_class(SalvoConditionTerm)


# -- Salvo conditions ---------------------------------------------------------

_PORTS_ERROR = "ports must be a str, list of str, or dict mapping str to PacketCount"


def _ports_in(obj):
    """A condition's port map: name -> packet count (None for all)."""
    if is_a(obj, str):
        return {str_arg("ports", obj): None}
    if is_a(obj, dict):
        ports = {}
        for key, value in list(dict.items(obj)):
            key = str_item(key)  # the key is checked before its value
            ports[key] = count_in(value)
        return ports
    if is_sequence(obj):
        ports = {}
        for key in list(obj):
            if not is_a(key, str) or not _utf8_ok(key):
                raise TypeError(_PORTS_ERROR)
            ports[key if type(key) is str else str.__str__(key)] = None
        return ports
    raise TypeError(_PORTS_ERROR)


def _utf8_ok(text):
    if text.isascii():
        return True
    try:
        text.encode("utf-8")
    except UnicodeEncodeError:
        return False
    return True


class SalvoCondition(Frozen, metaclass=FrozenType):
    "A condition that defines when packets can trigger an epoch or be sent."
    __slots__ = ("_max", "_ports", "_term")
    __module__ = MODULE

    def __new__(cls, *args, **kwargs):
        if kwargs or len(args) != 3:
            args = take("SalvoCondition", ("max_salvos", "ports", "term"), 3, args, kwargs)
        term = args[2]
        if not is_a(term, SalvoConditionTerm):
            raise arg_type_error("term", "SalvoConditionTerm", term)
        most = max_in(args[0])
        return salvo_condition(most, _ports_in(args[1]), term._t)

    @property
    def max_salvos(self):
        "Get the max_salvos value."
        return max_out(self._max)

    @property
    def ports(self):
        "Get the ports as a dict mapping port names to their packet counts."
        return {name: count_out(n) for name, n in self._ports.items()}

    @property
    def term(self):
        return wrap_term(self._term)

    def __repr__(self):
        most = "MaxSalvos.Infinite" if self._max is None else f"MaxSalvos.finite({self._max})"
        entries = ", ".join([
            f"{quoted(name)}: " + ("PacketCount.All" if n is None else f"PacketCount.count({n})")
            for name, n in self._ports.items()])
        return (f"SalvoCondition(max_salvos={most}, ports={{{entries}}}, "
                f"term={term_text(self._term)})")

    def __reduce__(self, *args, **kwargs):
        if args or kwargs or type(self) is not SalvoCondition:
            method_args(SalvoCondition, "__reduce__", self, args, kwargs)
        return SalvoCondition, (self.max_salvos, self.ports, wrap_term(self._term))


finish_class(SalvoCondition, "(max_salvos, ports, term)")


def salvo_condition(most, ports, term):
    """From engine data: limit (None for none), port map, term tuple."""
    c = new(SalvoCondition)
    _oset(c, "_max", most)
    _oset(c, "_ports", ports)
    _oset(c, "_term", term)
    return c


# -- Ports and nodes ----------------------------------------------------------

class Port(Frozen, metaclass=FrozenType):
    "A port on a node."
    __slots__ = ("_slots",)
    __module__ = MODULE

    def __new__(cls, *args, **kwargs):
        if kwargs or len(args) > 1:
            args = take("Port", ("slots_spec",), 0, args, kwargs)
        return port(slots_in(args[0]) if args else None)

    @property
    def slots_spec(self):
        return slots_out(self._slots)

    def __repr__(self):
        n = self._slots
        return ("Port(PortSlotSpec.Infinite)" if n is None
                else f"Port(PortSlotSpec.finite({n}))")

    def __reduce__(self, *args, **kwargs):
        if args or kwargs or type(self) is not Port:
            method_args(Port, "__reduce__", self, args, kwargs)
        return Port, (slots_out(self._slots),)


finish_class(Port, "(slots_spec=None)")


def port(capacity):
    p = new(Port)
    _oset(p, "_slots", capacity)
    return p


_NODE_PARAMS = ("name", "in_ports", "out_ports", "in_salvo_conditions", "out_salvo_conditions",
                "dependency_request_config")


def _port_map(name, obj):
    if obj is None:
        return {}
    if not is_a(obj, dict):
        raise arg_type_error(name, "dict", obj)
    ports = {}
    for key, value in list(dict.items(obj)):
        if not is_a(key, str):
            raise arg_type_error(name, "str", key)
        key = str_arg(name, key)
        if not is_a(value, Port):
            raise arg_type_error(name, "Port", value)
        ports[key] = value._slots
    return ports


def _condition_map(obj):
    conditions = {}
    for key, value in list(dict.items(obj)):
        key = str_item(key)
        if not is_a(value, SalvoCondition):
            raise TypeError(f"expected SalvoCondition, got {type_name(value)}")
        conditions[key] = (value._max, value._ports, value._term)
    return conditions


def _same_map(x, y):
    """Whether two maps of plain values hold the same entries in the same
    order. A dict's == ignores the order of its keys, which the engine keeps;
    the values are plain, so comparing them runs no caller's code."""
    return x is y or (x == y and (len(x) < 2 or list(x) == list(y)))


def _same_conditions(x, y):
    if x is y:
        return True
    if len(x) != len(y):
        return False
    for (k, (most, ports, term)), (k2, (most2, ports2, term2)) in zip(x.items(), y.items()):
        if k != k2 or most != most2 or term != term2 or not _same_map(ports, ports2):
            return False
    return True


# The maps of the last node made: (in ports, out ports, in conditions, out
# conditions). Threads may replace it at once; any one of them will do.
_last_shape = [None]


class Node(Frozen, metaclass=FrozenType):
    "A processing node in the graph."
    __slots__ = ("_name", "_in_ports", "_out_ports", "_in_conditions", "_out_conditions",
                 "_requests")
    __module__ = MODULE

    def __new__(cls, *args, **kwargs):
        if kwargs or len(args) != 6:
            args = take("Node", _NODE_PARAMS, 1, args, kwargs)
        name = str_arg("name", args[0])
        in_ports = _port_map("in_ports", args[1])
        out_ports = _port_map("out_ports", args[2])
        in_conditions, out_conditions = args[3], args[4]
        if in_conditions is not None and not is_a(in_conditions, dict):
            raise arg_type_error("in_salvo_conditions", "dict", in_conditions)
        if out_conditions is not None and not is_a(out_conditions, dict):
            raise arg_type_error("out_salvo_conditions", "dict", out_conditions)
        requests = args[5]
        if requests is not None:
            if not is_a(requests, DependencyRequestConfig):
                raise arg_type_error("dependency_request_config", "DependencyRequestConfig",
                                     requests)
            requests = (requests._triggers, requests._label)
        in_conditions = {} if in_conditions is None else _condition_map(in_conditions)
        out_conditions = {} if out_conditions is None else _condition_map(out_conditions)
        # Nodes come in runs of one shape. A node's maps are never handed out
        # (its getters make fresh ones), so a node shaped like the last one
        # made holds that one's: the graph then sees the run at a glance
        # (by identity), and the run keeps one set of maps.
        last = _last_shape[0]
        if last is not None:
            last_in, last_out, last_in_c, last_out_c = last
            if _same_map(in_ports, last_in):
                in_ports = last_in
            if _same_map(out_ports, last_out):
                out_ports = last_out
            if _same_conditions(in_conditions, last_in_c):
                in_conditions = last_in_c
            if _same_conditions(out_conditions, last_out_c):
                out_conditions = last_out_c
        _last_shape[0] = (in_ports, out_ports, in_conditions, out_conditions)
        return node(name, in_ports, out_ports, in_conditions, out_conditions, requests)

    @property
    def name(self):
        return self._name

    @property
    def in_ports(self):
        return {k: port(n) for k, n in self._in_ports.items()}

    @property
    def out_ports(self):
        return {k: port(n) for k, n in self._out_ports.items()}

    @property
    def in_salvo_conditions(self):
        return {k: salvo_condition(*c) for k, c in self._in_conditions.items()}

    @property
    def out_salvo_conditions(self):
        return {k: salvo_condition(*c) for k, c in self._out_conditions.items()}

    @property
    def dependency_request_config(self):
        r = self._requests
        return None if r is None else request_config(*r)

    def __repr__(self):
        return f"Node({quoted(self._name)})"

    def __reduce__(self, *args, **kwargs):
        if args or kwargs or type(self) is not Node:
            method_args(Node, "__reduce__", self, args, kwargs)
        return Node, (self._name, self.in_ports, self.out_ports, self.in_salvo_conditions,
                      self.out_salvo_conditions, self.dependency_request_config)


finish_class(Node, "(" + ", ".join([_NODE_PARAMS[0]] + [p + "=None" for p in _NODE_PARAMS[1:]])
             + ")")


def node(name, in_ports, out_ports, in_conditions, out_conditions, requests):
    """From engine data. Port maps: name -> capacity or None; condition maps:
    name -> (limit, port map, term), in order; requests: (triggers, label)."""
    n = new(Node)
    _oset(n, "_name", name)
    _oset(n, "_in_ports", in_ports)
    _oset(n, "_out_ports", out_ports)
    _oset(n, "_in_conditions", in_conditions)
    _oset(n, "_out_conditions", out_conditions)
    _oset(n, "_requests", requests)
    return n
