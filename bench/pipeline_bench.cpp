// Packet hops per second through a 100-stage chain pipeline, driven in C++.
//
// Stage i has an input port "in", an output port "out", an input salvo
// condition that takes one waiting packet and an output salvo condition that
// sends everything loaded. Packets enter at stage 0's input port; each round
// runs one step (edges deliver, every stage with a waiting packet fires) and
// then plays the host for every epoch the step created: start it, load its
// packet into "out", send the output salvo (onto the next edge, or out of the
// network after the last stage) and finish it. Packets that left the network
// are consumed. A hop is one change of a packet's location (PacketMoved or
// PacketOrphaned); a packet crossing one stage makes four.
//
//   vornix_pipeline_bench [rounds]

#include "bench_support.hpp"

namespace {

using namespace bench;
using A = NetAction;

Graph pipeline(std::size_t stages) {
  std::vector<Node> nodes;
  for (std::size_t i = 0; i < stages; ++i) {
    Node n = plain_node(name_of("S", i), true, true);
    n.in_salvo_conditions.insert_or_assign(
        "take", SalvoCondition{MaxSalvos::finite(1),
                               {{"in", PacketCount::count(1)}},
                               SalvoConditionTerm::port("in", PortState::non_empty())});
    n.out_salvo_conditions.insert_or_assign(
        "send", SalvoCondition{MaxSalvos::infinite(),
                               {{"out", PacketCount::all()}},
                               SalvoConditionTerm::port("out", PortState::non_empty())});
    nodes.push_back(std::move(n));
  }
  std::vector<Edge> edges;
  for (std::size_t i = 0; i + 1 < stages; ++i) {
    edges.push_back(Edge{out_ref(name_of("S", i), "out"), in_ref(name_of("S", i + 1), "in")});
  }
  return Graph(std::move(nodes), std::move(edges));
}

std::size_t hops_in(const EventList& events) {
  std::size_t n = 0;
  for (const NetEvent& e : events) {
    n += std::holds_alternative<NetEvent::PacketMoved>(e.value) ||
         std::holds_alternative<NetEvent::PacketOrphaned>(e.value);
  }
  return n;
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t rounds =
      argc > 1 ? static_cast<std::size_t>(std::strtoull(argv[1], nullptr, 10)) : 20000;
  constexpr std::size_t kStages = 100;
  NetSim sim(pipeline(kStages));
  const PacketLocation entry = PacketLocation::input_port("S0", "in");

  std::size_t hops = 0;
  std::size_t delivered = 0;
  const auto t0 = Clock::now();
  for (std::size_t round = 0; round < rounds; ++round) {
    const Ulid p = created_packet(sim.do_action(A{A::CreatePacket{}}));
    const NetActionResponse moved = sim.do_action(A{A::TransportPacketToLocation{p, entry}});
    hops += hops_in(moved.success().events);
    NetActionResponse step = sim.run_step();
    require(step.ok(), "step");
    const EventList& events = step.success().events;
    hops += hops_in(events);
    for (const NetEvent& e : events) {
      const auto* created = std::get_if<NetEvent::EpochCreated>(&e.value);
      if (created == nullptr) continue;
      const Ulid epoch = created->epoch_id;
      const NetActionResponse started = sim.do_action(A{A::StartEpoch{epoch}});
      const Epoch& running =
          std::get<NetActionResponseData::StartedEpoch>(started.success().data.value).epoch;
      const Ulid packet = running.in_salvo.packets.front().second;
      const NetActionResponse loaded = sim.do_action(A{A::LoadPacketIntoOutputPort{packet, "out"}});
      require(loaded.ok(), "load");
      hops += hops_in(loaded.success().events);
      const NetActionResponse sent = sim.do_action(A{A::SendOutputSalvo{epoch, "send"}});
      require(sent.ok(), "send");
      hops += hops_in(sent.success().events);
      for (const NetEvent& s : sent.success().events) {
        if (const auto* o = std::get_if<NetEvent::PacketOrphaned>(&s.value)) {
          require(sim.do_action(A{A::ConsumePacket{o->packet_id}}).ok(), "consume");
          ++delivered;
        }
      }
      require(sim.do_action(A{A::FinishEpoch{epoch}}).ok(), "finish");
    }
  }
  const double elapsed = seconds(Clock::now() - t0);
  std::printf("stages %zu, rounds %zu, packets through %zu, hops %zu\n", kStages, rounds, delivered,
              hops);
  std::printf("%.0f packet hops/s (%.1f ns per hop)\n", static_cast<double>(hops) / elapsed,
              elapsed * 1e9 / static_cast<double>(hops));
  return 0;
}
