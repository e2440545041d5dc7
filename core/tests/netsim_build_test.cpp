#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/fault.hpp"
#include "graph/validate.hpp"
#include "test_graphs.hpp"

namespace vornix {
namespace {

using namespace testing_net;
using T = SalvoConditionTerm;

Node with_output_condition(Node n, SalvoCondition c) {
  n.out_salvo_conditions.insert_or_assign("send", std::move(c));
  return n;
}

// Building a sim accepts exactly the graphs that validate, and words a refusal
// with every validation message.
TEST(NetSimBuild, RefusesExactlyTheGraphsThatDoNotValidate) {
  const Edge ab = edge(out("A", "x"), in("B", "y"));
  auto pair = [](Node a, Node b) { return std::vector<Node>{std::move(a), std::move(b)}; };
  const Node a = node("A", {}, {"x"});
  const Node b = node("B", {"y"});
  Node configured = b;
  configured.dependency_request_config = DependencyRequestConfig{{}, "want"};
  struct Case {
    const char* label;
    Graph graph;
  };
  std::vector<Case> cases;
  cases.push_back({"missing source node", Graph({b}, {ab})});
  cases.push_back({"missing target node", Graph({a}, {ab})});
  cases.push_back({"undeclared source port", Graph(pair(node("A"), b), {ab})});
  cases.push_back({"undeclared target port", Graph(pair(a, node("B")), {ab})});
  cases.push_back({"wrong sides", Graph(pair(node("A", {"x"}), node("B", {}, {"y"})),
                                        {edge(in("A", "x"), out("B", "y"))})});
  cases.push_back(
      {"fan-out", Graph({a, b, node("C", {"y"})}, {ab, edge(out("A", "x"), in("C", "y"))})});
  cases.push_back(
      {"input max salvos",
       Graph({with_input_condition(b, "go", SalvoCondition{MaxSalvos::infinite(), {}, T::true_()})},
             {})});
  cases.push_back(
      {"input condition port",
       Graph({with_input_condition(b, "go", condition(T::true_(), {{"z", PacketCount::all()}}))},
             {})});
  cases.push_back(
      {"input term port",
       Graph({with_input_condition(
                 b, "go",
                 condition(T::not_(T::and_({T::true_(), T::port("z", PortState::full())}))))},
             {})});
  cases.push_back(
      {"output term port",
       Graph({with_output_condition(a, SalvoCondition{MaxSalvos::infinite(),
                                                      {},
                                                      T::or_({T::port("y", PortState::full())})})},
             {})});
  cases.push_back(
      {"dependency edge outside",
       Graph(pair(a, b), {ab}).with_dependency_edges({edge(out("A", "x"), in("B", "z"))})});
  cases.push_back({"configuration without dependency edge", Graph(pair(a, configured), {ab})});
  cases.push_back({"several at once",
                   Graph({node("A", {"x"}), configured}, {ab, edge(in("A", "x"), in("B", "y"))})});
  for (Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::string expected = "Cannot create NetSim with invalid graph:";
    const std::vector<GraphValidationError> errors = c.graph.validate();
    ASSERT_FALSE(errors.empty());
    for (const GraphValidationError& e : errors) expected += "\n  - " + e.message();
    try {
      NetSim sim(std::move(c.graph));
      ADD_FAILURE() << "built a sim over an invalid graph";
    } catch (const InternalError& e) {
      EXPECT_EQ(e.message(), expected);
    }
  }

  // Valid graphs near those rules build.
  const Edge repeated_fan_in = edge(out("C", "x"), in("B", "y"));
  NetSim(Graph({a, configured, node("C", {}, {"x"})}, {ab, repeated_fan_in, ab})
             .with_dependency_edges({ab, ab}))
      .check_invariants();
  NetSim(
      Graph({with_input_condition(
                b, "go", condition(T::port("y", PortState::full()), {{"y", PacketCount::all()}}))},
            {}))
      .check_invariants();
}

TEST(NetSimBuild, FanInEdgesMoveInTheOrderTheGraphListsThem) {
  const Edge from_x = edge(out("X", "o"), in("B", "y"));
  const Edge from_w = edge(out("W", "o"), in("B", "y"));
  const Edge from_v = edge(out("V", "o"), in("B", "y"));
  NetSim sim(
      Graph({node("V", {}, {"o"}), node("W", {}, {"o"}), node("X", {}, {"o"}), node("B", {"y"})},
            {from_w, from_x, from_w, from_v}));
  const Ulid on_v = place_packet(sim, on_edge(from_v));
  const Ulid on_x = place_packet(sim, on_edge(from_x));
  const Ulid on_w = place_packet(sim, on_edge(from_w));
  std::vector<Ulid> moved;
  for (const NetEvent& e : step_events(sim)) {
    if (const auto* m = std::get_if<NetEvent::PacketMoved>(&e.value)) moved.push_back(m->packet_id);
  }
  EXPECT_EQ(moved, (std::vector<Ulid>{on_w, on_x, on_v}));
}

// Enough edges for several look-up blocks, and names of every length from
// one byte up, so each edge must land on its own target port.
TEST(NetSimBuild, LongChainResolvesEveryEdge) {
  constexpr std::size_t kNodes = 150;
  auto name = [](std::size_t i) {
    return std::string(i % 20, char('a' + i % 26)) + std::to_string(i);
  };
  std::vector<Node> nodes;
  std::vector<Edge> edges;
  for (std::size_t i = 0; i < kNodes; ++i) {
    nodes.push_back(node(name(i), {"in", "side"}, {"out", "spare"}));
    if (i > 0) edges.push_back(edge(out(name(i - 1), "out"), in(name(i), "in")));
  }
  NetSim sim(Graph(std::move(nodes), edges));
  std::vector<Ulid> packets;
  for (const Edge& e : edges) packets.push_back(place_packet(sim, on_edge(e)));
  sim.run_until_blocked();
  sim.check_invariants();
  for (std::size_t i = 0; i < edges.size(); ++i) {
    EXPECT_EQ(sim.get_packet(packets[i])->location, at_input(name(i + 1), "in")) << i;
  }
}

// Sims over one graph read the same object and keep their states apart; a
// graph that validated once is not refused or checked differently later.
TEST(NetSimBuild, SimsShareOneGraph) {
  const Edge ab = edge(out("A", "x"), in("B", "y"));
  const auto graph =
      std::make_shared<const Graph>(Graph({node("A", {}, {"x"}), node("B", {"y"})}, {ab}));
  EXPECT_TRUE(graph->validate().empty());
  NetSim first(graph);
  NetSim second(graph);
  EXPECT_EQ(&first.graph(), graph.get());
  EXPECT_EQ(second.shared_graph(), graph);
  const Ulid moved = place_packet(first, on_edge(ab));
  first.run_until_blocked();
  EXPECT_EQ(first.get_packet(moved)->location, at_input("B", "y"));
  EXPECT_TRUE(second.packets().empty());
  first.check_invariants();
  second.check_invariants();
}

}  // namespace
}  // namespace vornix
