"""Graph element classes: ports, port states, counts, terms, conditions, nodes."""

import inspect
import re

import pytest

import vornix_sim as vs
from vornix_sim import (
    DependencyRequestConfig,
    DependencyRequestTrigger,
    MaxSalvos,
    Node,
    PacketCount,
    Port,
    PortSlotSpec,
    PortState,
    SalvoCondition,
    SalvoConditionTerm as T,
)

from interpreter import PYPY

NON_EMPTY_IN = T.port("in", PortState.NonEmpty)


def condition(ports="in", max_salvos=None, term=None):
    return SalvoCondition(max_salvos or MaxSalvos.finite(1), ports, term or NON_EMPTY_IN)


# --- integer-valued enumeration classes ------------------------------------

ENUM_MEMBERS = [
    (PortSlotSpec, ["Infinite", "Finite"]),
    (PortState, ["Empty", "Full", "NonEmpty", "NonFull"]),
    (PacketCount, ["All"]),
    (MaxSalvos, ["Infinite"]),
    (DependencyRequestTrigger, ["OnStartup", "OnNoSalvoTriggered"]),
]


@pytest.mark.parametrize("cls, names", ENUM_MEMBERS, ids=lambda x: getattr(x, "__name__", ""))
def test_enum_members_are_numbered_and_compare_as_ints(cls, names):
    for number, name in enumerate(names):
        member = getattr(cls, name)
        assert repr(member) == f"{cls.__name__}.{name}"
        assert int(member) == number
        assert member == number and not member != number
        assert member == getattr(cls, name)
        assert member != number + 1
        assert member != str(number)
        with pytest.raises(TypeError):
            hash(member)
        with pytest.raises(TypeError):
            member < member  # noqa: B015
    with pytest.raises(TypeError):
        cls()


@pytest.mark.parametrize(
    "make, member",
    [
        (PortSlotSpec.infinite, PortSlotSpec.Infinite),
        (PortState.empty, PortState.Empty),
        (PortState.full, PortState.Full),
        (PortState.non_empty, PortState.NonEmpty),
        (PortState.non_full, PortState.NonFull),
        (PacketCount.all, PacketCount.All),
        (MaxSalvos.infinite, MaxSalvos.Infinite),
        (DependencyRequestTrigger.on_startup, DependencyRequestTrigger.OnStartup),
        (DependencyRequestTrigger.on_no_salvo_triggered, DependencyRequestTrigger.OnNoSalvoTriggered),
    ],
)
def test_plain_static_constructors_return_members(make, member):
    assert make() == member
    assert type(make()) is type(member)
    with pytest.raises(TypeError):
        make(1)


def test_members_of_different_enum_classes_never_compare_equal():
    assert PortState.Empty == 0 and PacketCount.All == 0
    assert PortState.Empty != PacketCount.All
    assert PortSlotSpec.Infinite != MaxSalvos.Infinite


# --- numbered companions ---------------------------------------------------

NUMBERED = [
    (lambda n: PortSlotSpec.finite(n), "PortSlotSpecFinite", "capacity", "PortSlotSpec.finite({})"),
    (lambda n: PacketCount.count(n), "PacketCountN", "count", "PacketCount.count({})"),
    (lambda n: MaxSalvos.finite(n), "MaxSalvosFinite", "max", "MaxSalvos.finite({})"),
] + [
    (getattr(PortState, kind), "PortStateNumeric", "value", f"PortState.{kind}({{}})")
    for kind in ["equals", "less_than", "greater_than", "equals_or_less_than",
                 "equals_or_greater_than"]
]


@pytest.mark.parametrize("make, cls_name, getter, template", NUMBERED)
@pytest.mark.parametrize("n", [0, 3, 2**64 - 1])
def test_numbered_values(make, cls_name, getter, template, n):
    value = make(n)
    assert type(value).__name__ == cls_name
    assert getattr(value, getter) == n
    assert repr(value) == template.format(n)
    # No comparison of their own: identity only.
    assert make(n) != make(n)
    with pytest.raises(TypeError):
        type(value)()


@pytest.mark.parametrize("make, cls_name, getter, template", NUMBERED)
@pytest.mark.parametrize(
    "bad, exc, text",
    [
        (-1, OverflowError, "argument 'n': "),
        (2**64, OverflowError, "argument 'n': "),
        ("3", TypeError, "argument 'n': "),
        (3.0, TypeError, "argument 'n': "),
    ],
)
def test_numbered_values_refuse_bad_numbers(make, cls_name, getter, template, bad, exc, text):
    with pytest.raises(exc, match=re.escape(text)):
        make(bad)


def test_port_state_numeric_kind_names_the_constructor():
    assert PortState.greater_than(2).kind == "greater_than"
    assert PortState.equals_or_less_than(2).kind == "equals_or_less_than"


# --- Port ----------------------------------------------------------------


@pytest.mark.parametrize(
    "args, capacity",
    [
        ((), None),
        ((None,), None),
        ((PortSlotSpec.Infinite,), None),
        # The bare member carries no capacity: still unlimited.
        ((PortSlotSpec.Finite,), None),
        ((PortSlotSpec.finite(0),), 0),
        ((PortSlotSpec.finite(2),), 2),
    ],
)
def test_port_capacity_forms(args, capacity):
    port = Port(*args)
    if capacity is None:
        assert repr(port) == "Port(PortSlotSpec.Infinite)"
        assert port.slots_spec == PortSlotSpec.Infinite
    else:
        assert repr(port) == f"Port(PortSlotSpec.finite({capacity}))"
        assert port.slots_spec.capacity == capacity
    assert Port(slots_spec=args[0] if args else None).slots_spec is not port.slots_spec


@pytest.mark.parametrize("bad", [2, "finite", PortState.Full, MaxSalvos.finite(2)])
def test_port_refuses_other_capacities(bad):
    with pytest.raises(TypeError, match="^Expected PortSlotSpec or PortSlotSpecFinite$"):
        Port(bad)


# --- SalvoConditionTerm ------------------------------------------------------


def test_term_repr_is_recursive_and_quotes_port_names():
    term = T.and_([
        T.port("in", PortState.NonEmpty),
        T.not_(T.port("ctl", PortState.equals(0))),
        T.or_([T.true_(), T.false_(), T.port('q"\n', PortState.less_than(3))]),
    ])
    assert repr(term) == (
        'SalvoConditionTerm.and_([SalvoConditionTerm.port("in", NonEmpty), '
        'SalvoConditionTerm.not_(SalvoConditionTerm.port("ctl", Equals(0))), '
        "SalvoConditionTerm.or_([SalvoConditionTerm.true_(), SalvoConditionTerm.false_(), "
        'SalvoConditionTerm.port("q\\"\\n", LessThan(3))])])'
    )
    assert repr(T.and_([])) == "SalvoConditionTerm.and_([])"
    assert repr(T.or_(())) == "SalvoConditionTerm.or_([])"


@pytest.mark.parametrize(
    "state, text",
    [
        (PortState.Empty, "Empty"),
        (PortState.Full, "Full"),
        (PortState.NonFull, "NonFull"),
        (PortState.greater_than(2), "GreaterThan(2)"),
        (PortState.equals_or_less_than(5), "EqualsOrLessThan(5)"),
        (PortState.equals_or_greater_than(7), "EqualsOrGreaterThan(7)"),
    ],
)
def test_term_repr_uses_diagnostic_state_names(state, text):
    assert repr(T.port("p", state)) == f'SalvoConditionTerm.port("p", {text})'


@pytest.mark.parametrize(
    "term, kind, name, has_terms, has_inner",
    [
        (T.true_(), "True", None, False, False),
        (T.false_(), "False", None, False, False),
        (T.port("x", PortState.greater_than(2)), "Port", "x", False, False),
        (T.and_([T.true_()]), "And", None, True, False),
        (T.or_([T.true_()]), "Or", None, True, False),
        (T.not_(T.true_()), "Not", None, False, True),
    ],
)
def test_term_kinds_and_getters(term, kind, name, has_terms, has_inner):
    assert term.kind == kind
    assert term.get_port_name() == name
    assert (term.get_port_state() is not None) == (kind == "Port")
    assert (term.get_terms() is not None) == has_terms
    assert (term.get_inner() is not None) == has_inner


def test_term_getters_return_copies_in_order():
    a, b = T.port("a", PortState.Empty), T.port("b", PortState.greater_than(2))
    both = T.or_([a, b])
    parts = both.get_terms()
    assert [t.get_port_name() for t in parts] == ["a", "b"]
    assert parts[0] is not a
    state = parts[1].get_port_state()
    assert type(state).__name__ == "PortStateNumeric"
    assert (state.kind, state.value) == ("greater_than", 2)
    assert parts[0].get_port_state() == PortState.Empty
    assert repr(T.not_(both).get_inner()) == repr(both)


@pytest.mark.parametrize(
    "call, exc, text",
    [
        (lambda: T.port("x", 1), TypeError, "^Expected PortState or PortStateNumeric$"),
        (lambda: T.port("x", PacketCount.All), TypeError, "^Expected PortState or PortStateNumeric$"),
        (lambda: T.port(1, PortState.Empty), TypeError, "^argument 'port_name': "),
        (lambda: T.and_("ab"), TypeError, "^argument 'terms': "),
        (lambda: T.or_([T.true_(), 1]), TypeError, "^argument 'terms': "),
        (lambda: T.and_(T.true_()), TypeError, "^argument 'terms': "),
        (lambda: T.not_("x"), TypeError, "^argument 'term': "),
        (lambda: T.not_(), TypeError, "term"),
        (lambda: T.true_(1), TypeError, "takes no arguments"),
    ],
)
def test_term_constructors_refuse_bad_arguments(call, exc, text):
    with pytest.raises(exc, match=text):
        call()


def test_term_keyword_arguments():
    term = T.port(state=PortState.Full, port_name="p")
    assert repr(term) == 'SalvoConditionTerm.port("p", Full)'
    assert T.not_(term=term).kind == "Not"
    assert T.and_(terms=[term]).kind == "And"


def nested_nots(levels):
    term = T.true_()
    for _ in range(levels):
        term = T.not_(term)
    return term


def test_term_nesting_is_bounded():
    # 1000 levels are accepted and usable everywhere the term travels.
    deepest = nested_nots(999)
    assert repr(deepest).count("not_(") == 999
    node = Node("N", in_salvo_conditions={"c": condition(term=deepest)})
    copy = vs.Graph([node], []).nodes()["N"].in_salvo_conditions["c"].term
    assert copy.get_inner().kind == "Not"
    # One level more is refused, whichever constructor adds it.
    with pytest.raises(RecursionError):
        T.not_(deepest)
    with pytest.raises(RecursionError):
        T.and_([T.true_(), deepest])
    with pytest.raises(RecursionError):
        T.or_([deepest])
    assert T.and_([nested_nots(998)]).kind == "And"


# --- SalvoCondition ----------------------------------------------------------


class StrDict(dict):
    def __iter__(self):  # never consulted: the dict's own order is used
        raise AssertionError("iterated through __iter__")


@pytest.mark.parametrize(
    "ports, expected",
    [
        ("in", {"in": "PacketCount.All"}),
        (["a", "b"], {"a": "PacketCount.All", "b": "PacketCount.All"}),
        (("a", "a"), {"a": "PacketCount.All"}),
        ([], {}),
        ({}, {}),
        ({"a": PacketCount.count(2), "b": PacketCount.All},
         {"a": "PacketCount.count(2)", "b": "PacketCount.All"}),
        (StrDict(a=PacketCount.All), {"a": "PacketCount.All"}),
    ],
)
def test_salvo_condition_port_forms(ports, expected):
    ports_out = condition(ports).ports
    assert {name: repr(count) for name, count in ports_out.items()} == expected


@pytest.mark.parametrize(
    "args, text",
    [
        ((MaxSalvos.finite(1), "in", "term"), "^argument 'term': "),
        # The term is looked at first, even when max_salvos is bad too.
        ((1, "in", None), "^argument 'term': "),
        ((1, "in", NON_EMPTY_IN), "^Expected MaxSalvos or MaxSalvosFinite$"),
        ((PacketCount.All, "in", NON_EMPTY_IN), "^Expected MaxSalvos or MaxSalvosFinite$"),
        ((1, 2, NON_EMPTY_IN), "^Expected MaxSalvos or MaxSalvosFinite$"),
        ((MaxSalvos.Infinite, [1], NON_EMPTY_IN),
         r"^ports must be a str, list of str, or dict mapping str to PacketCount$"),
        ((MaxSalvos.Infinite, ["a", None], NON_EMPTY_IN), "^ports must be"),
        ((MaxSalvos.Infinite, ["\ud800"], NON_EMPTY_IN), "^ports must be"),
        ((MaxSalvos.Infinite, 5, NON_EMPTY_IN), "^ports must be"),
        ((MaxSalvos.Infinite, None, NON_EMPTY_IN), "^ports must be"),
        ((MaxSalvos.Infinite, {"a": 2}, NON_EMPTY_IN), "^Expected PacketCount or PacketCountN$"),
        ((MaxSalvos.Infinite, {"a": PortState.Empty}, NON_EMPTY_IN),
         "^Expected PacketCount or PacketCountN$"),
        ((MaxSalvos.Infinite, {1: PacketCount.All}, NON_EMPTY_IN), "^(?!argument)"),
        ((MaxSalvos.Infinite, "\ud800", NON_EMPTY_IN), "argument 'ports': "),
    ],
)
def test_salvo_condition_refusals_in_order(args, text):
    with pytest.raises(TypeError, match=text):
        SalvoCondition(*args)


def test_salvo_condition_getters_and_repr():
    c = SalvoCondition(MaxSalvos.Infinite, {"in": PacketCount.count(3)},
                       T.port("in", PortState.NonEmpty))
    assert c.max_salvos == MaxSalvos.Infinite
    assert c.ports["in"].count == 3
    assert repr(c.term) == 'SalvoConditionTerm.port("in", NonEmpty)'
    assert repr(c) == (
        'SalvoCondition(max_salvos=MaxSalvos.Infinite, ports={"in": PacketCount.count(3)}, '
        'term=SalvoConditionTerm.port("in", NonEmpty))'
    )
    assert repr(condition("in")) == (
        'SalvoCondition(max_salvos=MaxSalvos.finite(1), ports={"in": PacketCount.All}, '
        'term=SalvoConditionTerm.port("in", NonEmpty))'
    )
    assert c.max_salvos is not c.max_salvos
    assert c.ports is not c.ports


# --- DependencyRequestConfig -------------------------------------------------


def test_request_config_keeps_triggers_in_order_with_repeats():
    on_start, on_none = DependencyRequestTrigger.OnStartup, DependencyRequestTrigger.OnNoSalvoTriggered
    config = DependencyRequestConfig((on_none, on_start, on_none), "fe\"tch")
    assert config.triggers == [on_none, on_start, on_none]
    assert config.label == 'fe"tch'
    assert repr(config) == (
        "DependencyRequestConfig(triggers=[DependencyRequestTrigger.OnNoSalvoTriggered, "
        "DependencyRequestTrigger.OnStartup, DependencyRequestTrigger.OnNoSalvoTriggered], "
        'label="fe\\"tch")'
    )
    assert repr(DependencyRequestConfig([], "")) == 'DependencyRequestConfig(triggers=[], label="")'


@pytest.mark.parametrize(
    "args, text",
    [
        (("ab", "x"), "^argument 'triggers': "),
        (([0], "x"), "^argument 'triggers': "),
        ((None, "x"), "^argument 'triggers': "),
        (([DependencyRequestTrigger.OnStartup], 1), "^argument 'label': "),
        (([], "\udfff"), "^argument 'label': "),
    ],
)
def test_request_config_refusals(args, text):
    with pytest.raises(TypeError, match=text):
        DependencyRequestConfig(*args)


# --- Node --------------------------------------------------------------------


def test_node_keeps_condition_order_and_copies_everything():
    go, stop = condition("in"), condition("in", max_salvos=MaxSalvos.Infinite)
    config = DependencyRequestConfig([DependencyRequestTrigger.OnStartup], "l")
    node = Node(
        "N",
        in_ports={"in": Port(PortSlotSpec.finite(1))},
        out_ports={"out": Port()},
        in_salvo_conditions={"b": go, "a": stop, "c": go},
        out_salvo_conditions={"z": go, "y": go},
        dependency_request_config=config,
    )
    assert list(node.in_salvo_conditions) == ["b", "a", "c"]
    assert list(node.out_salvo_conditions) == ["z", "y"]
    assert node.in_salvo_conditions["a"].max_salvos == MaxSalvos.Infinite
    assert node.in_salvo_conditions["b"] is not go
    assert repr(node.in_ports["in"]) == "Port(PortSlotSpec.finite(1))"
    assert list(node.out_ports) == ["out"]
    assert repr(node.dependency_request_config) == repr(config)
    assert node.name == "N"


def test_node_defaults_are_empty():
    node = Node("N", None, None, None, None, None)
    assert (node.in_ports, node.out_ports) == ({}, {})
    assert (node.in_salvo_conditions, node.out_salvo_conditions) == ({}, {})
    assert node.dependency_request_config is None


@pytest.mark.parametrize(
    "name, text",
    [
        ("A", 'Node("A")'),
        ('say "hi"', 'Node("say \\"hi\\"")'),
        ("back\\slash", 'Node("back\\\\slash")'),
        ("it's", 'Node("it\'s")'),
        ("t\tr\rn\nz\x00", 'Node("t\\tr\\rn\\nz\\0")'),
        ("bell\x07del\x7f", 'Node("bell\\u{7}del\\u{7f}")'),
        ("e\u0301", 'Node("e\\u{301}")'),
        ("\u00e9\u4e2d\U0001F600", 'Node("\u00e9\u4e2d\U0001F600")'),
    ],
)
def test_node_repr_uses_quoted_form(name, text):
    assert repr(Node(name)) == text


@pytest.mark.parametrize(
    "kwargs, text",
    [
        ({"name": 1}, "^argument 'name': "),
        ({"name": "\ud800"}, "^argument 'name': "),
        ({"name": 1, "in_ports": 1}, "^argument 'name': "),
        ({"in_ports": []}, "^argument 'in_ports': "),
        ({"in_ports": {1: Port()}}, "^argument 'in_ports': "),
        ({"in_ports": {"x": 1}}, "^argument 'in_ports': "),
        ({"in_ports": {"x": 1}, "out_ports": 1}, "^argument 'in_ports': "),
        ({"out_ports": {"x": PortSlotSpec.Infinite}}, "^argument 'out_ports': "),
        ({"in_salvo_conditions": [("a", None)]}, "^argument 'in_salvo_conditions': "),
        ({"out_salvo_conditions": 1}, "^argument 'out_salvo_conditions': "),
        ({"dependency_request_config": 1}, "^argument 'dependency_request_config': "),
        # Condition contents are read only after every argument was accepted,
        # and problems inside them carry no argument name.
        ({"in_salvo_conditions": {"a": 1}, "dependency_request_config": 1},
         "^argument 'dependency_request_config': "),
        ({"in_salvo_conditions": {"a": 1}}, "^(?!argument)"),
        ({"in_salvo_conditions": {1: None}}, "^(?!argument)"),
        ({"out_salvo_conditions": {"\ud800": None}}, "^(?!argument)"),
        ({"in_salvo_conditions": {"a": 1}, "out_salvo_conditions": {2: 1}}, "SalvoCondition"),
    ],
)
def test_node_refusals_in_order(kwargs, text):
    kwargs = {"name": "N", **kwargs}
    with pytest.raises(TypeError, match=text):
        Node(**kwargs)


def test_node_accepts_dict_subclasses_in_their_own_order():
    conditions = StrDict()
    conditions["second"] = condition()
    conditions["first"] = condition()
    node = Node("N", in_ports=StrDict(p=Port()), in_salvo_conditions=conditions)
    assert list(node.in_salvo_conditions) == ["second", "first"]


# --- conventions shared by all of these classes ------------------------------

CONSTRUCTIBLE = {
    "DependencyRequestConfig": "(triggers, label)",
    "Port": "(slots_spec=None)",
    "SalvoCondition": "(max_salvos, ports, term)",
    "Node": "(name, in_ports=None, out_ports=None, in_salvo_conditions=None, "
            "out_salvo_conditions=None, dependency_request_config=None)",
    "Graph": "(nodes, edges, dependency_edges=None)",
}

CLASS_DOCS = {
    "PacketCount": "Specifies how many packets to take from a port in a salvo.",
    "PacketCountN": "PacketCount with a specific count limit.",
    "MaxSalvos": "Specifies the maximum number of times a salvo condition can trigger.",
    "MaxSalvosFinite": "Finite max salvos with a specific limit.",
    "PortSlotSpec": "Port capacity specification.",
    "PortSlotSpecFinite": "Finite port capacity with a specific limit.",
    "PortState": "Port state predicate for salvo conditions.",
    "PortStateNumeric": "Numeric port state predicate.",
    "SalvoConditionTerm": "Boolean expression over port states.",
    "DependencyRequestTrigger":
        "When a node should automatically emit packet requests through its dependency edges.",
    "DependencyRequestConfig":
        "Configuration for automatic dependency-edge request generation on a node.",
    "Port": "A port on a node.",
    "SalvoCondition": "A condition that defines when packets can trigger an epoch or be sent.",
    "Node": "A processing node in the graph.",
    "Graph": "The static topology of a flow-based network.",
}


@pytest.mark.parametrize("name", sorted(CLASS_DOCS))
def test_class_docs_and_constructor_signatures(name):
    cls = getattr(vs, name)
    assert cls.__doc__ == CLASS_DOCS[name]
    assert cls.__text_signature__ == CONSTRUCTIBLE.get(name)
    if name in CONSTRUCTIBLE:
        assert str(inspect.signature(cls)) == CONSTRUCTIBLE[name]
    # Every public callable carries a well-formed signature.
    for attr, member in vars(cls).items():
        if not attr.startswith("_") and callable(getattr(cls, attr)):
            inspect.signature(getattr(cls, attr))


@pytest.mark.parametrize(
    "func, signature, doc",
    [
        (PacketCount.all, "()", "Take all packets from the port."),
        (PacketCount.count, "(n)", "Take at most n packets (takes fewer if port has fewer)."),
        (MaxSalvos.infinite, "()", "No limit on triggers."),
        (MaxSalvos.finite, "(n)", "Finite limit on triggers."),
        (PortSlotSpec.finite, "(n)", None),
        (PortState.equals_or_greater_than, "(n)", None),
        (T.true_, "()",
         "Create a term that is always true. Useful for source nodes with no input ports."),
        (T.false_, "()", "Create a term that is always false. Useful as a placeholder or with Not."),
        (T.port, "(port_name, state)", "Create a port state check term."),
        (T.and_, "(terms)", "Create an AND term (all sub-terms must be true)."),
        (T.or_, "(terms)", "Create an OR term (at least one sub-term must be true)."),
        (T.not_, "(term)", "Create a NOT term (sub-term must be false)."),
        (T.true_().get_port_name, "()", "Get the port name (for Port terms only)."),
        (T.true_().get_port_state, "()", "Get the port state (for Port terms only)."),
        (T.true_().get_terms, "()", "Get the sub-terms (for And and Or terms only)."),
        (T.true_().get_inner, "()", "Get the inner term (for Not terms only)."),
    ],
)
def test_method_signatures_and_docs(func, signature, doc):
    assert str(inspect.signature(func)) == signature
    assert (func.__doc__ or None) == doc


@pytest.mark.parametrize(
    "cls, getter, doc",
    [
        (T, "kind", 'Get the term kind: "True", "False", "Port", "And", "Or", or "Not".'),
        (SalvoCondition, "max_salvos", "Get the max_salvos value."),
        (SalvoCondition, "ports", "Get the ports as a dict mapping port names to their packet counts."),
        (SalvoCondition, "term", None),
        (Node, "in_salvo_conditions", None),
        (Port, "slots_spec", None),
        (DependencyRequestConfig, "label", None),
        (type(PortState.equals(1)), "kind", None),
    ],
)
def test_getter_docs(cls, getter, doc):
    assert vars(cls)[getter].__doc__ == doc


def test_registration_order_of_graph_classes():
    graph_group = [
        "PacketCount", "PacketCountN", "MaxSalvos", "MaxSalvosFinite", "PortSlotSpec",
        "PortSlotSpecFinite", "PortState", "PortStateNumeric", "SalvoConditionTerm",
        "DependencyRequestTrigger", "DependencyRequestConfig", "Port", "PortType", "PortRef",
        "Edge", "SalvoCondition", "Node", "GraphValidationErrorInfo", "Graph",
    ]
    start = vs.__all__.index("PacketCount")
    assert vs.__all__[start:start + len(graph_group)] == graph_group
    for name in graph_group:
        assert getattr(vs, name).__name__ == name


def test_classes_have_no_setters():
    node = Node("N")
    with pytest.raises(AttributeError):
        node.name = "M"
    if not PYPY:  # extension classes cannot be made immutable there
        with pytest.raises(TypeError):
            PortState.Empty = 3
