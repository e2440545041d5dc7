#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "net/state.hpp"
#include "test_graphs.hpp"

namespace vornix {
namespace {

using namespace testing_net;
using Kinds = std::vector<std::string_view>;

TEST(IsBlocked, ReflectsTheWorkLeft) {
  struct Case {
    const char* name;
    std::function<Graph()> graph;
    std::function<void(NetSim&)> setup;
    bool blocked;
  };
  const auto nothing = [](NetSim&) {};
  const auto finite_b = [] { return chain(with_input_capacity(node("B", {"in"}), "in", 1)); };
  const std::vector<Case> cases = {
      {"empty graph", [] { return Graph({}, {}); }, nothing, true},
      {"idle chain", [] { return chain(node("B", {"in"})); }, nothing, true},
      {"OnStartup trigger not yet issued",
       [] { return source_and_requester({DependencyRequestTrigger::OnStartup}); }, nothing, false},
      {"only an OnNoSalvoTriggered trigger",
       [] { return source_and_requester({DependencyRequestTrigger::OnNoSalvoTriggered}); }, nothing,
       true},
      {"packet on edge into a port with room", finite_b,
       [](NetSim& s) { place_packet(s, on_edge(chain_edge())); }, false},
      {"packet on edge into a full port", finite_b,
       [](NetSim& s) {
         place_packet(s, at_input("B", "in"));
         place_packet(s, on_edge(chain_edge()));
       },
       true},
      {"packet on edge into an infinite port", [] { return chain(node("B", {"in"})); },
       [](NetSim& s) {
         place_packet(s, at_input("B", "in"));
         place_packet(s, on_edge(chain_edge()));
       },
       false},
      {"waiting packet satisfies a condition",
       [] {
         return chain(
             with_input_condition(node("B", {"in"}), "go", takes_all_when_non_empty("in")));
       },
       [](NetSim& s) { place_packet(s, at_input("B", "in")); }, false},
      {"waiting packet satisfies no condition",
       [] { return source_and_requester({DependencyRequestTrigger::OnNoSalvoTriggered}); },
       [](NetSim& s) { place_packet(s, at_input("R", "in")); }, true},
      {"packet outside the network", [] { return chain(node("B", {"in"})); },
       [](NetSim& s) { s.do_action(NetAction{NetAction::CreatePacket{}}); }, true},
      {"queued request", [] { return chain(node("B", {"in"})); },
       [](NetSim& s) {
         s.do_action(NetAction{NetAction::CreateRequest{"B", "x"}});
       },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NetSim sim(c.graph());
    c.setup(sim);
    EXPECT_EQ(sim.is_blocked(), c.blocked);
    sim.check_invariants();
  }
}

TEST(RunUntilBlocked, CarriesAPacketIntoANewEpoch) {
  NetSim sim(chain(with_input_condition(node("B", {"in"}), "go", takes_all_when_non_empty("in"))));
  const Ulid p = place_packet(sim, on_edge(chain_edge()));
  const EventList events = sim.run_until_blocked();
  sim.check_invariants();
  ASSERT_EQ(kinds(events),
            (Kinds{"PacketMoved", "InputSalvoTriggered", "EpochCreated", "PacketMoved"}));
  const Ulid epoch = event_as<NetEvent::EpochCreated>(events[2]).epoch_id;
  EXPECT_EQ(sim.get_packet(p)->location, PacketLocation::node(epoch));
  EXPECT_TRUE(sim.is_blocked());
  EXPECT_TRUE(sim.run_until_blocked().empty());
}

TEST(RunUntilBlocked, StuckNodeWithSpareTokenStaysBlocked) {
  // A step would issue R's no-salvo request, but that alone is no reason to run.
  NetSim sim(source_and_requester({DependencyRequestTrigger::OnNoSalvoTriggered}));
  place_packet(sim, at_input("R", "in"));
  EXPECT_TRUE(sim.is_blocked());
  EXPECT_TRUE(sim.run_until_blocked().empty());
  EXPECT_TRUE(sim.request_tokens().at("R"));
  sim.check_invariants();
  // is_blocked set R aside, but a step still makes the request it owes.
  const NetActionResponse step = sim.run_step();
  ASSERT_TRUE(step.ok());
  EXPECT_EQ(kinds(step.success().events), (Kinds{"RequestCreated", "RequestCascadeResolved",
                                                 "EpochCreated", "RequestEpochCreated"}));
  sim.check_invariants();
}

TEST(RunUntilBlocked, DropsARequestNobodyCanServe) {
  NetSim sim(chain(node("B", {"in"})));
  ASSERT_TRUE(sim.do_action(NetAction{NetAction::CreateRequest{"B", "x"}}).ok());
  EXPECT_TRUE(sim.run_until_blocked().empty());
  EXPECT_TRUE(sim.is_blocked());
  EXPECT_TRUE(sim.pending_requests().empty());
}

TEST(RunUntilBlocked, ServesStartupRequestsAndStops) {
  NetSim sim(source_and_requester({DependencyRequestTrigger::OnStartup}));
  EXPECT_EQ(kinds(sim.run_until_blocked()), (Kinds{"RequestCreated", "RequestCascadeResolved",
                                                   "EpochCreated", "RequestEpochCreated"}));
  EXPECT_TRUE(sim.is_blocked());
  sim.check_invariants();
}

TEST(RunUntilBlocked, KeepsTheEventsOfAFailedStep) {
  // Startup resolution fails on B's unfed port; the packet delivered in the
  // same step still shows up, and the loop goes on to finish the work.
  const Edge a_b = edge(out("A", "out"), in("B", "fed"));
  const Edge b_r = edge(out("B", "out"), in("R", "in"));
  const Edge a_w = edge(out("A", "w"), in("W", "in"));
  NetSim sim(Graph({node("A", {}, {"out", "w"}), node("B", {"fed", "unfed"}, {"out"}),
                    with_requests(node("R", {"in"}), {DependencyRequestTrigger::OnStartup}, "r"),
                    with_input_condition(node("W", {"in"}), "go", takes_all_when_non_empty("in"))},
                   {a_b, b_r, a_w})
                 .with_dependency_edges({b_r}));
  place_packet(sim, on_edge(a_w));
  place_packet(sim, on_edge(a_w));
  const EventList events = sim.run_until_blocked();
  sim.check_invariants();
  EXPECT_EQ(kinds(events),
            (Kinds{"PacketMoved", "InputSalvoTriggered", "EpochCreated", "PacketMoved",
                   "RequestCreated",  // the failed first step ends here
                   "PacketMoved", "InputSalvoTriggered", "EpochCreated", "PacketMoved"}));
  EXPECT_TRUE(sim.is_blocked());
  EXPECT_EQ(sim.epochs().size(), 2u);
}

TEST(RunUntilBlocked, StopsWhenAStepWouldRepeatForever) {
  // Each condition holds without its salvo taking the packets that make it
  // hold, so every step fires again. The loop stops after the first step that
  // left the flow unchanged instead of running forever.
  struct Case {
    const char* name;
    SalvoCondition condition;
    std::vector<const char*> waiting_at;
    Kinds events;
  };
  const std::vector<Case> cases = {
      {"true term, no ports",
       condition(SalvoConditionTerm::true_()),
       {"x"},
       {"InputSalvoTriggered", "EpochCreated"}},
      {"takes x, holds on y",
       condition(SalvoConditionTerm::port("y", PortState::non_empty()),
                 {{"x", PacketCount::all()}}),
       {"x", "y"},
       {"InputSalvoTriggered", "EpochCreated", "PacketMoved",  // x's packet taken
        "InputSalvoTriggered", "EpochCreated"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NetSim sim(Graph({with_input_condition(node("B", {"x", "y"}), "loop", c.condition)}, {}));
    for (const char* port : c.waiting_at) place_packet(sim, at_input("B", port));
    EXPECT_EQ(kinds(sim.run_until_blocked()), c.events);
    sim.check_invariants();
  }
}

}  // namespace
}  // namespace vornix
