#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
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
  Graph original =
      Graph({node("A", {}, {"x"}), node("B", {"y"})}, {e, e}).with_dependency_edges({e});
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

// The index tables against plain maps, over enough random edges (repeats,
// fan-in, fan-out, missing nodes, names of many lengths) to fill and wrap
// every table's probes.
TEST(GraphIndexes, AgreeWithPlainMaps) {
  std::mt19937 random(7);
  auto name = [](std::size_t i) { return std::string(i % 13, 'n') + std::to_string(i); };
  std::vector<Node> nodes;
  for (std::size_t i = 0; i < 300; ++i) nodes.push_back(node(name(i), {"i"}, {"o"}));
  std::vector<Edge> given;
  for (int k = 0; k < 2000; ++k) {
    given.push_back(
        edge(out(name(random() % 320), random() % 4 ? "o" : "p"), in(name(random() % 320), "i")));
    if (random() % 5 == 0) given.push_back(given[random() % given.size()]);
  }
  const Graph g(nodes, given);
  std::map<std::pair<std::string, std::string>, Edge> last_by_tail;
  std::map<std::string, std::vector<Edge>> by_head;
  std::vector<Edge> distinct;
  for (const Edge& e : given) {
    last_by_tail.insert_or_assign({e.source.node_name, e.source.port_name}, e);
    by_head[e.target.node_name].push_back(e);
    if (std::find(distinct.begin(), distinct.end(), e) == distinct.end()) distinct.push_back(e);
  }
  EXPECT_EQ(std::vector<Edge>(g.edges().begin(), g.edges().end()), distinct);
  for (std::size_t i = 0; i < 320; ++i) {
    EXPECT_EQ(g.find_node(name(i)) != nullptr, i < 300);
    const auto tail = last_by_tail.find({name(i), "o"});
    const Edge* found = g.get_edge_by_tail(out(name(i), "o"));
    ASSERT_EQ(found != nullptr, tail != last_by_tail.end()) << i;
    if (found) {
      EXPECT_EQ(*found, tail->second);
    }
    EXPECT_EQ(head_list(g, in(name(i), "i")), by_head[name(i)]) << i;
  }
  for (std::uint32_t k = 0; k < distinct.size(); ++k) {
    EXPECT_EQ(g.edge_index(distinct[k]), k);
    // The source is known, fanned out or not; the edge is not.
    EXPECT_FALSE(g.has_edge(edge(distinct[k].source, in(distinct[k].target.node_name, "x"))));
  }
  std::map<std::pair<std::string, std::string>, std::uint64_t> per_source;
  for (const Edge& e : distinct) ++per_source[{e.source.node_name, e.source.port_name}];
  std::size_t fanned = 0;
  for (const auto& [source, count] : per_source) fanned += count > 1 ? 1 : 0;
  ASSERT_EQ(g.fan_outs().size(), fanned);
  for (const Graph::FanOut& f : g.fan_outs()) {
    EXPECT_EQ(f.count, (per_source[{f.port->node_name, f.port->port_name}]));
  }
  EXPECT_FALSE(g.has_edge(edge(out(name(1), "o"), in(name(1), "x"))));
}

}  // namespace
}  // namespace vornix
