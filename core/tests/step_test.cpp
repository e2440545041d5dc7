#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "net/state.hpp"
#include "test_graphs.hpp"

namespace vornix {
namespace {

using namespace testing_net;
using Kinds = std::vector<std::string_view>;

TEST(RunStep, NothingToDoIsNoProgressAndNoEvents) {
  NetSim sim(chain(node("B", {"in"}, {})));
  const NetActionResponse r = step_ok(sim);
  EXPECT_FALSE(made_progress(r));
  EXPECT_TRUE(r.success().events.empty());
}

TEST(RunStep, EdgeDeliversOnePacketPerStepFrontFirst) {
  NetSim sim(chain(node("B", {"in"}, {})));
  const std::vector<Ulid> sent = {place_packet(sim, on_edge(chain_edge())),
                                  place_packet(sim, on_edge(chain_edge())),
                                  place_packet(sim, on_edge(chain_edge()))};
  for (std::size_t i = 0; i < sent.size(); ++i) {
    SCOPED_TRACE(i);
    const NetActionResponse r = step_ok(sim);
    EXPECT_TRUE(made_progress(r));
    ASSERT_EQ(r.success().events.size(), 1u);
    const auto& moved = event_as<NetEvent::PacketMoved>(r.success().events[0]);
    EXPECT_EQ(moved.packet_id, sent[i]);
    EXPECT_EQ(moved.from_location, on_edge(chain_edge()));
    EXPECT_EQ(moved.to_location, at_input("B", "in"));
    EXPECT_EQ(moved.from_index, 0u);
  }
  EXPECT_EQ(sim.get_packets_at_location(at_input("B", "in")), sent);
  EXPECT_FALSE(made_progress(step_ok(sim)));
}

TEST(RunStep, PortCapacityIsJudgedBeforeAnyPacketMoves) {
  // Two edges feed the Finite(1) port B.in. Room at the start of the step lets
  // both deliver, overfilling the port; afterwards nothing more gets in.
  const Edge from_a = edge(out("A", "out"), in("B", "in"));
  const Edge from_c = edge(out("C", "out"), in("B", "in"));
  NetSim sim(Graph({node("A", {}, {"out"}), node("C", {}, {"out"}),
                    with_input_capacity(node("B", {"in"}, {}), "in", 1)},
                   {from_a, from_c}));
  const Ulid a1 = place_packet(sim, on_edge(from_a));
  const Ulid c1 = place_packet(sim, on_edge(from_c));
  place_packet(sim, on_edge(from_a));

  const NetActionResponse first = step_ok(sim);
  EXPECT_EQ(kinds(first.success().events), (Kinds{"PacketMoved", "PacketMoved"}));
  std::vector<Ulid> arrived = sim.get_packets_at_location(at_input("B", "in"));
  std::sort(arrived.begin(), arrived.end());
  std::vector<Ulid> expected = {a1, c1};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(arrived, expected);

  // The port is over capacity: the packet left on A's edge waits.
  const NetActionResponse second = step_ok(sim);
  EXPECT_FALSE(made_progress(second));
  EXPECT_TRUE(second.success().events.empty());
  EXPECT_EQ(sim.packet_count_at(on_edge(from_a)), 1u);
}

TEST(RunStep, FullPortHoldsBackOnlyItsOwnEdge) {
  // B.in is full; D.in has room. D's delivery is the step's only progress.
  const Edge to_b = edge(out("A", "x"), in("B", "in"));
  const Edge to_d = edge(out("A", "y"), in("D", "in"));
  NetSim sim(Graph({node("A", {}, {"x", "y"}), with_input_capacity(node("B", {"in"}, {}), "in", 1),
                    with_input_capacity(node("D", {"in"}, {}), "in", 1)},
                   {to_b, to_d}));
  place_packet(sim, at_input("B", "in"));
  const Ulid held = place_packet(sim, on_edge(to_b));
  const Ulid delivered = place_packet(sim, on_edge(to_d));

  const NetActionResponse r = step_ok(sim);
  ASSERT_EQ(r.success().events.size(), 1u);
  EXPECT_EQ(event_as<NetEvent::PacketMoved>(r.success().events[0]).packet_id, delivered);
  EXPECT_EQ(sim.get_packet(held)->location, on_edge(to_b));
}

TEST(RunStep, FirstHoldingConditionFiresAndNoOther) {
  const SalvoConditionTerm holds = SalvoConditionTerm::port("in", PortState::non_empty());
  const SalvoConditionTerm fails = SalvoConditionTerm::port("in", PortState::equals(5));
  struct Case {
    const char* name;
    std::vector<std::pair<const char*, SalvoConditionTerm>> conditions;
    const char* fires;
  };
  const std::vector<Case> cases = {
      {"both hold: first in insertion order", {{"zeta", holds}, {"alpha", holds}}, "zeta"},
      {"first fails: second fires", {{"zeta", fails}, {"alpha", holds}}, "alpha"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Node b = node("B", {"in"}, {"out"});
    for (const auto& [name, term] : c.conditions) {
      b = with_input_condition(std::move(b), name, condition(term, {{"in", PacketCount::all()}}));
    }
    NetSim sim(chain(std::move(b)));
    const Ulid p = place_packet(sim, on_edge(chain_edge()));

    const auto& events = step_events(sim);
    ASSERT_EQ(kinds(events),
              (Kinds{"PacketMoved", "InputSalvoTriggered", "EpochCreated", "PacketMoved"}));
    const auto& fired = event_as<NetEvent::InputSalvoTriggered>(events[1]);
    EXPECT_EQ(fired.salvo_condition, c.fires);
    EXPECT_EQ(event_as<NetEvent::EpochCreated>(events[2]).epoch_id, fired.epoch_id);
    const auto& taken = event_as<NetEvent::PacketMoved>(events[3]);
    EXPECT_EQ(taken.to_location, PacketLocation::node(fired.epoch_id));

    const Epoch* epoch = sim.get_epoch(fired.epoch_id);
    ASSERT_NE(epoch, nullptr);
    EXPECT_EQ(epoch->state, EpochState::Startable);
    EXPECT_EQ(epoch->in_salvo, (Salvo{c.fires, {{"in", p}}}));
    EXPECT_EQ(sim.epochs().size(), 1u);
    EXPECT_TRUE(sim.has_location_entry(PacketLocation::output_port(fired.epoch_id, "out")));
    EXPECT_EQ(sim.get_startable_epochs(), std::vector<Ulid>{fired.epoch_id});
  }
}

TEST(RunStep, CountTakesTheOldestAndTheNodeFiresAgainLater) {
  NetSim sim(
      chain(with_input_condition(node("B", {"in"}, {}), "two",
                                 condition(SalvoConditionTerm::port("in", PortState::non_empty()),
                                           {{"in", PacketCount::count(2)}}))));
  std::vector<Ulid> waiting;
  for (int i = 0; i < 5; ++i) waiting.push_back(place_packet(sim, at_input("B", "in")));

  const std::vector<std::vector<Ulid>> takes = {
      {waiting[0], waiting[1]}, {waiting[2], waiting[3]}, {waiting[4]}};
  for (std::size_t s = 0; s < takes.size(); ++s) {
    SCOPED_TRACE(s);
    const auto& events = step_events(sim);
    ASSERT_EQ(events.size(), 2 + takes[s].size());
    const Ulid epoch = event_as<NetEvent::EpochCreated>(events[1]).epoch_id;
    for (std::size_t i = 0; i < takes[s].size(); ++i) {
      const auto& moved = event_as<NetEvent::PacketMoved>(events[2 + i]);
      EXPECT_EQ(moved.packet_id, takes[s][i]);
      EXPECT_EQ(moved.from_index, 0u);  // each one is at the front when it leaves
    }
    EXPECT_EQ(sim.get_packets_at_location(PacketLocation::node(epoch)), takes[s]);
  }
  EXPECT_FALSE(made_progress(step_ok(sim)));
  EXPECT_EQ(sim.epochs().size(), 3u);
}

TEST(RunStep, EmptyPortsMapFiresEmptySalvosWhilePacketsWait) {
  NetSim sim(chain(
      with_input_condition(node("B", {"in"}, {}), "ping", condition(SalvoConditionTerm::true_()))));
  const Ulid p = place_packet(sim, at_input("B", "in"));
  for (int s = 0; s < 2; ++s) {
    SCOPED_TRACE(s);
    const NetActionResponse r = step_ok(sim);
    EXPECT_TRUE(made_progress(r));
    ASSERT_EQ(kinds(r.success().events), (Kinds{"InputSalvoTriggered", "EpochCreated"}));
    const Ulid epoch = event_as<NetEvent::EpochCreated>(r.success().events[1]).epoch_id;
    EXPECT_TRUE(sim.get_epoch(epoch)->in_salvo.packets.empty());
  }
  EXPECT_EQ(sim.get_packet(p)->location, at_input("B", "in"));
}

TEST(RunStep, NodeFiresAtMostOncePerStep) {
  // Two packets wait at two ports; the condition takes one port's packet.
  Node b = node("B", {"x", "y"}, {});
  b = with_input_condition(
      std::move(b), "any",
      condition(SalvoConditionTerm::or_({SalvoConditionTerm::port("x", PortState::non_empty()),
                                         SalvoConditionTerm::port("y", PortState::non_empty())}),
                {{"x", PacketCount::all()}}));
  NetSim sim(Graph({std::move(b)}, {}));
  place_packet(sim, at_input("B", "x"));
  place_packet(sim, at_input("B", "y"));
  const auto& events = step_events(sim);
  EXPECT_EQ(std::count_if(events.begin(), events.end(),
                          [](const NetEvent& e) { return e.kind_name() == "InputSalvoTriggered"; }),
            1);
}

TEST(RunStep, StartupRequestsAreIssuedOnce) {
  NetSim sim(source_and_requester(
      {DependencyRequestTrigger::OnStartup, DependencyRequestTrigger::OnStartup}, "boot"));
  const NetActionResponse first = step_ok(sim);
  EXPECT_TRUE(made_progress(first));
  const auto& events = first.success().events;
  ASSERT_EQ(kinds(events), (Kinds{"RequestCreated", "RequestCascadeResolved", "EpochCreated",
                                  "RequestEpochCreated"}));
  const auto& created = event_as<NetEvent::RequestCreated>(events[0]);
  EXPECT_EQ(created.node_name, "R");
  EXPECT_EQ(created.label, "boot");
  EXPECT_EQ(created.source, RequestCreatedSource::OnStartup);
  const auto& resolved = event_as<NetEvent::RequestCascadeResolved>(events[1]);
  EXPECT_EQ(resolved.source_nodes, std::vector<std::string>{"S"});
  EXPECT_EQ(resolved.label, "boot");
  const Ulid epoch = event_as<NetEvent::EpochCreated>(events[2]).epoch_id;
  const auto& request_epoch = event_as<NetEvent::RequestEpochCreated>(events[3]);
  EXPECT_EQ(request_epoch.epoch_id, epoch);
  EXPECT_EQ(request_epoch.node_name, "S");
  EXPECT_EQ(request_epoch.label, "boot");
  EXPECT_EQ(sim.get_epoch(epoch)->in_salvo, (Salvo{"__request__", {}}));
  EXPECT_TRUE(sim.has_location_entry(PacketLocation::output_port(epoch, "out")));
  EXPECT_TRUE(sim.startup_requests_emitted());
  EXPECT_TRUE(sim.pending_requests().empty());

  const NetActionResponse second = step_ok(sim);
  EXPECT_FALSE(made_progress(second));
  EXPECT_TRUE(second.success().events.empty());
}

TEST(RunStep, NoSalvoRequestWaitsForTheToken) {
  NetSim sim(source_and_requester({DependencyRequestTrigger::OnNoSalvoTriggered}, "more"));
  place_packet(sim, at_input("R", "in"));  // R wants two

  const auto& first = step_events(sim);
  ASSERT_EQ(kinds(first), (Kinds{"RequestCreated", "RequestCascadeResolved", "EpochCreated",
                                 "RequestEpochCreated"}));
  EXPECT_EQ(event_as<NetEvent::RequestCreated>(first[0]).source,
            RequestCreatedSource::OnNoSalvoTriggered);
  EXPECT_FALSE(sim.request_tokens().at("R"));

  // Still stuck, but the token is spent.
  EXPECT_TRUE(step_events(sim).empty());

  // An epoch of R finishing gives the token back.
  sim.set_request_token("R", true);
  EXPECT_EQ(kinds(step_events(sim)), (Kinds{"RequestCreated", "RequestCascadeResolved",
                                            "EpochCreated", "RequestEpochCreated"}));
}

TEST(RunStep, NodeThatFiresIssuesNoSalvoRequest) {
  NetSim sim(source_and_requester({DependencyRequestTrigger::OnNoSalvoTriggered}));
  place_packet(sim, at_input("R", "in"));
  place_packet(sim, at_input("R", "in"));
  EXPECT_EQ(kinds(step_events(sim)),
            (Kinds{"InputSalvoTriggered", "EpochCreated", "PacketMoved", "PacketMoved"}));
  EXPECT_TRUE(sim.request_tokens().at("R"));
}

TEST(RunStep, RequestsSharingALabelShareTheirEpoch) {
  struct Case {
    const char* label_1;
    const char* label_2;
    std::size_t request_epochs;
  };
  const Case cases[] = {{"same", "same", 1}, {"one", "two", 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.label_1) + "/" + c.label_2);
    // R1 and R2 both depend on source S.
    const Edge e1 = edge(out("S", "a"), in("R1", "in"));
    const Edge e2 = edge(out("S", "b"), in("R2", "in"));
    NetSim sim(
        Graph({node("S", {}, {"a", "b"}),
               with_requests(node("R1", {"in"}), {DependencyRequestTrigger::OnStartup}, c.label_1),
               with_requests(node("R2", {"in"}), {DependencyRequestTrigger::OnStartup}, c.label_2)},
              {e1, e2})
            .with_dependency_edges({e1, e2}));
    const auto& events = step_events(sim);
    const auto n = [&](std::string_view kind) {
      return static_cast<std::size_t>(std::count_if(
          events.begin(), events.end(), [&](const NetEvent& e) { return e.kind_name() == kind; }));
    };
    EXPECT_EQ(n("RequestCreated"), 2u);
    EXPECT_EQ(n("RequestCascadeResolved"), 2u);
    EXPECT_EQ(n("RequestEpochCreated"), c.request_epochs);
    EXPECT_EQ(sim.epochs().size(), c.request_epochs);
    ASSERT_NE(sim.epochs_by_node().find("S"), sim.epochs_by_node().end());
    EXPECT_EQ(sim.epochs_by_node().find("S")->second.size(), c.request_epochs);
  }
}

TEST(RunStep, RequestForNodeWithoutDependencyEdgesVanishesSilently) {
  NetSim sim(chain(node("B", {"in"}, {})));
  ASSERT_TRUE(sim.do_action(NetAction{NetAction::CreateRequest{"B", "x"}}).ok());
  const NetActionResponse r = step_ok(sim);
  EXPECT_FALSE(made_progress(r));
  EXPECT_TRUE(r.success().events.empty());
  EXPECT_TRUE(sim.pending_requests().empty());
}

// R needs packets through B, but B's second input port is fed by nothing, so
// resolving R's startup request fails. G's earlier request resolves fine.
Graph broken_cascade_graph() {
  const Edge a_b = edge(out("A", "out"), in("B", "fed"));
  const Edge b_r = edge(out("B", "out"), in("R", "in"));
  const Edge s_g = edge(out("S", "out"), in("G", "in"));
  const Edge a_w = edge(out("A", "w"), in("W", "in"));
  return Graph({node("A", {}, {"out", "w"}), node("B", {"fed", "unfed"}, {"out"}),
                with_requests(node("R", {"in"}), {DependencyRequestTrigger::OnStartup}, "r"),
                node("S", {}, {"out"}), node("G", {"in"}),
                with_input_condition(node("W", {"in"}), "go", takes_all_when_non_empty("in"))},
               {a_b, b_r, s_g, a_w})
      .with_dependency_edges({b_r, s_g});
}

TEST(RunStep, CascadeFailureKeepsEarlierChangesAndReportsTheirEvents) {
  NetSim sim(broken_cascade_graph());
  const Edge a_w = edge(out("A", "w"), in("W", "in"));
  const Ulid p = place_packet(sim, on_edge(a_w));
  ASSERT_TRUE(sim.do_action(NetAction{NetAction::CreateRequest{"G", "g"}}).ok());

  const NetActionResponse r = sim.run_step();
  sim.check_invariants();
  ASSERT_FALSE(r.ok());
  const auto* unconnected =
      std::get_if<NetActionError::RequestUnconnectedPort>(&r.failure().error.value);
  ASSERT_NE(unconnected, nullptr);
  EXPECT_EQ(unconnected->node_name, "B");
  EXPECT_EQ(unconnected->port_name, "unfed");
  EXPECT_EQ(r.failure().error.to_string(),
            "request cascade reached unconnected input port 'unfed' on node 'B'");

  // The edge move, the salvo, the startup request and G's resolution (the
  // oldest request, resolved before R's failed) happened and are reported in
  // that order, so the log is complete.
  const auto& events = r.failure().events;
  ASSERT_EQ(kinds(events), (Kinds{"PacketMoved", "InputSalvoTriggered", "EpochCreated",
                                  "PacketMoved", "RequestCreated", "RequestCascadeResolved"}));
  const auto& resolved = event_as<NetEvent::RequestCascadeResolved>(events[5]);
  EXPECT_EQ(resolved.source_nodes, std::vector<std::string>{"S"});
  EXPECT_EQ(resolved.label, "g");
  const Ulid fired = event_as<NetEvent::EpochCreated>(events[2]).epoch_id;
  EXPECT_EQ(sim.get_packet(p)->location, PacketLocation::node(fired));
  EXPECT_EQ(event_as<NetEvent::RequestCreated>(events[4]).node_name, "R");
  EXPECT_TRUE(sim.startup_requests_emitted());

  // Both taken requests are gone and no request epoch exists.
  EXPECT_TRUE(sim.pending_requests().empty());
  EXPECT_EQ(sim.epochs().size(), 1u);
  EXPECT_NE(sim.get_epoch(fired), nullptr);

  // With nothing left queued, the next step is quiet.
  const NetActionResponse next = step_ok(sim);
  EXPECT_TRUE(next.success().events.empty());
}

TEST(RunStep, EventTimestampsFollowTheWallClock) {
  NetSim sim(chain(node("B", {"in"}, {})));
  place_packet(sim, on_edge(chain_edge()));
  const std::int64_t before = wall_clock_ms();
  const auto& events = step_events(sim);
  const std::int64_t after = wall_clock_ms();
  ASSERT_EQ(events.size(), 1u);
  const Timestamp t = event_as<NetEvent::PacketMoved>(events[0]).timestamp;
  EXPECT_GE(t, before);
  EXPECT_LE(t, after);
}

// A burst that has passed leaves no room behind: after many packets waited
// on the edge and at the port and became as many epochs of B at once, the
// sim keeps room for what it holds, not for the burst.
TEST(RunStep, RoomFollowsWhatTheSimHoldsAfterABurst) {
  NetSim sim(
      chain(with_input_condition(node("B", {"in"}, {}), "one",
                                 condition(SalvoConditionTerm::port("in", PortState::non_empty()),
                                           {{"in", PacketCount::count(1)}}))));
  constexpr std::size_t kBurst = 3000;
  for (std::size_t i = 0; i < kBurst; ++i) {
    place_packet(sim, i % 2 == 0 ? on_edge(chain_edge()) : at_input("B", "in"));
  }
  std::vector<Ulid> epochs;
  for (const NetEvent& e : sim.run_until_blocked()) {
    if (const auto* created = std::get_if<NetEvent::EpochCreated>(&e.value)) {
      epochs.push_back(created->epoch_id);
    }
  }
  ASSERT_EQ(epochs.size(), kBurst);
  EXPECT_GE(sim.room(), kBurst);
  for (const Ulid& id : epochs) {
    ASSERT_TRUE(sim.do_action(NetAction{NetAction::CancelEpoch{id}}).ok());
  }
  sim.check_invariants();
  EXPECT_LE(sim.room(), 256u);
}

}  // namespace
}  // namespace vornix
