// Small networks and helpers shared by the simulation tests.
//
// Graph pieces come from graph_builders.hpp (in, out, edge, node); this file
// adds salvo conditions, request configurations, ready-made graphs and ways to
// put packets where a test needs them.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "graph/graph.hpp"
#include "graph_builders.hpp"
#include "net/state.hpp"

namespace vornix::testing_net {

using namespace testing_graph;

inline PacketLocation at_input(std::string node, std::string port) {
  return PacketLocation::input_port(std::move(node), std::move(port));
}
inline PacketLocation on_edge(const Edge& e) { return PacketLocation::edge(e); }

// An input salvo condition as the validator accepts it (fires once per salvo).
inline SalvoCondition condition(SalvoConditionTerm term,
                                std::vector<std::pair<std::string, PacketCount>> ports = {}) {
  SalvoCondition c{MaxSalvos::finite(1), {}, std::move(term)};
  for (auto& [port, count] : ports) c.ports.insert_or_assign(std::move(port), count);
  return c;
}

// "Fire when `port` holds a packet, taking everything there."
inline SalvoCondition takes_all_when_non_empty(const std::string& port) {
  return condition(SalvoConditionTerm::port(port, PortState::non_empty()),
                   {{port, PacketCount::all()}});
}

inline Node with_input_condition(Node n, std::string name, SalvoCondition c) {
  n.in_salvo_conditions.insert_or_assign(std::move(name), std::move(c));
  return n;
}

inline Node with_input_capacity(Node n, const std::string& port, std::uint64_t capacity) {
  n.in_ports.insert_or_assign(port, Port{PortSlotSpec::finite(capacity)});
  return n;
}

inline Node with_requests(Node n, std::vector<DependencyRequestTrigger> triggers,
                          std::string label) {
  n.dependency_request_config = DependencyRequestConfig{std::move(triggers), std::move(label)};
  return n;
}

// A -> B over A.out.out -> B.in.in; `b` decides how B behaves.
inline Edge chain_edge() { return edge(out("A", "out"), in("B", "in")); }
inline Graph chain(Node b) { return Graph({node("A", {}, {"out"}), std::move(b)}, {chain_edge()}); }

// A source S feeding a requesting node R over the dependency edge
// S.out.out -> R.in.in. R's input condition wants two packets, so one waiting
// packet leaves it stuck.
inline Edge request_edge() { return edge(out("S", "out"), in("R", "in")); }
inline Graph source_and_requester(std::vector<DependencyRequestTrigger> triggers,
                                  std::string label = "need") {
  Node r = with_requests(node("R", {"in"}, {}), std::move(triggers), std::move(label));
  r = with_input_condition(std::move(r), "pair",
                           condition(SalvoConditionTerm::port("in", PortState::equals(2)),
                                     {{"in", PacketCount::all()}}));
  return Graph({node("S", {}, {"out"}), std::move(r)}, {request_edge()})
      .with_dependency_edges({request_edge()});
}

// A packet created outside the network and put straight at `where`.
inline Ulid place_packet(NetSim& sim, const PacketLocation& where) {
  const NetActionResponse r = sim.do_action(NetAction{NetAction::CreatePacket{}});
  const Ulid id = std::get<NetActionResponseData::Packet>(r.success().data.value).packet_id;
  sim.move_packet(id, where);
  return id;
}

inline std::vector<std::string_view> kinds(const EventList& events) {
  std::vector<std::string_view> out;
  for (const NetEvent& e : events) out.push_back(e.kind_name());
  return out;
}

template <class E>
const E& event_as(const NetEvent& e) {
  return std::get<E>(e.value);
}

inline bool made_progress(const NetActionResponse& r) {
  return std::get<NetActionResponseData::StepResult>(r.success().data.value).made_progress;
}

// A run step that must succeed; checks the invariants afterwards.
inline NetActionResponse step_ok(NetSim& sim) {
  NetActionResponse r = sim.run_step();
  EXPECT_TRUE(r.ok()) << (r.ok() ? "" : r.failure().error.to_string());
  sim.check_invariants();
  return r;
}

inline EventList step_events(NetSim& sim) { return step_ok(sim).success().events; }

}  // namespace vornix::testing_net
