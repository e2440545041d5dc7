#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/fault.hpp"
#include "graph/cascade.hpp"
#include "graph_builders.hpp"

namespace vornix {
namespace {

using namespace testing_graph;
using Names = std::vector<std::string>;

struct Case {
  const char* label;
  std::vector<Node> nodes;
  std::vector<Edge> edges;
  std::vector<PortRef> start;
  // Either the expected sources or the expected unfed port ("node", "port").
  bool succeeds;
  Names sources;
  std::string failed_node;
  std::string failed_port;
};

Case ok(const char* label, std::vector<Node> nodes, std::vector<Edge> edges,
        std::vector<PortRef> start, Names sources) {
  return {label, std::move(nodes), std::move(edges), std::move(start), true, std::move(sources), "",
          ""};
}
Case fails(const char* label, std::vector<Node> nodes, std::vector<Edge> edges,
           std::vector<PortRef> start, std::string node_name, std::string port_name) {
  return {label, std::move(nodes),     std::move(edges),    std::move(start), false,
          {},    std::move(node_name), std::move(port_name)};
}

TEST(CascadeBackward, Cases) {
  const std::vector<Case> cases = {
      ok("single source", {node("A", {}, {"o"}), node("R", {"in"})},
         {edge(out("A", "o"), in("R", "in"))}, {in("R", "in")}, {"A"}),
      ok("chain R <- B <- A", {node("A", {}, {"o"}), node("B", {"i"}, {"o"}), node("R", {"in"})},
         {edge(out("A", "o"), in("B", "i")), edge(out("B", "o"), in("R", "in"))}, {in("R", "in")},
         {"A"}),
      fails("half-fed upstream node",
            {node("A", {}, {"o"}), node("B", {"i", "j"}, {"o"}), node("R", {"in"})},
            {edge(out("A", "o"), in("B", "i")), edge(out("B", "o"), in("R", "in"))},
            {in("R", "in")}, "B", "j"),
      ok("two start ports, one source", {node("A", {}, {"o"}), node("R", {"p", "q"})},
         {edge(out("A", "o"), in("R", "p")), edge(out("A", "o"), in("R", "q"))},
         {in("R", "p"), in("R", "q")}, {"A"}),
      ok("cycle with a way out",
         {node("A", {}, {"o"}), node("B", {"i"}, {"o"}), node("D", {"i"}, {"o"}),
          node("R", {"in"})},
         {edge(out("B", "o"), in("R", "in")), edge(out("D", "o"), in("B", "i")),
          edge(out("B", "o"), in("D", "i")), edge(out("A", "o"), in("D", "i"))},
         {in("R", "in")}, {"A"}),
      ok("closed cycle", {node("B", {"i"}, {"o"}), node("D", {"i"}, {"o"}), node("R", {"in"})},
         {edge(out("B", "o"), in("R", "in")), edge(out("D", "o"), in("B", "i")),
          edge(out("B", "o"), in("D", "i"))},
         {in("R", "in")}, {}),
      ok("cycle through the requesting node", {node("B", {"i"}, {"o"}), node("R", {"in"}, {"o"})},
         {edge(out("B", "o"), in("R", "in")), edge(out("R", "o"), in("B", "i"))}, {in("R", "in")},
         {}),
      fails("start port without edges", {node("R", {"in"})}, {}, {in("R", "in")}, "R", "in"),
      fails("output-side start port", {node("A", {}, {"o"}), node("R", {"in"})},
            {edge(out("A", "o"), in("R", "in"))}, {out("R", "in")}, "R", "in"),
      ok("fan-in keeps edge order",
         {node("Z", {}, {"o"}), node("A", {}, {"o"}), node("M", {}, {"o"}), node("R", {"in"})},
         {edge(out("Z", "o"), in("R", "in")), edge(out("A", "o"), in("R", "in")),
          edge(out("Z", "o"), in("R", "in")), edge(out("M", "o"), in("R", "in"))},
         {in("R", "in")}, {"Z", "A", "M"}),
      ok("breadth first: nearer sources come first",
         {node("Far", {}, {"o"}), node("B", {"i"}, {"o"}), node("Near", {}, {"o"}),
          node("R", {"p", "q"})},
         {edge(out("Far", "o"), in("B", "i")), edge(out("B", "o"), in("R", "p")),
          edge(out("Near", "o"), in("R", "q"))},
         {in("R", "p"), in("R", "q")}, {"Near", "Far"}),
      ok("source reached by two paths is listed once",
         {node("A", {}, {"o"}), node("B", {"i"}, {"o"}), node("C", {"i"}, {"o"}),
          node("R", {"p", "q"})},
         {edge(out("A", "o"), in("B", "i")), edge(out("A", "o"), in("C", "i")),
          edge(out("B", "o"), in("R", "p")), edge(out("C", "o"), in("R", "q"))},
         {in("R", "p"), in("R", "q")}, {"A"}),
      // The failing port is at the front before the missing node is reached.
      fails("stops at the first unfed port", {node("R", {"in", "x"})},
            {edge(out("Ghost", "o"), in("R", "x"))}, {in("R", "in"), in("R", "x")}, "R", "in"),
      ok("no start ports", {}, {}, {}, {}),
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const Graph g(c.nodes, c.edges);
    const auto result = cascade_backward(g, c.start);
    if (c.succeeds) {
      ASSERT_TRUE(result.has_value());
      EXPECT_EQ(result->source_nodes, c.sources);
    } else {
      ASSERT_FALSE(result.has_value());
      EXPECT_EQ(result.error().node_name, c.failed_node);
      EXPECT_EQ(result.error().port_name, c.failed_port);
    }
  }
}

TEST(CascadeBackward, MissingSourceNodeIsFatal) {
  const Graph g({node("R", {"in"})}, {edge(out("Ghost", "o"), in("R", "in"))});
  try {
    (void)cascade_backward(g, {in("R", "in")});
    ADD_FAILURE() << "cascade succeeded";
  } catch (const InternalError& e) {
    EXPECT_STREQ(e.what(), "Edge references non-existent node");
  }
}

TEST(CascadeBackward, LongChainVisitsEachNodeOnce) {
  // A long chain with a back edge at every step: the walk must stay linear
  // and still find the one source at the far end.
  constexpr int kLength = 2000;
  std::vector<Node> nodes{node("S", {}, {"o"})};
  std::vector<Edge> edges;
  std::string previous = "S";
  for (int i = 0; i < kLength; ++i) {
    const std::string name = "N" + std::to_string(i);
    nodes.push_back(node(name, {"i"}, {"o", "back"}));
    edges.push_back(edge(out(previous, "o"), in(name, "i")));
    if (previous != "S") edges.push_back(edge(out(name, "back"), in(previous, "i")));
    previous = name;
  }
  nodes.push_back(node("R", {"in"}));
  edges.push_back(edge(out(previous, "o"), in("R", "in")));
  const auto result = cascade_backward(Graph(nodes, edges), {in("R", "in")});
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(result->source_nodes, Names{"S"});
}

}  // namespace
}  // namespace vornix
