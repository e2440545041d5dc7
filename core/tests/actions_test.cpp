// Packet and epoch actions: check order, responses, events, and that a
// refused action changes nothing.
#include <gtest/gtest.h>

#include "action_fixtures.hpp"

namespace vornix {
namespace {

using namespace testing_actions;
using A = NetAction;

TEST(Dispatch, RunStepGoesToTheStep) {
  NetSim sim(pipeline());
  const NetActionResponse r = sim.do_action(NetAction{A::RunStep{}});
  EXPECT_FALSE(made_progress(r));
  EXPECT_TRUE(r.success().events.empty());
}

TEST(CreatePacket, OutsideOrInsideARunningEpoch) {
  NetSim sim(pipeline());
  const Ulid first = new_packet(sim);
  const NetActionResponse r = act(sim, A::CreatePacket{});
  const auto& ok = expect_ok(r);
  const Ulid second = std::get<Data::Packet>(ok.data.value).packet_id;
  ASSERT_EQ(ok.events.size(), 1u);
  EXPECT_EQ(event_as<NetEvent::PacketCreated>(ok.events[0]).packet_id, second);
  EXPECT_EQ(at(sim, PacketLocation::outside_net()), (std::vector<Ulid>{first, second}));

  const Ulid e = running_epoch(sim, "A");
  const Ulid inside = new_packet(sim, e);
  EXPECT_EQ(sim.get_packet(inside)->location, PacketLocation::node(e));
  EXPECT_EQ(at(sim, PacketLocation::node(e)), std::vector<Ulid>{inside});
  sim.check_invariants();
}

TEST(CreatePacket, RefusesMissingOrNotRunningEpoch) {
  NetSim sim(pipeline());
  const Ulid startable = new_epoch(sim, "A");
  const Ulid unknown = Ulid::generate();
  expect_refused(sim, NetAction{A::CreatePacket{unknown}},
                 "epoch not found: " + unknown.to_string());
  expect_refused(sim, NetAction{A::CreatePacket{startable}},
                 "epoch " + startable.to_string() + " is not running");
}

TEST(ConsumeAndDestroy, RemoveFromAnyLocationKeepingTheOrderOfOthers) {
  for (const bool consume : {true, false}) {
    NetSim sim(pipeline());
    const Ulid running = running_epoch(sim, "A");
    const Ulid startable = new_epoch(sim, "A");
    const std::vector<PacketLocation> places{
        PacketLocation::outside_net(), PacketLocation::edge(s_to_a()),
        PacketLocation::input_port("B", "in"), PacketLocation::node(running),
        PacketLocation::output_port(startable, "drop")};
    for (const PacketLocation& where : places) {
      SCOPED_TRACE((consume ? "consume at " : "destroy at ") + where.debug());
      const Ulid before = place_packet(sim, where);
      const Ulid victim = place_packet(sim, where);
      const Ulid after = place_packet(sim, where);
      const NetActionResponse r =
          consume ? act(sim, A::ConsumePacket{victim}) : act(sim, A::DestroyPacket{victim});
      const auto& ok = expect_ok(r);
      EXPECT_TRUE(std::holds_alternative<Data::Empty>(ok.data.value));
      ASSERT_EQ(ok.events.size(), 1u);
      if (consume) {
        const auto& ev = event_as<NetEvent::PacketConsumed>(ok.events[0]);
        EXPECT_EQ(ev.packet_id, victim);
        EXPECT_EQ(ev.location, where);
      } else {
        const auto& ev = event_as<NetEvent::PacketDestroyed>(ok.events[0]);
        EXPECT_EQ(ev.packet_id, victim);
        EXPECT_EQ(ev.location, where);
      }
      EXPECT_FALSE(sim.get_packet(victim).has_value());
      EXPECT_EQ(at(sim, where), (std::vector<Ulid>{before, after}));
      sim.check_invariants();
    }
    const Ulid unknown = Ulid::generate();
    expect_refused(
        sim, consume ? NetAction{A::ConsumePacket{unknown}} : NetAction{A::DestroyPacket{unknown}},
        "packet not found: " + unknown.to_string());
  }
}

TEST(CreateEpoch, ChecksRunCheckByCheckOverTheSalvo) {
  NetSim sim(pipeline());
  const Ulid waiting = place_packet(sim, PacketLocation::input_port("A", "in"));
  const Ulid elsewhere = place_packet(sim, PacketLocation::outside_net());
  const Ulid ghost = Ulid::generate();
  using Entries = decltype(Salvo::packets);
  struct Case {
    const char* name;
    std::string node;
    Entries entries;
    std::string error;
  };
  const std::string in_a = "' of node 'A'";
  const std::vector<Case> cases{
      {"unknown node", "X", {{"nope", ghost}}, "node not found: 'X'"},
      {"missing port after a misplaced packet",
       "A",
       {{"in", elsewhere}, {"nope", waiting}},
       "input port 'nope' not found on node 'A'"},
      {"missing packet after a misplaced one",
       "A",
       {{"in", elsewhere}, {"in", ghost}},
       "packet not found: " + ghost.to_string()},
      {"misplaced packet",
       "A",
       {{"in", waiting}, {"in", elsewhere}},
       "packet " + elsewhere.to_string() + " is not at input port 'in" + in_a},
      {"the same packet twice",
       "A",
       {{"in", waiting}, {"in", waiting}},
       "packet " + waiting.to_string() + " is not at input port 'in" + in_a},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    expect_refused(sim, NetAction{A::CreateEpoch{c.node, Salvo{"go", c.entries}}}, c.error);
  }
}

TEST(CreateEpoch, TakesThePacketsAndRecordsTheirPositions) {
  NetSim sim(pipeline());
  const PacketLocation port = PacketLocation::input_port("B", "in");
  const Ulid p0 = place_packet(sim, port);
  const Ulid p1 = place_packet(sim, port);
  const Ulid stays = place_packet(sim, port);
  // The condition name is the caller's: it is not checked against the node.
  const Salvo salvo{"made-up", {{"in", p0}, {"in", p1}}};
  const NetActionResponse r = act(sim, A::CreateEpoch{"B", salvo});
  const auto& ok = expect_ok(r);
  const Epoch& epoch = std::get<Data::CreatedEpoch>(ok.data.value).epoch;
  EXPECT_EQ(epoch.state, EpochState::Startable);
  EXPECT_EQ(epoch.in_salvo, salvo);
  EXPECT_EQ(*sim.get_epoch(epoch.id), epoch);

  ASSERT_EQ(kinds(ok.events),
            (std::vector<std::string_view>{"EpochCreated", "PacketMoved", "PacketMoved"}));
  EXPECT_EQ(event_as<NetEvent::EpochCreated>(ok.events[0]).epoch_id, epoch.id);
  for (std::size_t i = 0; i < 2; ++i) {
    const auto& moved = event_as<NetEvent::PacketMoved>(ok.events[i + 1]);
    EXPECT_EQ(moved.packet_id, salvo.packets[i].second);
    EXPECT_EQ(moved.from_location, port);
    EXPECT_EQ(moved.to_location, PacketLocation::node(epoch.id));
    EXPECT_EQ(moved.from_index, 0u) << "each index is taken after the earlier packets left";
  }
  EXPECT_EQ(at(sim, port), std::vector<Ulid>{stays});
  EXPECT_EQ(at(sim, PacketLocation::node(epoch.id)), (std::vector<Ulid>{p0, p1}));
  EXPECT_EQ(sim.get_startable_epochs(), std::vector<Ulid>{epoch.id});
  EXPECT_EQ(sim.epochs_by_node().at("B"), std::vector<Ulid>{epoch.id});
  sim.check_invariants();

  // An empty salvo makes an epoch with nothing inside; the node's output
  // ports get their locations.
  const Ulid empty = new_epoch(sim, "A");
  EXPECT_TRUE(sim.has_location_entry(PacketLocation::output_port(empty, "out")));
  EXPECT_TRUE(sim.has_location_entry(PacketLocation::output_port(empty, "drop")));
  EXPECT_EQ(sim.packet_count_at(PacketLocation::node(empty)), 0u);
}

TEST(StartEpoch, OnlyAStartableEpochStarts) {
  NetSim sim(pipeline());
  const Ulid e = new_epoch(sim, "A");
  const NetActionResponse r = act(sim, A::StartEpoch{e});
  const auto& ok = expect_ok(r);
  EXPECT_EQ(std::get<Data::StartedEpoch>(ok.data.value).epoch->state, EpochState::Running);
  ASSERT_EQ(ok.events.size(), 1u);
  EXPECT_EQ(event_as<NetEvent::EpochStarted>(ok.events[0]).epoch_id, e);
  EXPECT_TRUE(sim.get_startable_epochs().empty());

  expect_refused(sim, NetAction{A::StartEpoch{e}}, "epoch " + e.to_string() + " is not startable");
  const Ulid unknown = Ulid::generate();
  expect_refused(sim, NetAction{A::StartEpoch{unknown}}, "epoch not found: " + unknown.to_string());
}

// A response's epoch is the epoch as it was: the epoch's later changes do
// not reach it, though it is shared rather than copied when handed on.
TEST(StartEpoch, TheResponseKeepsTheEpochAsItWas) {
  NetSim sim(pipeline());
  const Ulid e = new_epoch(sim, "A");
  const NetActionResponse started = act(sim, A::StartEpoch{e});
  const EpochSnapshot seen = std::get<Data::StartedEpoch>(expect_ok(started).data.value).epoch;
  const Ulid p = new_packet(sim, e);
  expect_ok(act(sim, A::LoadPacketIntoOutputPort{p, "drop"}));
  expect_ok(act(sim, A::SendOutputSalvo{e, "dump"}));
  EXPECT_TRUE(seen->out_salvos.empty());
  ASSERT_EQ(sim.get_epoch(e)->out_salvos.size(), 1u);
  EXPECT_FALSE(seen == EpochSnapshot(*sim.get_epoch(e)));

  // A finish shows the epoch twice, running in its event and finished in
  // its response, while the start's response still shows it as started.
  const NetActionResponse finished = act(sim, A::FinishEpoch{e});
  const auto& ok = expect_ok(finished);
  const Epoch& done = std::get<Data::FinishedEpoch>(ok.data.value).epoch;
  const Epoch& last = event_as<NetEvent::EpochFinished>(ok.events.at(0)).epoch;
  EXPECT_EQ(done.state, EpochState::Finished);
  EXPECT_EQ(last.state, EpochState::Running);
  EXPECT_EQ(last.out_salvos, done.out_salvos);
  EXPECT_EQ(seen->state, EpochState::Running);
  EXPECT_TRUE(seen->out_salvos.empty());
}

TEST(FinishEpoch, ChecksInOrder) {
  NetSim sim(pipeline());
  const Ulid unknown = Ulid::generate();
  expect_refused(sim, NetAction{A::FinishEpoch{unknown}},
                 "epoch not found: " + unknown.to_string());

  const Ulid startable = new_epoch(sim, "A");
  expect_refused(sim, NetAction{A::FinishEpoch{startable}},
                 "epoch " + startable.to_string() + " is not running");

  const Ulid e = running_epoch(sim, "A");
  const Ulid p = new_packet(sim, e);
  expect_refused(sim, NetAction{A::FinishEpoch{e}},
                 "cannot finish epoch " + e.to_string() + ": epoch still contains packets");
  expect_ok(act(sim, A::LoadPacketIntoOutputPort{p, "drop"}));
  expect_refused(
      sim, NetAction{A::FinishEpoch{e}},
      "cannot finish epoch " + e.to_string() + ": output port 'drop' has unsent packets");
  expect_ok(act(sim, A::SendOutputSalvo{e, "dump"}));
  expect_ok(act(sim, A::FinishEpoch{e}));
}

TEST(FinishEpoch, RemovesTheEpochAndReportsBothStates) {
  NetSim sim(pipeline());
  const Ulid e = running_epoch(sim, "B");
  const Ulid other = new_epoch(sim, "B");
  // B has an OnNoSalvoTriggered trigger: a finished epoch gives the token back.
  place_packet(sim, PacketLocation::input_port("B", "in"));
  step_ok(sim);
  ASSERT_FALSE(sim.request_tokens().at("B"));

  const NetActionResponse r = act(sim, A::FinishEpoch{e});
  const auto& ok = expect_ok(r);
  EXPECT_EQ(std::get<Data::FinishedEpoch>(ok.data.value).epoch->state, EpochState::Finished);
  ASSERT_EQ(ok.events.size(), 1u);
  const Epoch& recorded = event_as<NetEvent::EpochFinished>(ok.events[0]).epoch;
  EXPECT_EQ(recorded.state, EpochState::Running);
  EXPECT_EQ(recorded.id, e);

  EXPECT_EQ(sim.get_epoch(e), nullptr);
  EXPECT_FALSE(sim.has_location_entry(PacketLocation::node(e)));
  EXPECT_EQ(sim.packet_count_at(PacketLocation::node(e)), 0u);
  EXPECT_EQ(sim.epochs_by_node().at("B"), std::vector<Ulid>{other});
  EXPECT_TRUE(sim.request_tokens().at("B"));
  sim.check_invariants();
}

TEST(CancelEpoch, DestroysThePacketsInsideThenTheLoadedOnes) {
  NetSim sim(pipeline());
  const Ulid e = running_epoch(sim, "A");
  const Ulid loaded = new_packet(sim, e);
  expect_ok(act(sim, A::LoadPacketIntoOutputPort{loaded, "out"}));
  const Ulid in1 = new_packet(sim, e);
  const Ulid in2 = new_packet(sim, e);
  const Ulid bystander = new_packet(sim);

  const NetActionResponse r = act(sim, A::CancelEpoch{e});
  const auto& ok = expect_ok(r);
  const auto& data = std::get<Data::CancelledEpoch>(ok.data.value);
  EXPECT_EQ(data.epoch->state, EpochState::Running);
  EXPECT_EQ(data.destroyed_packets, (std::vector<Ulid>{in1, in2, loaded}));
  ASSERT_EQ(kinds(ok.events), (std::vector<std::string_view>{"PacketDestroyed", "PacketDestroyed",
                                                             "PacketDestroyed", "EpochCancelled"}));
  EXPECT_EQ(event_as<NetEvent::PacketDestroyed>(ok.events[2]).location,
            PacketLocation::output_port(e, "out"));
  EXPECT_EQ(event_as<NetEvent::EpochCancelled>(ok.events[3]).epoch, data.epoch);

  EXPECT_EQ(sim.packets().size(), 1u);
  EXPECT_TRUE(sim.get_packet(bystander).has_value());
  EXPECT_EQ(sim.get_epoch(e), nullptr);
  EXPECT_FALSE(sim.has_location_entry(PacketLocation::output_port(e, "out")));
  EXPECT_TRUE(sim.epochs_by_node().at("A").empty());
  sim.check_invariants();
}

TEST(CancelEpoch, AnEmptyStartableEpoch) {
  NetSim sim(pipeline());
  const Ulid e = new_epoch(sim, "A");
  const NetActionResponse r = act(sim, A::CancelEpoch{e});
  const auto& ok = expect_ok(r);
  const auto& data = std::get<Data::CancelledEpoch>(ok.data.value);
  EXPECT_EQ(data.epoch->state, EpochState::Startable);
  EXPECT_TRUE(data.destroyed_packets.empty());
  EXPECT_EQ(kinds(ok.events), std::vector<std::string_view>{"EpochCancelled"});
  EXPECT_TRUE(sim.get_startable_epochs().empty());
  sim.check_invariants();
  expect_refused(sim, NetAction{A::CancelEpoch{e}}, "epoch not found: " + e.to_string());
}

}  // namespace
}  // namespace vornix
