// Undo: every event kind's reversal and its refusals, the guards against
// events that do not fit the state, and random action sequences undone in
// reverse.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>

#include "action_fixtures.hpp"

namespace vornix {
namespace {

using namespace testing_actions;
using A = NetAction;
using Kind = UndoError::Kind;

struct Done {
  NetAction action;
  EventList events;
};

Done perform(NetSim& sim, NetAction action) {
  const NetActionResponse r = sim.do_action(action);
  return Done{std::move(action), expect_ok(r).events};
}

void expect_undo_error(NetSim& sim, const Done& done, Kind kind, const std::string& message) {
  const Status<UndoError> s = sim.undo_action(done.action, done.events);
  ASSERT_FALSE(s.has_value());
  EXPECT_EQ(s.error().kind, kind);
  EXPECT_EQ(s.error().message, message);
}

// Every action, undone right after it was done, brings the state back; a
// second undo of the same events is refused.
TEST(Undo, EachActionUndoneRightAwayRestoresTheState) {
  struct Case {
    const char* name;
    std::function<NetAction(NetSim&)> prepare;
    std::optional<Kind> second_kind;  // none: a second undo happens to fit
  };
  const std::vector<Case> cases{
      {"create packet outside", [](NetSim&) { return NetAction{A::CreatePacket{}}; },
       Kind::NotFound},
      {"create packet inside",
       [](NetSim& s) { return NetAction{A::CreatePacket{running_epoch(s, "A")}}; }, Kind::NotFound},
      {"consume",
       [](NetSim& s) {
         return NetAction{A::ConsumePacket{place_packet(s, PacketLocation::edge(a_to_b()))}};
       },
       Kind::StateMismatch},
      {"destroy inside",
       [](NetSim& s) { return NetAction{A::DestroyPacket{new_packet(s, running_epoch(s, "A"))}}; },
       Kind::StateMismatch},
      {"create epoch",
       [](NetSim& s) {
         const PacketLocation port = PacketLocation::input_port("B", "in");
         place_packet(s, port);
         const Ulid p1 = place_packet(s, port);
         place_packet(s, port);
         const Ulid p3 = place_packet(s, port);
         return NetAction{A::CreateEpoch{"B", Salvo{"pair", {{"in", p3}, {"in", p1}}}}};
       },
       Kind::StateMismatch},
      {"start", [](NetSim& s) { return NetAction{A::StartEpoch{new_epoch(s, "A")}}; },
       Kind::StateMismatch},
      {"finish",
       [](NetSim& s) {
         const Ulid e = running_epoch(s, "A");
         const Ulid p = new_packet(s, e);
         expect_ok(act(s, A::LoadPacketIntoOutputPort{p, "drop"}));
         expect_ok(act(s, A::SendOutputSalvo{e, "dump"}));
         return NetAction{A::FinishEpoch{e}};
       },
       Kind::StateMismatch},
      {"cancel running",
       [](NetSim& s) {
         const Ulid e = running_epoch(s, "A");
         new_packet(s, e);
         const Ulid loaded = new_packet(s, e);
         new_packet(s, e);
         expect_ok(act(s, A::LoadPacketIntoOutputPort{loaded, "out"}));
         return NetAction{A::CancelEpoch{e}};
       },
       Kind::StateMismatch},
      {"cancel startable",
       [](NetSim& s) {
         const Ulid e = new_epoch(s, "A");
         place_packet(s, PacketLocation::node(e));
         place_packet(s, PacketLocation::output_port(e, "drop"));
         return NetAction{A::CancelEpoch{e}};
       },
       Kind::StateMismatch},
      {"load",
       [](NetSim& s) {
         const Ulid e = running_epoch(s, "A");
         new_packet(s, e);
         const Ulid p = new_packet(s, e);
         new_packet(s, e);
         return NetAction{A::LoadPacketIntoOutputPort{p, "drop"}};
       },
       Kind::StateMismatch},
      {"send connected",
       [](NetSim& s) {
         const Ulid e = running_epoch(s, "S");
         place_packet(s, PacketLocation::edge(s_to_a()));
         for (int i = 0; i < 3; ++i) {
           expect_ok(act(s, A::LoadPacketIntoOutputPort{new_packet(s, e), "out"}));
         }
         return NetAction{A::SendOutputSalvo{e, "emit"}};
       },
       Kind::StateMismatch},
      {"send orphaning",
       [](NetSim& s) {
         const Ulid e = new_epoch(s, "A");
         for (int i = 0; i < 3; ++i) place_packet(s, PacketLocation::output_port(e, "drop"));
         return NetAction{A::SendOutputSalvo{e, "dump"}};
       },
       Kind::StateMismatch},
      {"transport from the middle",
       [](NetSim& s) {
         const PacketLocation port = PacketLocation::input_port("B", "in");
         place_packet(s, port);
         const Ulid p = place_packet(s, port);
         place_packet(s, port);
         return NetAction{A::TransportPacketToLocation{p, PacketLocation::edge(a_to_b())}};
       },
       Kind::StateMismatch},
      {"transport to its own location",
       [](NetSim& s) {
         const Ulid p = new_packet(s);
         new_packet(s);
         return NetAction{A::TransportPacketToLocation{p, PacketLocation::outside_net()}};
       },
       std::nullopt},
      {"run step",
       [](NetSim& s) {
         place_packet(s, PacketLocation::edge(s_to_a()));
         place_packet(s, PacketLocation::input_port("A", "in"));
         place_packet(s, PacketLocation::input_port("B", "in"));
         return NetAction{A::RunStep{}};
       },
       Kind::NotFound},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NetSim sim(pipeline());
    const NetAction action = c.prepare(sim);
    const Snapshot before = snapshot(sim);
    const Done done = perform(sim, action);
    ASSERT_TRUE(sim.undo_action(done.action, done.events).has_value());
    sim.check_invariants();
    expect_same(snapshot(sim).relaxed(), before.relaxed());
    const Status<UndoError> again = sim.undo_action(done.action, done.events);
    sim.check_invariants();
    if (!c.second_kind) continue;
    ASSERT_FALSE(again.has_value());
    EXPECT_EQ(again.error().kind, *c.second_kind) << again.error().to_string();
  }
}

TEST(Undo, PositionsComeBackExactlyForMovesAndAtTheEndForRecreations) {
  NetSim sim(pipeline());
  const PacketLocation port = PacketLocation::input_port("B", "in");
  const Ulid p0 = place_packet(sim, port);
  const Ulid p1 = place_packet(sim, port);
  const Ulid p2 = place_packet(sim, port);
  const Done moved =
      perform(sim, NetAction{A::CreateEpoch{"B", Salvo{"x", {{"in", p2}, {"in", p0}}}}});
  ASSERT_TRUE(sim.undo_action(moved.action, moved.events).has_value());
  EXPECT_EQ(at(sim, port), (std::vector<Ulid>{p0, p1, p2}));

  const Done consumed = perform(sim, NetAction{A::ConsumePacket{p0}});
  ASSERT_TRUE(sim.undo_action(consumed.action, consumed.events).has_value());
  EXPECT_EQ(at(sim, port), (std::vector<Ulid>{p1, p2, p0}));
  expect_undo_error(sim, consumed, Kind::StateMismatch,
                    "packet " + p0.to_string() + " already exists");
}

TEST(Undo, CreatePacketTwiceIsNotFound) {
  NetSim sim(pipeline());
  const Done done = perform(sim, NetAction{A::CreatePacket{}});
  const Ulid p = event_as<NetEvent::PacketCreated>(done.events[0]).packet_id;
  ASSERT_TRUE(sim.undo_action(done.action, done.events).has_value());
  EXPECT_TRUE(sim.packets().empty());
  expect_undo_error(sim, done, Kind::NotFound, "packet " + p.to_string() + " not found");
}

TEST(Undo, StartNeedsARunningEpoch) {
  NetSim sim(pipeline());
  const Ulid e = new_epoch(sim, "A");
  const Done started = perform(sim, NetAction{A::StartEpoch{e}});
  ASSERT_TRUE(sim.undo_action(started.action, started.events).has_value());
  EXPECT_EQ(sim.get_startable_epochs(), std::vector<Ulid>{e});
  EXPECT_EQ(sim.get_epoch(e)->state, EpochState::Startable);
  expect_undo_error(sim, started, Kind::StateMismatch,
                    "epoch " + e.to_string() + " is not in Running state, cannot undo start");
  expect_ok(act(sim, A::CancelEpoch{e}));
  expect_undo_error(sim, started, Kind::NotFound, "epoch " + e.to_string() + " not found");
}

TEST(Undo, FinishRestoresARunningEpochThatCanFinishAgain) {
  NetSim sim(pipeline());
  const Ulid e = running_epoch(sim, "B");
  place_packet(sim, PacketLocation::input_port("B", "in"));
  step_ok(sim);  // B cannot fire: it spends its request token
  const Ulid p = new_packet(sim, e);
  expect_ok(act(sim, A::ConsumePacket{p}));
  const Done finished = perform(sim, NetAction{A::FinishEpoch{e}});
  const Epoch recorded = event_as<NetEvent::EpochFinished>(finished.events[0]).epoch;
  ASSERT_TRUE(sim.request_tokens().at("B"));

  ASSERT_TRUE(sim.undo_action(finished.action, finished.events).has_value());
  EXPECT_EQ(*sim.get_epoch(e), recorded);
  EXPECT_TRUE(sim.has_location_entry(PacketLocation::node(e)));
  EXPECT_FALSE(sim.request_tokens().at("B")) << "undo leaves the token spent";
  sim.check_invariants();
  expect_undo_error(sim, finished, Kind::StateMismatch,
                    "epoch " + e.to_string() + " already exists");
  expect_ok(act(sim, A::FinishEpoch{e}));
}

TEST(Undo, OutputSalvoIsPoppedOnlyForASend) {
  NetSim sim(pipeline());
  const Ulid e = running_epoch(sim, "S");
  const Ulid p0 = new_packet(sim, e);
  const Ulid p1 = new_packet(sim, e);
  for (const Ulid& p : {p0, p1}) expect_ok(act(sim, A::LoadPacketIntoOutputPort{p, "out"}));
  const Done sent = perform(sim, NetAction{A::SendOutputSalvo{e, "emit"}});

  ASSERT_TRUE(sim.undo_action(NetAction{A::RunStep{}}, sent.events).has_value());
  EXPECT_EQ(at(sim, PacketLocation::output_port(e, "out")), (std::vector<Ulid>{p0, p1}));
  EXPECT_EQ(sim.get_epoch(e)->out_salvos.size(), 1u) << "another action leaves the salvo";

  const Done pop{sent.action, {sent.events.back()}};
  ASSERT_TRUE(sim.undo_action(pop.action, pop.events).has_value());
  EXPECT_TRUE(sim.get_epoch(e)->out_salvos.empty());
  expect_undo_error(sim, pop, Kind::StateMismatch,
                    "epoch " + e.to_string() + " has no out_salvos to pop");
}

TEST(Undo, TwoOrphansReturnReversedBehindThePacketsThatStayed) {
  NetSim sim(pipeline());
  const Ulid e = new_epoch(sim, "A");
  const PacketLocation drop = PacketLocation::output_port(e, "drop");
  const Ulid p0 = place_packet(sim, drop);
  const Ulid p1 = place_packet(sim, drop);
  const Ulid p2 = place_packet(sim, drop);
  const Done sent = perform(sim, NetAction{A::SendOutputSalvo{e, "two"}});
  ASSERT_EQ(kinds(sent.events), (std::vector<std::string_view>{"PacketOrphaned", "PacketOrphaned",
                                                               "OutputSalvoTriggered"}));
  ASSERT_EQ(sim.get_epoch(e)->orphaned_packets.size(), 2u);

  ASSERT_TRUE(sim.undo_action(sent.action, sent.events).has_value());
  EXPECT_EQ(at(sim, drop), (std::vector<Ulid>{p2, p1, p0}));
  EXPECT_TRUE(sim.get_epoch(e)->orphaned_packets.empty());
  EXPECT_TRUE(sim.get_epoch(e)->out_salvos.empty());
  sim.check_invariants();

  expect_undo_error(sim, Done{NetAction{A::RunStep{}}, sent.events}, Kind::StateMismatch,
                    "packet " + p1.to_string() + " is not at OutsideNet, found at " + drop.debug());
  expect_ok(act(sim, A::DestroyPacket{p1}));
  expect_undo_error(sim, Done{NetAction{A::RunStep{}}, sent.events}, Kind::NotFound,
                    "packet " + p1.to_string() + " not found");
}

TEST(Undo, MoveAfterThePacketMovedOnNamesBothLocations) {
  NetSim sim(pipeline());
  const Ulid p = new_packet(sim);
  const Done to_edge =
      perform(sim, NetAction{A::TransportPacketToLocation{p, PacketLocation::edge(a_to_b())}});
  expect_ok(act(sim, A::TransportPacketToLocation{p, PacketLocation::input_port("B", "in")}));
  expect_undo_error(sim, to_edge, Kind::StateMismatch,
                    "packet " + p.to_string() + " is not at expected location " +
                        PacketLocation::edge(a_to_b()).debug() + ", found at " +
                        PacketLocation::input_port("B", "in").debug());
  expect_ok(act(sim, A::DestroyPacket{p}));
  expect_undo_error(sim, to_edge, Kind::NotFound, "packet " + p.to_string() + " not found");
}

TEST(Undo, RequestsByTheirSource) {
  NetSim sim(pipeline(/*startup_request=*/true));
  expect_ok(act(sim, A::CreateRequest{"B", "l"}));
  expect_ok(act(sim, A::CreateRequest{"A", "m"}));
  const Done newest = perform(sim, NetAction{A::CreateRequest{"B", "l"}});
  ASSERT_TRUE(sim.undo_action(newest.action, newest.events).has_value());
  EXPECT_EQ(sim.pending_requests(), (std::vector<PendingRequest>{{"B", "l"}, {"A", "m"}}));

  // One step issues B's startup and no-salvo requests and resolves all four.
  place_packet(sim, PacketLocation::input_port("B", "in"));
  const Done step = perform(sim, NetAction{A::RunStep{}});
  ASSERT_TRUE(sim.startup_requests_emitted());
  ASSERT_FALSE(sim.request_tokens().at("B"));
  ASSERT_TRUE(sim.pending_requests().empty());
  ASSERT_TRUE(sim.undo_action(step.action, step.events).has_value());
  EXPECT_FALSE(sim.startup_requests_emitted());
  EXPECT_TRUE(sim.request_tokens().at("B"));
  EXPECT_TRUE(sim.pending_requests().empty()) << "resolved requests stay consumed";
  EXPECT_TRUE(sim.epochs().empty());
  sim.check_invariants();
  // Undoing an external request that is no longer queued does nothing.
  ASSERT_TRUE(sim.undo_action(newest.action, newest.events).has_value());
}

TEST(Undo, IsNotTransactional) {
  NetSim sim(pipeline());
  const Ulid kept = new_packet(sim);
  const Done a = perform(sim, NetAction{A::CreatePacket{}});
  const Done b = perform(sim, NetAction{A::CreatePacket{}});
  ASSERT_TRUE(sim.undo_action(a.action, a.events).has_value());
  // a's packet is gone: undoing [a, b] removes b's packet, then fails on a's.
  EventList both = a.events;
  both.insert(both.end(), b.events.begin(), b.events.end());
  const Ulid a_id = event_as<NetEvent::PacketCreated>(a.events[0]).packet_id;
  expect_undo_error(sim, Done{a.action, both}, Kind::NotFound,
                    "packet " + a_id.to_string() + " not found");
  EXPECT_EQ(sim.packets().size(), 1u);
  EXPECT_TRUE(sim.get_packet(kept).has_value());
  ASSERT_TRUE(sim.undo_action(a.action, {}).has_value());
  sim.check_invariants();
}

// ---- Events that do not fit the state are refused before they change it ----

TEST(UndoGuards, APacketNeverReturnsIntoADeadEpoch) {
  NetSim sim(pipeline());
  const Ulid e = running_epoch(sim, "A");
  const Ulid inside = new_packet(sim, e);
  const Ulid loaded = new_packet(sim, e);
  const Done load = perform(sim, NetAction{A::LoadPacketIntoOutputPort{loaded, "drop"}});
  const Done consume = perform(sim, NetAction{A::ConsumePacket{inside}});
  const Done orphan = perform(sim, NetAction{A::SendOutputSalvo{e, "dump"}});
  expect_ok(act(sim, A::FinishEpoch{e}));
  const Ulid p_out = new_packet(sim);
  const Done destroy_elsewhere = perform(sim, NetAction{A::DestroyPacket{p_out}});
  const Snapshot before = snapshot(sim);

  const std::string gone = "epoch " + e.to_string() + " not found";
  // Reversing the orphaning (its salvo pop aside) would put `loaded` back
  // into the finished epoch's output port.
  expect_undo_error(sim, Done{NetAction{A::RunStep{}}, orphan.events}, Kind::NotFound, gone);
  expect_undo_error(sim, consume, Kind::NotFound, gone);
  NetEvent::PacketDestroyed into_dead{0, p_out, PacketLocation::output_port(e, "out")};
  expect_undo_error(sim, Done{NetAction{A::RunStep{}}, {NetEvent{into_dead}}}, Kind::NotFound,
                    gone);
  expect_same(snapshot(sim), before);

  // A move back into the dead epoch: bring `loaded` to where the load left
  // it, by hand, and undo the load.
  expect_ok(act(sim, A::TransportPacketToLocation{loaded, PacketLocation::outside_net()}));
  NetEvent::PacketMoved back = event_as<NetEvent::PacketMoved>(load.events[0]);
  back.to_location = PacketLocation::outside_net();
  const Snapshot moved_before = snapshot(sim);
  expect_undo_error(sim, Done{NetAction{A::RunStep{}}, {NetEvent{back}}}, Kind::NotFound, gone);
  expect_same(snapshot(sim), moved_before);
  sim.check_invariants();
  ASSERT_TRUE(sim.undo_action(destroy_elsewhere.action, destroy_elsewhere.events).has_value());
}

TEST(UndoGuards, AMoveBackBeyondTheEndOfItsQueueIsRefused) {
  NetSim sim(pipeline());
  const PacketLocation port = PacketLocation::input_port("B", "in");
  place_packet(sim, port);
  const Ulid p = place_packet(sim, port);
  const Done moved =
      perform(sim, NetAction{A::TransportPacketToLocation{p, PacketLocation::outside_net()}});
  ASSERT_EQ(event_as<NetEvent::PacketMoved>(moved.events[0]).from_index, 1u);
  // The packet ahead of it has gone since: index 1 of an empty queue is out
  // of reach, and nothing is written past its end.
  expect_ok(act(sim, A::DestroyPacket{at(sim, port).front()}));
  const Snapshot before = snapshot(sim);
  expect_undo_error(sim, moved, Kind::StateMismatch,
                    "packet " + p.to_string() + " cannot return to index 1 of " + port.debug() +
                        ", which holds 0 packets");
  expect_same(snapshot(sim), before);

  // Back to its own location: the queue it returns to excludes the packet.
  const Ulid q = new_packet(sim);
  NetEvent::PacketMoved self{0, q, PacketLocation::outside_net(), PacketLocation::outside_net(), 2};
  expect_undo_error(
      sim, Done{NetAction{A::RunStep{}}, {NetEvent{self}}}, Kind::StateMismatch,
      "packet " + q.to_string() + " cannot return to index 2 of OutsideNet, which holds 1 packets");
  self.from_index = 1;
  ASSERT_TRUE(sim.undo_action(NetAction{A::RunStep{}}, {NetEvent{self}}).has_value());
  EXPECT_EQ(at(sim, PacketLocation::outside_net()).back(), q);
  sim.check_invariants();
}

TEST(UndoGuards, AnEpochStillHoldingPacketsIsNotRemoved) {
  NetSim sim(pipeline());
  const Done created = perform(sim, NetAction{A::CreateEpoch{"A", Salvo{"x", {}}}});
  const Ulid e = event_as<NetEvent::EpochCreated>(created.events[0]).epoch_id;
  place_packet(sim, PacketLocation::output_port(e, "drop"));
  const Snapshot before = snapshot(sim);
  expect_undo_error(sim, created, Kind::StateMismatch,
                    "epoch " + e.to_string() + " still holds 1 packets");
  expect_same(snapshot(sim), before);
  sim.check_invariants();
}

// ---- Random action sequences, undone in reverse ----

class RandomActions {
 public:
  RandomActions(NetSim& sim, unsigned seed) : sim_(sim), rng_(seed) {}

  NetAction next() {
    // Weighted so that packets get into epochs and out again often enough.
    static const std::vector<double> kWeights{2, 3, 1, 1, 2, 2, 1, 2, 4, 4, 3, 1};
    switch (std::discrete_distribution<std::size_t>(kWeights.begin(), kWeights.end())(rng_)) {
      case 0: return NetAction{A::RunStep{}};
      case 1: return NetAction{A::CreatePacket{maybe(any_epoch())}};
      case 2: return NetAction{A::ConsumePacket{any_packet()}};
      case 3: return NetAction{A::DestroyPacket{any_packet()}};
      case 4: return NetAction{A::StartEpoch{any_epoch()}};
      case 5: return NetAction{A::FinishEpoch{any_epoch()}};
      case 6: return NetAction{A::CancelEpoch{any_epoch()}};
      case 7: return create_epoch();
      case 8:
        return NetAction{A::LoadPacketIntoOutputPort{packet_inside(), pick(2) ? "out" : "drop"}};
      case 9: {
        static const char* const kConditions[] = {"emit", "send", "dump", "first", "two", "none"};
        return NetAction{A::SendOutputSalvo{any_epoch(), kConditions[pick(6)]}};
      }
      case 10: return NetAction{A::TransportPacketToLocation{any_packet(), any_location()}};
      default: return NetAction{A::CreateRequest{pick(2) ? "B" : "A", pick(2) ? "l" : "m"}};
    }
  }

 private:
  std::size_t pick(std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_);
  }
  template <class T>
  std::optional<T> maybe(T v) {
    return pick(3) == 0 ? std::nullopt : std::optional<T>(v);
  }

  Ulid any_packet() {
    const std::vector<Packet> packets = sim_.packets();
    if (packets.empty() || pick(10) == 0) return Ulid::generate();
    return packets[pick(packets.size())].id;
  }
  Ulid any_epoch() {
    const std::vector<Ulid> ids = epoch_ids();
    if (ids.empty() || pick(10) == 0) return Ulid::generate();
    return ids[pick(ids.size())];
  }
  // A packet inside some epoch, when there is one.
  Ulid packet_inside() {
    const std::vector<Ulid> ids = epoch_ids();
    if (ids.empty()) return any_packet();
    const std::vector<Ulid> inside =
        sim_.get_packets_at_location(PacketLocation::node(ids[pick(ids.size())]));
    return inside.empty() ? any_packet() : inside[pick(inside.size())];
  }
  // Sorted, so that a seed replays the same sequence.
  std::vector<Ulid> epoch_ids() const {
    std::vector<Ulid> ids;
    for (const auto& [id, epoch] : sim_.epochs()) ids.push_back(id);
    std::sort(ids.begin(), ids.end());
    return ids;
  }
  PacketLocation any_location() {
    std::vector<PacketLocation> all = known_locations(sim_);
    all.push_back(PacketLocation::input_port("C", "nope"));
    return all[pick(all.size())];
  }
  // Mostly well-formed salvos from the packets waiting at the node's port.
  NetAction create_epoch() {
    static const char* const kNodes[] = {"S", "A", "B", "C"};
    std::string node_name = kNodes[pick(4)];
    Salvo salvo{"manual", {}};
    const std::vector<Ulid> waiting =
        sim_.get_packets_at_location(PacketLocation::input_port(node_name, "in"));
    for (const Ulid& id : waiting) {
      if (pick(2)) salvo.packets.emplace_back("in", id);
    }
    if (!salvo.packets.empty() && pick(8) == 0) salvo.packets.push_back(salvo.packets.front());
    if (pick(8) == 0) salvo.packets.emplace_back("in", any_packet());
    return NetAction{A::CreateEpoch{std::move(node_name), std::move(salvo)}};
  }

  NetSim& sim_;
  std::mt19937 rng_;
};

TEST(UndoProperty, RandomSequencesUndoneInReverseComeBack) {
  // Successful actions with events, per action kind, over all seeds: every
  // kind must have been exercised for the test to mean anything.
  std::vector<std::size_t> exercised(std::variant_size_v<decltype(NetAction::value)>, 0);
  for (const unsigned seed : {1u, 2u, 3u, 7u, 42u, 1234u, 99991u, 31337u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    NetSim sim(pipeline(/*startup_request=*/seed % 2 == 0));
    RandomActions random(sim, seed);
    std::vector<std::pair<Done, Snapshot>> history;
    std::size_t refused = 0;
    for (int i = 0; i < 250; ++i) {
      const NetAction action = random.next();
      // is_blocked takes idle work off the lists; the invariants must hold
      // whether or not it ran before an action.
      if (i % 3 == 0) {
        (void)sim.is_blocked();
        sim.check_invariants();
      }
      const Snapshot before = snapshot(sim);
      const NetActionResponse r = sim.do_action(action);
      sim.check_invariants();
      if (!r.ok()) {
        ++refused;
        // A failed run step keeps what it did, and reports it so it can be
        // undone; every other refusal is clean.
        if (std::holds_alternative<A::RunStep>(action.value)) {
          history.push_back({Done{action, r.failure().events}, before});
        } else {
          EXPECT_TRUE(r.failure().events.empty());
          expect_same(snapshot(sim), before);
        }
        continue;
      }
      if (!r.success().events.empty()) ++exercised[action.value.index()];
      history.push_back({Done{action, r.success().events}, before});
    }
    EXPECT_GT(history.size(), 60u);
    EXPECT_GT(refused, 10u);
    for (auto it = history.rbegin(); it != history.rend(); ++it) {
      const Status<UndoError> s = sim.undo_action(it->first.action, it->first.events);
      ASSERT_TRUE(s.has_value()) << s.error().to_string();
      sim.check_invariants();
      expect_same(snapshot(sim).relaxed(), it->second.relaxed());
    }
  }
  for (std::size_t kind = 0; kind < exercised.size(); ++kind) {
    EXPECT_GE(exercised[kind], 8u) << "action kind " << kind;
  }
}

}  // namespace
}  // namespace vornix
