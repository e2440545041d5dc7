// Loading output ports, sending output salvos, transporting packets by hand
// and queueing requests.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "action_fixtures.hpp"
#include "graph/salvo.hpp"

namespace vornix {
namespace {

using namespace testing_actions;
using A = NetAction;

TEST(LoadPacket, ChecksInOrder) {
  NetSim sim(pipeline());
  const Ulid e = running_epoch(sim, "A");
  const Ulid outside = new_packet(sim);
  const Ulid inside = new_packet(sim, e);
  const Ulid ghost = Ulid::generate();
  const std::string tail = " for epoch " + e.to_string();

  expect_refused(sim, NetAction{A::LoadPacketIntoOutputPort{ghost, "out"}},
                 "packet not found: " + ghost.to_string());
  // Where the packet is decides before the port name is looked at.
  expect_refused(sim, NetAction{A::LoadPacketIntoOutputPort{outside, "nope"}},
                 "packet " + outside.to_string() + " is not inside any epoch");
  expect_refused(sim, NetAction{A::LoadPacketIntoOutputPort{inside, "nope"}},
                 "output port 'nope' not found on node" + tail);
  const Ulid first = new_packet(sim, e);
  expect_ok(act(sim, A::LoadPacketIntoOutputPort{first, "out"}));
  expect_refused(sim, NetAction{A::LoadPacketIntoOutputPort{inside, "out"}},
                 "output port 'out' is full" + tail);
}

TEST(LoadPacket, MovesFromAnyPositionInsideAnyLiveEpoch) {
  NetSim sim(pipeline());
  const Ulid e = running_epoch(sim, "A");
  const Ulid p0 = new_packet(sim, e);
  const Ulid p1 = new_packet(sim, e);
  const Ulid p2 = new_packet(sim, e);
  for (const Ulid& p : {p1, p2, p0}) {
    const std::uint64_t index = p == p0 ? 0 : 1;
    const NetActionResponse r = act(sim, A::LoadPacketIntoOutputPort{p, "drop"});
    const auto& ok = expect_ok(r);
    ASSERT_EQ(ok.events.size(), 1u);
    const auto& moved = event_as<NetEvent::PacketMoved>(ok.events[0]);
    EXPECT_EQ(moved.from_location, PacketLocation::node(e));
    EXPECT_EQ(moved.to_location, PacketLocation::output_port(e, "drop"));
    EXPECT_EQ(moved.from_index, index);
  }
  EXPECT_EQ(at(sim, PacketLocation::output_port(e, "drop")), (std::vector<Ulid>{p1, p2, p0}));

  // A startable epoch's packets can be loaded too: there is no state check.
  const Ulid startable = new_epoch(sim, "A");
  const Ulid q = place_packet(sim, PacketLocation::node(startable));
  expect_ok(act(sim, A::LoadPacketIntoOutputPort{q, "out"}));
  sim.check_invariants();
}

TEST(SendOutputSalvo, ChecksInOrder) {
  NetSim sim(pipeline());
  const Ulid ghost = Ulid::generate();
  expect_refused(sim, NetAction{A::SendOutputSalvo{ghost, "send"}},
                 "epoch not found: " + ghost.to_string());
  const Ulid e = running_epoch(sim, "A");
  const std::string tail = " for epoch " + e.to_string();
  expect_refused(sim, NetAction{A::SendOutputSalvo{e, "nope"}},
                 "output salvo condition 'nope' not found on node" + tail);
  expect_refused(sim, NetAction{A::SendOutputSalvo{e, "send"}},
                 "salvo condition 'send' not met" + tail);

  // "dump" may fire once; a send that moved nothing still counts.
  const NetActionResponse r = act(sim, A::SendOutputSalvo{e, "dump"});
  EXPECT_EQ(kinds(expect_ok(r).events), std::vector<std::string_view>{"OutputSalvoTriggered"});
  ASSERT_EQ(sim.get_epoch(e)->out_salvos.size(), 1u);
  EXPECT_TRUE(sim.get_epoch(e)->out_salvos[0].packets.empty());
  expect_refused(sim, NetAction{A::SendOutputSalvo{e, "dump"}},
                 "max output salvos reached for condition 'dump' on epoch " + e.to_string());
}

TEST(SendOutputSalvo, ConnectedPortMovesEveryPacketOntoTheEdgeInOrder) {
  NetSim sim(pipeline());
  const Ulid e = running_epoch(sim, "S");
  const PacketLocation port = PacketLocation::output_port(e, "out");
  const PacketLocation edge_loc = PacketLocation::edge(s_to_a());
  const Ulid already = place_packet(sim, edge_loc);
  std::vector<Ulid> sent;
  for (int i = 0; i < 3; ++i) {
    sent.push_back(new_packet(sim, e));
    expect_ok(act(sim, A::LoadPacketIntoOutputPort{sent.back(), "out"}));
  }
  const NetActionResponse r = act(sim, A::SendOutputSalvo{e, "emit"});
  const auto& ok = expect_ok(r);
  ASSERT_EQ(kinds(ok.events),
            (std::vector<std::string_view>{"PacketMoved", "PacketMoved", "PacketMoved",
                                           "OutputSalvoTriggered"}));
  for (std::size_t i = 0; i < 3; ++i) {
    const auto& moved = event_as<NetEvent::PacketMoved>(ok.events[i]);
    EXPECT_EQ(moved.packet_id, sent[i]);
    EXPECT_EQ(moved.from_location, port);
    EXPECT_EQ(moved.to_location, edge_loc);
    EXPECT_EQ(moved.from_index, 0u);
  }
  const auto& triggered = event_as<NetEvent::OutputSalvoTriggered>(ok.events[3]);
  EXPECT_EQ(triggered.epoch_id, e);
  EXPECT_EQ(triggered.salvo_condition, "emit");
  EXPECT_EQ(at(sim, edge_loc), (std::vector<Ulid>{already, sent[0], sent[1], sent[2]}));
  const Epoch& epoch = *sim.get_epoch(e);
  ASSERT_EQ(epoch.out_salvos.size(), 1u);
  EXPECT_EQ(epoch.out_salvos[0],
            (Salvo{"emit", {{"out", sent[0]}, {"out", sent[1]}, {"out", sent[2]}}}));
  EXPECT_TRUE(epoch.orphaned_packets.empty());
  sim.check_invariants();
}

TEST(SendOutputSalvo, UnconnectedPortOrphansTheFrontPackets) {
  NetSim sim(pipeline());
  // Transport ignores output capacity and a send has no state check, so a
  // startable epoch can hold several packets in one port.
  const Ulid e = new_epoch(sim, "A");
  const PacketLocation drop = PacketLocation::output_port(e, "drop");
  const Ulid p0 = place_packet(sim, drop);
  const Ulid p1 = place_packet(sim, drop);
  const Ulid p2 = place_packet(sim, drop);

  const NetActionResponse r = act(sim, A::SendOutputSalvo{e, "first"});
  const auto& ok = expect_ok(r);
  ASSERT_EQ(kinds(ok.events),
            (std::vector<std::string_view>{"PacketOrphaned", "OutputSalvoTriggered"}));
  const auto& orphaned = event_as<NetEvent::PacketOrphaned>(ok.events[0]);
  EXPECT_EQ(orphaned.packet_id, p0);
  EXPECT_EQ(orphaned.epoch_id, e);
  EXPECT_EQ(orphaned.node_name, "A");
  EXPECT_EQ(orphaned.port_name, "drop");
  EXPECT_EQ(orphaned.salvo_condition, "first");
  EXPECT_EQ(sim.get_packet(p0)->location, PacketLocation::outside_net());
  EXPECT_EQ(at(sim, drop), (std::vector<Ulid>{p1, p2}));

  expect_ok(act(sim, A::SendOutputSalvo{e, "dump"}));
  const Epoch& epoch = *sim.get_epoch(e);
  EXPECT_EQ(epoch.orphaned_packets,
            (std::vector<OrphanedPacketInfo>{
                {p0, "drop", "first"}, {p1, "drop", "dump"}, {p2, "drop", "dump"}}));
  EXPECT_EQ(epoch.out_salvos.size(), 2u);
  EXPECT_EQ(at(sim, PacketLocation::outside_net()), (std::vector<Ulid>{p0, p1, p2}));
  sim.check_invariants();
}

TEST(Transport, ChecksInOrder) {
  NetSim sim(pipeline());
  const Ulid running = running_epoch(sim, "A");
  const Ulid startable = new_epoch(sim, "A");
  const Ulid inside = new_packet(sim, running);
  const Ulid loose = new_packet(sim);
  place_packet(sim, PacketLocation::input_port("C", "in"));
  const Ulid ghost = Ulid::generate();
  const Edge stray = edge(out("A", "drop"), in("C", "in"));
  const std::string r_id = running.to_string();
  const std::string l_id = loose.to_string();
  struct Case {
    const char* name;
    Ulid packet;
    PacketLocation to;
    std::string error;
  };
  const std::vector<Case> cases{
      {"unknown packet", ghost, PacketLocation::outside_net(),
       "packet not found: " + ghost.to_string()},
      {"out of a running epoch, before the destination", inside,
       PacketLocation::input_port("X", "y"),
       "cannot move packet " + inside.to_string() + " out of running epoch " + r_id},
      {"into an unknown epoch", loose, PacketLocation::node(ghost),
       "epoch not found: " + ghost.to_string()},
      {"into a running epoch", loose, PacketLocation::node(running),
       "cannot move packet " + l_id + " into running epoch " + r_id},
      {"to an unknown node", loose, PacketLocation::input_port("X", "in"), "node not found: 'X'"},
      {"to an undeclared input port", loose, PacketLocation::input_port("A", "nope"),
       "input port 'nope' not found on node 'A'"},
      {"to a full input port", loose, PacketLocation::input_port("C", "in"),
       "input port 'in' on node 'C' is full"},
      {"to an output port of an unknown epoch", loose, PacketLocation::output_port(ghost, "out"),
       "epoch not found: " + ghost.to_string()},
      {"to an output port of a running epoch", loose, PacketLocation::output_port(running, "nope"),
       "cannot move packet " + l_id + " into running epoch " + r_id},
      {"to an undeclared output port", loose, PacketLocation::output_port(startable, "nope"),
       "output port 'nope' not found on node for epoch " + startable.to_string()},
      {"onto an edge not in the graph", loose, PacketLocation::edge(stray),
       "edge not found: A.out.drop -> C.in.in"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    expect_refused(sim, NetAction{A::TransportPacketToLocation{c.packet, c.to}}, c.error);
  }
}

TEST(Transport, MovesAnywhereItIsAllowed) {
  NetSim sim(pipeline());
  const Ulid startable = new_epoch(sim, "A");
  const Ulid p = new_packet(sim);
  const Ulid q = new_packet(sim);
  struct Hop {
    const char* name;
    PacketLocation to;
  };
  // Through every kind of location; output capacity is not checked by
  // transport, and a packet may leave a startable epoch.
  const std::vector<Hop> hops{
      {"into a startable epoch", PacketLocation::node(startable)},
      {"into its output port", PacketLocation::output_port(startable, "out")},
      {"onto an edge", PacketLocation::edge(a_to_b())},
      {"to an input port", PacketLocation::input_port("C", "in")},
      {"outside", PacketLocation::outside_net()},
  };
  PacketLocation from = PacketLocation::outside_net();
  for (const Hop& hop : hops) {
    SCOPED_TRACE(hop.name);
    const std::uint64_t index = sim.get_packets_at_location(from).front() == p ? 0 : 1;
    const NetActionResponse r = act(sim, A::TransportPacketToLocation{p, hop.to});
    const auto& ok = expect_ok(r);
    ASSERT_EQ(ok.events.size(), 1u);
    const auto& moved = event_as<NetEvent::PacketMoved>(ok.events[0]);
    EXPECT_EQ(moved.from_location, from);
    EXPECT_EQ(moved.to_location, hop.to);
    EXPECT_EQ(moved.from_index, index);
    EXPECT_EQ(sim.get_packet(p)->location, hop.to);
    sim.check_invariants();
    from = hop.to;
  }
  EXPECT_EQ(at(sim, PacketLocation::outside_net()), (std::vector<Ulid>{q, p}));

  // Two more in a one-slot output port of a startable epoch.
  expect_ok(
      act(sim, A::TransportPacketToLocation{q, PacketLocation::output_port(startable, "out")}));
  expect_ok(
      act(sim, A::TransportPacketToLocation{p, PacketLocation::output_port(startable, "out")}));
  EXPECT_EQ(sim.packet_count_at(PacketLocation::output_port(startable, "out")), 2u);
}

TEST(Transport, ToItsOwnLocationGoesToTheBack) {
  NetSim sim(pipeline());
  const Ulid p = new_packet(sim);
  const Ulid q = new_packet(sim);
  const NetActionResponse r =
      act(sim, A::TransportPacketToLocation{p, PacketLocation::outside_net()});
  const auto& moved = event_as<NetEvent::PacketMoved>(expect_ok(r).events.at(0));
  EXPECT_EQ(moved.from_location, moved.to_location);
  EXPECT_EQ(moved.from_index, 0u);
  EXPECT_EQ(at(sim, PacketLocation::outside_net()), (std::vector<Ulid>{q, p}));
  sim.check_invariants();
}

TEST(CreateRequest, QueuesAtTheEnd) {
  NetSim sim(pipeline());
  expect_refused(sim, NetAction{A::CreateRequest{"X", "l"}},
                 "request targets non-existent node 'X'");
  expect_ok(act(sim, A::CreateRequest{"A", "first"}));
  const NetActionResponse r = act(sim, A::CreateRequest{"B", "second"});
  const auto& ok = expect_ok(r);
  EXPECT_TRUE(std::holds_alternative<Data::Empty>(ok.data.value));
  ASSERT_EQ(ok.events.size(), 1u);
  const auto& created = event_as<NetEvent::RequestCreated>(ok.events[0]);
  EXPECT_EQ(created.node_name, "B");
  EXPECT_EQ(created.label, "second");
  EXPECT_EQ(created.source, RequestCreatedSource::External);
  EXPECT_EQ(sim.pending_requests(), (std::vector<PendingRequest>{{"A", "first"}, {"B", "second"}}));
}

// ---- Salvo conditions as the engine evaluates them ----

// A random term over ports "a" and "b", with at most `depth` levels of And,
// Or and Not above its leaves (an And or Or may be empty).
SalvoConditionTerm random_term(std::mt19937& rng, int depth) {
  auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
  const int kind = pick(depth > 0 ? 6 : 3);
  if (kind == 0) return pick(2) ? SalvoConditionTerm::true_() : SalvoConditionTerm::false_();
  if (kind <= 2) {
    const auto n = static_cast<std::uint64_t>(pick(4));
    const PortState states[] = {PortState::empty(),
                                PortState::full(),
                                PortState::non_empty(),
                                PortState::non_full(),
                                PortState::equals(n),
                                PortState::less_than(n),
                                PortState::greater_than(n),
                                PortState::equals_or_less_than(n),
                                PortState::equals_or_greater_than(n)};
    return SalvoConditionTerm::port(pick(2) ? "a" : "b", states[pick(9)]);
  }
  if (kind == 5) return SalvoConditionTerm::not_(random_term(rng, depth - 1));
  std::vector<SalvoConditionTerm> terms;
  for (int i = pick(4); i > 0; --i) terms.push_back(random_term(rng, depth - 1));
  return kind == 3 ? SalvoConditionTerm::and_(std::move(terms))
                   : SalvoConditionTerm::or_(std::move(terms));
}

TEST(SalvoConditions, HoldInTheNetExactlyWhenTheirTermsDo) {
  // Port "a" has two slots and "b" no bound, so Full and NonFull read both.
  PortMap ports;
  ports.insert_or_assign("a", Port{PortSlotSpec::finite(2)});
  ports.insert_or_assign("b", Port{});
  std::mt19937 rng(2024);
  for (int round = 0; round < 400; ++round) {
    const SalvoConditionTerm term = random_term(rng, 3);
    const std::uint64_t a = rng() % 3;
    const std::uint64_t b = rng() % 4;
    const bool expected = evaluate_salvo_condition(term, PacketCounts{{"a", a}, {"b", b}}, ports);
    SCOPED_TRACE("round " + std::to_string(round) + ", a=" + std::to_string(a) +
                 ", b=" + std::to_string(b));

    // N sends it as an output salvo condition, M fires it as an input one.
    Node n = node("N");
    n.out_ports = ports;
    n.out_salvo_conditions.insert_or_assign("c", out_condition(MaxSalvos::infinite(), term, {}));
    Node m = node("M");
    m.in_ports = ports;
    m = with_input_condition(std::move(m), "c", condition(term));
    NetSim sim(Graph({std::move(n), std::move(m)}, {}));

    const Ulid e = running_epoch(sim, "N");
    for (const auto& [port, count] : {std::pair{"a", a}, std::pair{"b", b}}) {
      for (std::uint64_t i = 0; i < count; ++i) {
        expect_ok(act(sim, A::LoadPacketIntoOutputPort{new_packet(sim, e), port}));
        expect_ok(act(sim, A::TransportPacketToLocation{new_packet(sim),
                                                        PacketLocation::input_port("M", port)}));
      }
    }
    const NetActionResponse sent = act(sim, A::SendOutputSalvo{e, "c"});
    EXPECT_EQ(sent.ok(), expected);
    if (!sent.ok()) {
      EXPECT_TRUE(
          std::holds_alternative<NetActionError::SalvoConditionNotMet>(sent.failure().error.value));
    }
    // A step tries a node's input conditions only while a packet waits there.
    if (a + b == 0) continue;
    const NetActionResponse step = act(sim, A::RunStep{});
    const EventList& events = expect_ok(step).events;
    EXPECT_EQ(std::any_of(events.begin(), events.end(),
                          [](const NetEvent& ev) {
                            return std::holds_alternative<NetEvent::EpochCreated>(ev.value);
                          }),
              expected);
  }
}

}  // namespace
}  // namespace vornix
