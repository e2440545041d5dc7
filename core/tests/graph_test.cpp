#include <gtest/gtest.h>

#include <vector>

#include "base/fault.hpp"
#include "graph/graph.hpp"
#include "graph_builders.hpp"

namespace vornix {
namespace {

using namespace testing_graph;

std::vector<Edge> head_list(const Graph& g, const PortRef& p) {
  const auto span = g.get_edges_by_head(p);
  return {span.begin(), span.end()};
}

TEST(GraphConstruction, EmptyGraphHasNothingToFind) {
  const Graph g({}, {});
  EXPECT_TRUE(g.nodes().empty());
  EXPECT_TRUE(g.edges().empty());
  EXPECT_TRUE(g.dependency_edges().empty());
  EXPECT_EQ(g.find_node("A"), nullptr);
  EXPECT_EQ(g.get_edge_by_tail(out("A", "x")), nullptr);
  EXPECT_TRUE(g.get_edges_by_head(in("B", "y")).empty());
  EXPECT_FALSE(g.is_dependency_edge(edge(out("A", "x"), in("B", "y"))));
}

TEST(GraphConstruction, DuplicateNodeNameIsFatalAndUnescaped) {
  struct Case {
    std::vector<Node> nodes;
    const char* message;
  };
  const std::vector<Case> cases = {
      {{node("A"), node("A")}, "Duplicate node name: 'A'"},
      {{node("x"), node("it's\n"), node("y"), node("it's\n")}, "Duplicate node name: 'it's\n'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    try {
      Graph g(c.nodes, {});
      ADD_FAILURE() << "construction succeeded";
    } catch (const InternalError& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
  }
}

TEST(GraphConstruction, NodesAreKeyedByTheirNames) {
  Node a = node("A", {"in"}, {"out"});
  const Graph g({a, node("B")}, {});
  ASSERT_NE(g.find_node("A"), nullptr);
  EXPECT_EQ(*g.find_node("A"), a);
  EXPECT_EQ(g.find_node("B")->name, "B");
  EXPECT_EQ(g.find_node("a"), nullptr);  // names are case-sensitive
  EXPECT_EQ(g.nodes().size(), 2u);
}

TEST(GraphConstruction, TailIndexKeepsTheLastEdgeAndTheSetKeepsAll) {
  const Edge e1 = edge(out("A", "x"), in("B", "y"));
  const Edge e2 = edge(out("A", "x"), in("D", "z"));
  const Graph g({}, {e1, e2});
  EXPECT_EQ(g.edges().size(), 2u);
  EXPECT_TRUE(g.has_edge(e1));
  EXPECT_TRUE(g.has_edge(e2));
  ASSERT_NE(g.get_edge_by_tail(out("A", "x")), nullptr);
  EXPECT_EQ(*g.get_edge_by_tail(out("A", "x")), e2);
  EXPECT_EQ(head_list(g, in("B", "y")), std::vector<Edge>{e1});
  EXPECT_EQ(head_list(g, in("D", "z")), std::vector<Edge>{e2});
}

TEST(GraphConstruction, HeadIndexKeepsInputOrderAndRepeats) {
  const Edge from_x = edge(out("X", "o"), in("B", "y"));
  const Edge from_w = edge(out("W", "o"), in("B", "y"));
  const Graph g({}, {from_x, from_w, from_x});
  EXPECT_EQ(g.edges().size(), 2u);
  EXPECT_EQ(head_list(g, in("B", "y")), (std::vector<Edge>{from_x, from_w, from_x}));
}

TEST(GraphConstruction, LookupsDistinguishPortSides) {
  const Edge e = edge(out("A", "x"), in("B", "y"));
  const Graph g({}, {e});
  // Same names, other side: not the same port.
  EXPECT_TRUE(g.get_edges_by_head(out("B", "y")).empty());
  EXPECT_EQ(g.get_edge_by_tail(in("A", "x")), nullptr);
  EXPECT_TRUE(g.get_edges_by_head(in("B", "other")).empty());
}

TEST(GraphDependencyEdges, ReplacesTheSetWithoutCheckingMembership) {
  const Edge in_graph = edge(out("A", "x"), in("B", "y"));
  const Edge outside = edge(out("C", "x"), in("B", "y"));
  Graph g = Graph({}, {in_graph}).with_dependency_edges({outside, outside, in_graph});
  EXPECT_EQ(g.dependency_edges().size(), 2u);
  EXPECT_TRUE(g.is_dependency_edge(outside));
  EXPECT_TRUE(g.is_dependency_edge(in_graph));
  EXPECT_EQ(g.edges().size(), 1u);  // the edge set itself is untouched

  g = std::move(g).with_dependency_edges({});
  EXPECT_TRUE(g.dependency_edges().empty());
  EXPECT_FALSE(g.is_dependency_edge(in_graph));
  EXPECT_EQ(g.get_edge_by_tail(out("A", "x"))->target, in("B", "y"));
}

TEST(GraphCopy, IsDeep) {
  const Edge e = edge(out("A", "x"), in("B", "y"));
  Graph original = Graph({node("A", {}, {"x"}), node("B", {"y"})}, {e, e}).with_dependency_edges({e});
  const Graph copy = original;
  Graph assigned;
  assigned = original;
  original = Graph({}, {});
  ASSERT_NE(copy.find_node("A"), nullptr);
  EXPECT_EQ(copy.get_edges_by_head(in("B", "y")).size(), 2u);  // repeats kept
  EXPECT_TRUE(copy.is_dependency_edge(e));
  // The look-ups must find the copy's own nodes, not the original's.
  for (const Graph* g : {&copy, static_cast<const Graph*>(&assigned)}) {
    ASSERT_EQ(g->nodes().size(), 2u);
    EXPECT_EQ(&g->nodes()[0], g->find_node("A"));
    EXPECT_EQ(&g->nodes()[1], g->find_node("B"));
    ASSERT_EQ(g->edges().size(), 1u);  // a repeat listed once
    EXPECT_EQ(g->edge_index(e), 0u);
    EXPECT_EQ(g->edges_as_given().size(), 2u);
  }
}

}  // namespace
}  // namespace vornix
