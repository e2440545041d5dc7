#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/result.hpp"
#include "graph/graph.hpp"
#include "graph/validate.hpp"
#include "graph_builders.hpp"

namespace vornix {
namespace {

using namespace testing_graph;
using E = GraphValidationError;
using T = SalvoConditionTerm;

std::vector<std::string> kinds(const std::vector<E>& errors) {
  std::vector<std::string> out;
  for (const E& e : errors) out.emplace_back(e.kind());
  return out;
}

std::vector<std::string> messages(const std::vector<E>& errors) {
  std::vector<std::string> out;
  for (const E& e : errors) out.push_back(e.message());
  return out;
}

// The phase that reports each kind, to check that phases come in order.
int phase_of(const E& e) {
  return std::visit(Overloaded{
                        [](const E::EdgeReferencesNonexistentNode&) { return 1; },
                        [](const E::EdgeReferencesNonexistentPort&) { return 1; },
                        [](const E::EdgeSourceNotOutputPort&) { return 1; },
                        [](const E::EdgeTargetNotInputPort&) { return 1; },
                        [](const E::MultipleEdgesFromOutputPort&) { return 2; },
                        [](const E::InputSalvoConditionInvalidMaxSalvos&) { return 3; },
                        [](const E::SalvoConditionReferencesNonexistentPort&) { return 3; },
                        [](const E::SalvoConditionTermReferencesNonexistentPort&) { return 3; },
                        [](const E::DependencyEdgeNotInGraph&) { return 4; },
                        [](const E::DependencyRequestConfigWithoutDependencyEdges&) { return 5; },
                    },
                    e.value);
}

SalvoCondition condition(MaxSalvos max, std::vector<const char*> ports, T term) {
  SalvoCondition c;
  c.max_salvos = max;
  for (const char* p : ports) c.ports.emplace(p, PacketCount::all());
  c.term = std::move(term);
  return c;
}

TEST(GraphValidationError, KindsAndMessages) {
  const Edge ab = edge(out("A", "x"), in("B", "y"));
  struct Case {
    E error;
    const char* kind;
    const char* message;
  };
  const std::vector<Case> cases = {
      {{E::MultipleEdgesFromOutputPort{out("A", "x"), 2}},
       "MultipleEdgesFromOutputPort",
       "output port A.out.x has 2 outgoing edges (only 1 allowed)"},
      {{E::EdgeReferencesNonexistentNode{ab, "B"}},
       "EdgeReferencesNonexistentNode",
       "edge A.out.x -> B.in.y references non-existent node 'B'"},
      {{E::EdgeReferencesNonexistentPort{ab, in("B", "y")}},
       "EdgeReferencesNonexistentPort",
       "edge A.out.x -> B.in.y references non-existent port B.in.y"},
      {{E::EdgeSourceNotOutputPort{ab}},
       "EdgeSourceNotOutputPort",
       "edge source A.out.x must be an output port"},
      {{E::EdgeTargetNotInputPort{ab}},
       "EdgeTargetNotInputPort",
       "edge target B.in.y must be an input port"},
      {{E::SalvoConditionReferencesNonexistentPort{"N", "go", "p", true}},
       "SalvoConditionReferencesNonexistentPort",
       "input salvo condition 'go' on node 'N' references non-existent port 'p'"},
      {{E::SalvoConditionReferencesNonexistentPort{"N", "go", "p", false}},
       "SalvoConditionReferencesNonexistentPort",
       "output salvo condition 'go' on node 'N' references non-existent port 'p'"},
      {{E::SalvoConditionTermReferencesNonexistentPort{"N", "go", "p", false}},
       "SalvoConditionTermReferencesNonexistentPort",
       "output salvo condition 'go' on node 'N' has term referencing non-existent port 'p'"},
      {{E::InputSalvoConditionInvalidMaxSalvos{"N", "go", MaxSalvos::infinite()}},
       "InputSalvoConditionInvalidMaxSalvos",
       "input salvo condition 'go' on node 'N' has max_salvos=Infinite, but must be Finite(1). "
       "Input salvos must have exactly one packet to trigger an epoch."},
      {{E::DependencyEdgeNotInGraph{ab}},
       "DependencyEdgeNotInGraph",
       "dependency edge A.out.x -> B.in.y is not in the graph's edge set"},
      {{E::DependencyRequestConfigWithoutDependencyEdges{"it's"}},
       "DependencyRequestConfigWithoutDependencyEdges",
       "node 'it's' has dependency_request_config but no dependency edges on its input ports"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(c.error.kind(), c.kind);
    EXPECT_EQ(c.error.message(), c.message);
  }
}

TEST(GraphValidate, ValidGraphYieldsNothing) {
  Node a = node("A", {}, {"x"});
  Node b = node("B", {"y"}, {});
  b.in_salvo_conditions.insert_or_assign(
      "go", condition(MaxSalvos::finite(1), {"y"}, T::port("y", PortState::non_empty())));
  b.dependency_request_config = DependencyRequestConfig{};
  a.out_salvo_conditions.insert_or_assign(
      "send", condition(MaxSalvos::infinite(), {"x"}, T::port("x", PortState::full())));
  const Edge e = edge(out("A", "x"), in("B", "y"));
  const Graph g = Graph({a, b}, {e, e}).with_dependency_edges({e});
  EXPECT_TRUE(g.validate().empty());
}

TEST(GraphValidate, EdgeChecksPerSide) {
  struct Case {
    const char* label;
    Edge edge;
    std::vector<std::string> messages;
  };
  const std::vector<Case> cases = {
      {"missing source node hides the target",
       edge(out("Z", "x"), out("Q", "y")),
       {"edge Z.out.x -> Q.out.y references non-existent node 'Z'"}},
      {"missing target node",
       edge(out("A", "x"), in("Q", "y")),
       {"edge A.out.x -> Q.in.y references non-existent node 'Q'"}},
      {"undeclared target port",
       edge(out("A", "x"), in("B", "nope")),
       {"edge A.out.x -> B.in.nope references non-existent port B.in.nope"}},
      {"undeclared source port",
       edge(out("A", "nope"), in("B", "y")),
       {"edge A.out.nope -> B.in.y references non-existent port A.out.nope"}},
      {"both ports undeclared",
       edge(out("A", "p"), in("B", "q")),
       {"edge A.out.p -> B.in.q references non-existent port A.out.p",
        "edge A.out.p -> B.in.q references non-existent port B.in.q"}},
      // The wrong side is reported without looking for the port at all.
      {"sides swapped",
       edge(in("B", "undeclared"), out("A", "undeclared")),
       {"edge source B.in.undeclared must be an output port",
        "edge target A.out.undeclared must be an input port"}},
      {"undeclared source, target on output side",
       edge(out("A", "p"), out("B", "y")),
       {"edge A.out.p -> B.out.y references non-existent port A.out.p",
        "edge target B.out.y must be an input port"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const Graph g({node("A", {}, {"x"}), node("B", {"y"}, {})}, {c.edge});
    EXPECT_EQ(messages(g.validate()), c.messages);
  }
}

TEST(GraphValidate, NoNodesOneEdgeReportsTheSourceNodeOnly) {
  const Edge e = edge(out("A", "x"), in("B", "y"));
  const std::vector<E> errors = Graph({}, {e}).validate();
  ASSERT_EQ(errors.size(), 1u);
  const auto* err = std::get_if<E::EdgeReferencesNonexistentNode>(&errors[0].value);
  ASSERT_NE(err, nullptr);
  EXPECT_EQ(err->edge, e);
  EXPECT_EQ(err->missing_node, "A");
}

TEST(GraphValidate, TwoErrorsOfOneEdgeAreAdjacent) {
  // Many swapped edges, so that a per-side pass over the set would interleave them.
  std::vector<Node> nodes;
  std::vector<Edge> edges;
  for (int i = 0; i < 20; ++i) {
    const std::string a = "A" + std::to_string(i);
    const std::string b = "B" + std::to_string(i);
    nodes.push_back(node(a, {"i"}, {}));
    nodes.push_back(node(b, {}, {"o"}));
    edges.push_back(edge(in(a, "i"), out(b, "o")));
  }
  const std::vector<E> errors = Graph(nodes, edges).validate();
  ASSERT_EQ(errors.size(), 40u);
  for (std::size_t i = 0; i < errors.size(); i += 2) {
    const auto* src = std::get_if<E::EdgeSourceNotOutputPort>(&errors[i].value);
    const auto* tgt = std::get_if<E::EdgeTargetNotInputPort>(&errors[i + 1].value);
    ASSERT_NE(src, nullptr) << i;
    ASSERT_NE(tgt, nullptr) << i;
    EXPECT_EQ(src->edge, tgt->edge);
  }
}

TEST(GraphValidate, FanOutCountsDistinctEdgesPerSource) {
  const Node a = node("A", {"x"}, {"o"});
  const Node b = node("B", {"y", "z", "w"}, {});
  struct Case {
    const char* label;
    std::vector<Edge> edges;
    std::vector<std::string> phase2;
  };
  const std::vector<Case> cases = {
      {"same edge twice is one edge",
       {edge(out("A", "o"), in("B", "y")), edge(out("A", "o"), in("B", "y"))},
       {}},
      {"three targets",
       {edge(out("A", "o"), in("B", "y")), edge(out("A", "o"), in("B", "z")),
        edge(out("A", "o"), in("B", "w"))},
       {"output port A.out.o has 3 outgoing edges (only 1 allowed)"}},
      {"input port as source",
       {edge(in("A", "x"), in("B", "y")), edge(in("A", "x"), in("B", "z"))},
       {"output port A.in.x has 2 outgoing edges (only 1 allowed)"}},
      {"sources on missing nodes count too",
       {edge(out("Q", "o"), in("B", "y")), edge(out("Q", "o"), in("B", "z"))},
       {"output port Q.out.o has 2 outgoing edges (only 1 allowed)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const std::vector<E> errors = Graph({a, b}, c.edges).validate();
    std::vector<std::string> phase2;
    for (const E& e : errors) {
      if (phase_of(e) == 2) phase2.push_back(e.message());
    }
    EXPECT_EQ(phase2, c.phase2);
  }
}

TEST(GraphValidate, InputSourceEdgesReportPhaseOneThenFanOut) {
  const Graph g({node("A", {"x"}, {}), node("B", {"y", "z"}, {})},
                {edge(in("A", "x"), in("B", "y")), edge(in("A", "x"), in("B", "z"))});
  EXPECT_EQ(kinds(g.validate()),
            (std::vector<std::string>{"EdgeSourceNotOutputPort", "EdgeSourceNotOutputPort",
                                      "MultipleEdgesFromOutputPort"}));
}

TEST(GraphValidate, InputConditionMaxSalvosMustBeFiniteOne) {
  struct Case {
    MaxSalvos max;
    bool reported;
  };
  const std::vector<Case> cases = {{MaxSalvos::finite(0), true},
                                   {MaxSalvos::finite(1), false},
                                   {MaxSalvos::finite(2), true},
                                   {MaxSalvos::infinite(), true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(diagnostic(c.max));
    Node n = node("N", {"in"}, {"out"});
    n.in_salvo_conditions.insert_or_assign("go", condition(c.max, {}, T::true_()));
    // Output conditions have no such rule.
    n.out_salvo_conditions.insert_or_assign("send", condition(c.max, {}, T::true_()));
    const std::vector<E> errors = Graph({n}, {}).validate();
    if (!c.reported) {
      EXPECT_TRUE(errors.empty());
      continue;
    }
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].message(),
              "input salvo condition 'go' on node 'N' has max_salvos=" + diagnostic(c.max) +
                  ", but must be Finite(1). Input salvos must have exactly "
                  "one packet to trigger an epoch.");
  }
}

TEST(GraphValidate, ConditionPortsAndTermsAreCheckedAgainstTheirSide) {
  Node n = node("N", {"a"}, {"b"});
  // "b" is an output port, so it is missing for the input condition; it is
  // named three times in the term but reported once.
  n.in_salvo_conditions.insert_or_assign(
      "go", condition(MaxSalvos::finite(1), {"a", "b"},
                      T::and_({T::port("b", PortState::empty()),
                               T::or_({T::port("b", PortState::full()),
                                       T::not_(T::port("b", PortState::non_empty()))}),
                               T::port("a", PortState::empty())})));
  n.out_salvo_conditions.insert_or_assign(
      "send", condition(MaxSalvos::infinite(), {"b"}, T::port("a", PortState::empty())));
  EXPECT_EQ(messages(Graph({n}, {}).validate()),
            (std::vector<std::string>{
                "input salvo condition 'go' on node 'N' references non-existent port 'b'",
                "input salvo condition 'go' on node 'N' has term referencing non-existent port 'b'",
                "output salvo condition 'send' on node 'N' has term referencing non-existent "
                "port 'a'"}));
}

TEST(GraphValidate, ConditionsOfOneNodeFollowInsertionOrder) {
  Node n = node("N", {"in"}, {});
  for (const char* name : {"z", "a", "m"}) {
    n.in_salvo_conditions.insert_or_assign(name,
                                           condition(MaxSalvos::infinite(), {"gone"}, T::true_()));
  }
  const std::vector<E> errors = Graph({n}, {}).validate();
  std::vector<std::string> names;
  for (const E& e : errors) {
    if (const auto* m = std::get_if<E::InputSalvoConditionInvalidMaxSalvos>(&e.value)) {
      names.push_back(m->condition_name);
    }
  }
  EXPECT_EQ(names, (std::vector<std::string>{"z", "a", "m"}));
  EXPECT_EQ(kinds(errors), (std::vector<std::string>{
                               "InputSalvoConditionInvalidMaxSalvos",
                               "SalvoConditionReferencesNonexistentPort",
                               "InputSalvoConditionInvalidMaxSalvos",
                               "SalvoConditionReferencesNonexistentPort",
                               "InputSalvoConditionInvalidMaxSalvos",
                               "SalvoConditionReferencesNonexistentPort",
                           }));
}

TEST(GraphValidate, RequestConfigNeedsADependencyEdgeIntoAnInputOfTheNode) {
  const Edge real = edge(out("A", "x"), in("B", "y"));
  const Edge to_undeclared_outside = edge(out("Q", "q"), in("B", "undeclared"));
  const Edge to_output_side = edge(out("A", "x"), out("B", "y"));
  const Edge from_node = edge(out("B", "z"), in("A", "w"));
  struct Case {
    const char* label;
    std::vector<Edge> dependency_edges;
    std::vector<std::string> kinds;
  };
  const std::vector<Case> cases = {
      {"real dependency edge", {real}, {}},
      {"undeclared port, edge outside the graph",
       {to_undeclared_outside},
       {"DependencyEdgeNotInGraph"}},
      {"none", {}, {"DependencyRequestConfigWithoutDependencyEdges"}},
      {"only into an output-side reference",
       {to_output_side},
       {"DependencyEdgeNotInGraph", "DependencyRequestConfigWithoutDependencyEdges"}},
      {"only leaving the node",
       {from_node},
       {"DependencyEdgeNotInGraph", "DependencyRequestConfigWithoutDependencyEdges"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    Node b = node("B", {"y"}, {});
    b.dependency_request_config = DependencyRequestConfig{{}, "label"};
    const Graph g =
        Graph({node("A", {}, {"x"}), b}, {real}).with_dependency_edges(c.dependency_edges);
    EXPECT_EQ(kinds(g.validate()), c.kinds);
  }
}

TEST(GraphValidate, ReportsEveryErrorWithPhasesInOrder) {
  std::vector<Node> nodes;
  std::vector<Edge> edges;
  std::vector<Edge> dependency;
  for (int i = 0; i < 8; ++i) {
    const std::string n = "N" + std::to_string(i);
    Node node_i = node(n, {"in"}, {"out"});
    node_i.in_salvo_conditions.insert_or_assign(
        "go", condition(MaxSalvos::infinite(), {"ghost"}, T::port("spook", PortState::empty())));
    node_i.dependency_request_config = DependencyRequestConfig{};
    nodes.push_back(std::move(node_i));
    edges.push_back(edge(out(n, "out"), in("Missing", "in")));
    edges.push_back(edge(out(n, "out"), in(n, "in")));
    dependency.push_back(edge(out(n, "out"), out(n, "nowhere")));
  }
  const std::vector<E> errors = Graph(nodes, edges).with_dependency_edges(dependency).validate();
  std::vector<int> phases;
  for (const E& e : errors) phases.push_back(phase_of(e));
  EXPECT_TRUE(std::is_sorted(phases.begin(), phases.end()));
  // Per node: 1 missing node, 1 fan-out, 3 condition errors, 1 stray
  // dependency edge, 1 unsatisfied request configuration.
  EXPECT_EQ(errors.size(), 8u * 7u);
  for (int phase = 1; phase <= 5; ++phase) {
    SCOPED_TRACE(phase);
    EXPECT_EQ(std::count(phases.begin(), phases.end(), phase), phase == 3 ? 24 : 8);
  }
}

}  // namespace
}  // namespace vornix
