// A network and helpers for the action and undo tests.
//
// The pipeline: source S feeds A (S.out.out -> A.in.in), A feeds B
// (A.out.out -> B.in.in, also B's dependency edge); A's output port "drop"
// has no edge, so what A sends there is orphaned. C stands alone with a
// one-slot input port that nothing feeds.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "test_graphs.hpp"

namespace vornix::testing_actions {

using namespace testing_net;
using Data = NetActionResponseData;

inline SalvoCondition out_condition(MaxSalvos max, SalvoConditionTerm term,
                                    std::vector<std::pair<std::string, PacketCount>> ports) {
  SalvoCondition c{max, {}, std::move(term)};
  for (auto& [port, count] : ports) c.ports.insert_or_assign(std::move(port), count);
  return c;
}

inline Edge s_to_a() { return edge(out("S", "out"), in("A", "in")); }
inline Edge a_to_b() { return edge(out("A", "out"), in("B", "in")); }

inline Graph pipeline(bool startup_request = false) {
  Node s = node("S", {}, {"out"});
  s.out_salvo_conditions.insert_or_assign(
      "emit",
      out_condition(MaxSalvos::infinite(), SalvoConditionTerm::port("out", PortState::non_empty()),
                    {{"out", PacketCount::all()}}));

  Node a = with_input_capacity(node("A", {"in"}, {"out", "drop"}), "in", 2);
  a.out_ports.insert_or_assign("out", Port{PortSlotSpec::finite(1)});
  a = with_input_condition(std::move(a), "go",
                           condition(SalvoConditionTerm::port("in", PortState::non_empty()),
                                     {{"in", PacketCount::count(1)}}));
  a.out_salvo_conditions.insert_or_assign(
      "send",
      out_condition(MaxSalvos::infinite(), SalvoConditionTerm::port("out", PortState::non_empty()),
                    {{"out", PacketCount::all()}}));
  a.out_salvo_conditions.insert_or_assign(
      "dump", out_condition(MaxSalvos::finite(1), SalvoConditionTerm::true_(),
                            {{"drop", PacketCount::all()}}));
  a.out_salvo_conditions.insert_or_assign(
      "two", out_condition(MaxSalvos::infinite(), SalvoConditionTerm::true_(),
                           {{"drop", PacketCount::count(2)}}));
  a.out_salvo_conditions.insert_or_assign(
      "first",
      out_condition(MaxSalvos::infinite(), SalvoConditionTerm::port("drop", PortState::non_empty()),
                    {{"drop", PacketCount::count(1)}}));

  std::vector<DependencyRequestTrigger> triggers{DependencyRequestTrigger::OnNoSalvoTriggered};
  if (startup_request) triggers.push_back(DependencyRequestTrigger::OnStartup);
  Node b = with_requests(node("B", {"in"}, {}), std::move(triggers), "want");
  b = with_input_condition(
      std::move(b), "pair",
      condition(SalvoConditionTerm::port("in", PortState::equals_or_greater_than(2)),
                {{"in", PacketCount::all()}}));

  Node c = with_input_capacity(node("C", {"in"}, {}), "in", 1);
  return Graph({std::move(s), std::move(a), std::move(b), std::move(c)}, {s_to_a(), a_to_b()})
      .with_dependency_edges({a_to_b()});
}

// ---- Doing actions ----

inline const NetActionResponse::Success& expect_ok(const NetActionResponse& r) {
  EXPECT_TRUE(r.ok()) << (r.ok() ? "" : r.failure().error.to_string());
  if (!r.ok()) throw std::runtime_error("action refused: " + r.failure().error.to_string());
  return r.success();
}

inline NetActionResponse act(NetSim& sim, auto action) { return sim.do_action(NetAction{action}); }

inline Ulid new_packet(NetSim& sim, std::optional<Ulid> epoch = std::nullopt) {
  const NetActionResponse r = act(sim, NetAction::CreatePacket{epoch});
  return std::get<Data::Packet>(expect_ok(r).data.value).packet_id;
}

inline Ulid new_epoch(NetSim& sim, const std::string& node_name, Salvo salvo = {"manual", {}}) {
  const NetActionResponse r = act(sim, NetAction::CreateEpoch{node_name, std::move(salvo)});
  return std::get<Data::CreatedEpoch>(expect_ok(r).data.value).epoch->id;
}

inline Ulid running_epoch(NetSim& sim, const std::string& node_name) {
  const Ulid e = new_epoch(sim, node_name);
  expect_ok(act(sim, NetAction::StartEpoch{e}));
  return e;
}

// ---- Comparing states ----

inline std::string text(const Epoch& e) {
  std::string s = e.id.to_string() + " " + e.node_name.get() +
                  " state=" + std::to_string(static_cast<int>(e.state)) +
                  " in=" + e.in_salvo.salvo_condition.get();
  for (const auto& [port, id] : e.in_salvo.packets) s += " " + port.get() + ":" + id.to_string();
  for (const Salvo& out : e.out_salvos) {
    s += " | out=" + out.salvo_condition.get();
    for (const auto& [port, id] : out.packets) s += " " + port.get() + ":" + id.to_string();
  }
  for (const OrphanedPacketInfo& o : e.orphaned_packets) {
    s += " | orphan " + o.packet_id.to_string() + " " + o.from_port + " " + o.salvo_condition;
  }
  return s;
}

// Everything observable about a simulation, in comparable form.
struct Snapshot {
  std::map<std::string, std::vector<std::string>> queues;  // location -> ids in order
  std::size_t entry_count = 0;
  std::map<std::string, std::string> packets;  // id -> location
  std::map<std::string, std::string> epochs;
  std::set<std::string> startable;
  std::map<std::string, std::vector<std::string>> epochs_by_node;
  std::vector<std::string> pending;
  std::map<std::string, bool> tokens;
  bool startup_emitted = false;

  bool operator==(const Snapshot&) const = default;

  // What a full undo restores: orders inside locations and node lists,
  // request tokens, and requests a step took out of the queue are not.
  Snapshot relaxed() const {
    Snapshot r = *this;
    for (auto& [loc, ids] : r.queues) std::sort(ids.begin(), ids.end());
    std::erase_if(r.epochs_by_node, [](const auto& kv) { return kv.second.empty(); });
    for (auto& [node, ids] : r.epochs_by_node) std::sort(ids.begin(), ids.end());
    r.pending.clear();
    r.tokens.clear();
    return r;
  }
};

inline void expect_same(const Snapshot& a, const Snapshot& b) {
  EXPECT_EQ(a.queues, b.queues);
  EXPECT_EQ(a.entry_count, b.entry_count);
  EXPECT_EQ(a.packets, b.packets);
  EXPECT_EQ(a.epochs, b.epochs);
  EXPECT_EQ(a.startable, b.startable);
  EXPECT_EQ(a.epochs_by_node, b.epochs_by_node);
  EXPECT_EQ(a.pending, b.pending);
  EXPECT_EQ(a.tokens, b.tokens);
  EXPECT_EQ(a.startup_emitted, b.startup_emitted);
}

inline std::vector<PacketLocation> known_locations(const NetSim& sim) {
  std::vector<PacketLocation> out{PacketLocation::outside_net()};
  for (const Edge& e : sim.graph().edges()) out.push_back(PacketLocation::edge(e));
  for (const Node& n : sim.graph().nodes()) {
    for (const auto& [port, spec] : n.in_ports) {
      out.push_back(PacketLocation::input_port(n.name, port));
    }
  }
  for (const auto& [id, epoch] : sim.epochs()) {
    out.push_back(PacketLocation::node(id));
    if (const Node* n = sim.graph().find_node(epoch.node_name)) {
      for (const auto& [port, spec] : n->out_ports) {
        out.push_back(PacketLocation::output_port(id, port));
      }
    }
  }
  return out;
}

inline Snapshot snapshot(const NetSim& sim) {
  Snapshot s;
  for (const PacketLocation& l : known_locations(sim)) {
    if (!sim.has_location_entry(l)) continue;
    auto& ids = s.queues[l.debug()];
    for (const Ulid& id : sim.get_packets_at_location(l)) ids.push_back(id.to_string());
  }
  s.entry_count = sim.location_entry_count();
  for (const Packet& p : sim.packets()) s.packets[p.id.to_string()] = p.location.debug();
  for (const auto& [id, e] : sim.epochs()) s.epochs[id.to_string()] = text(e);
  for (const Ulid& id : sim.startable_epochs()) s.startable.insert(id.to_string());
  for (const auto& [node_name, ids] : sim.epochs_by_node()) {
    auto& list = s.epochs_by_node[node_name];
    for (const Ulid& id : ids) list.push_back(id.to_string());
  }
  for (const PendingRequest& r : sim.pending_requests()) {
    s.pending.push_back(r.node_name + "/" + r.label);
  }
  for (const auto& [node_name, token] : sim.request_tokens()) s.tokens[node_name] = token;
  s.startup_emitted = sim.startup_requests_emitted();
  return s;
}

// Performs `action`, expects exactly the error `expected_text`, no events and
// an unchanged state.
inline void expect_refused(NetSim& sim, const NetAction& action, const std::string& expected_text) {
  const Snapshot before = snapshot(sim);
  const NetActionResponse r = sim.do_action(action);
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.failure().error.to_string(), expected_text);
  EXPECT_TRUE(r.failure().events.empty());
  expect_same(snapshot(sim), before);
  sim.check_invariants();
}

inline std::vector<Ulid> at(const NetSim& sim, const PacketLocation& l) {
  return sim.get_packets_at_location(l);
}

}  // namespace vornix::testing_actions
