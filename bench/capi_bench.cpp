// The cost of driving the engine through the C interface against calling
// NetSim directly, on a front end's host loop: per hop, create a packet,
// move it to an input port (named on every call) and consume it.
//
// Rounds alternate between the two, so a noisy machine slows both alike;
// the ratio is the figure to read.
//
//   vornix_capi_bench [hops per round]

#include "bench_support.hpp"
#include "vornix.h"

namespace {

using namespace bench;

double direct_round(NetSim& sim, std::size_t hops) {
  const auto t0 = Clock::now();
  for (std::size_t i = 0; i < hops; ++i) {
    const Ulid id = created_packet(sim.do_action({NetAction::CreatePacket{}}));
    sim.do_action(
        {NetAction::TransportPacketToLocation{id, PacketLocation::input_port("P1", "in")}});
    sim.do_action({NetAction::ConsumePacket{id}});
  }
  return seconds(Clock::now() - t0);
}

vx_str s(const char* v) { return {v, std::char_traits<char>::length(v)}; }

double capi_round(vx_sim* sim, vx_result* r, std::size_t hops) {
  const vx_view* v = vx_result_view(r);
  vx_action create{};
  create.kind = VX_ACT_CREATE_PACKET;
  vx_action move{};
  move.kind = VX_ACT_TRANSPORT_PACKET_TO_LOCATION;
  move.destination.kind = VX_LOC_INPUT_PORT;
  move.destination.node_name = s("P1");
  move.destination.port_name = s("in");
  vx_action consume{};
  consume.kind = VX_ACT_CONSUME_PACKET;
  const auto t0 = Clock::now();
  for (std::size_t i = 0; i < hops; ++i) {
    vx_sim_do(sim, &create, r);
    move.packet_id = consume.packet_id = v->id;
    vx_sim_do(sim, &move, r);
    vx_sim_do(sim, &consume, r);
  }
  return seconds(Clock::now() - t0);
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t hops =
      argc > 1 ? static_cast<std::size_t>(std::strtoull(argv[1], nullptr, 10)) : 200000;
  NetSim direct(chain(2));

  vx_result* r = vx_result_new();
  vx_builder* b = vx_builder_new();
  std::uint32_t p0 = 0, p1 = 0;
  vx_builder_add_node(b, s("P0"), &p0, r);
  vx_builder_add_node(b, s("P1"), &p1, r);
  for (std::uint32_t n : {p0, p1}) {
    vx_builder_add_port(b, n, VX_PORT_INPUT, s("in"), {1, 0}, r);
    vx_builder_add_port(b, n, VX_PORT_OUTPUT, s("out"), {1, 0}, r);
  }
  const vx_edge e{{s("P0"), VX_PORT_OUTPUT, s("out")}, {s("P1"), VX_PORT_INPUT, s("in")}};
  vx_builder_add_edge(b, &e, r);
  vx_graph* graph = nullptr;
  vx_sim* sim = nullptr;
  if (vx_builder_finish(b, &graph, r) != VX_OK || vx_sim_new(graph, &sim, r) != VX_OK) return 1;
  vx_builder_free(b);
  vx_graph_release(graph);

  const double n = static_cast<double>(hops);
  std::vector<double> ratios;
  for (int round = 0; round < 5; ++round) {
    const double d = direct_round(direct, hops);
    const double c = capi_round(sim, r, hops);
    ratios.push_back(c / d);
    std::printf("round %d: direct %.0f ns/hop, C interface %.0f ns/hop, ratio %.2f\n", round,
                d / n * 1e9, c / n * 1e9, c / d);
  }
  std::sort(ratios.begin(), ratios.end());
  std::printf("median ratio (C interface / direct): %.2f\n", ratios[ratios.size() / 2]);
  vx_sim_free(sim);
  vx_result_free(r);
  return 0;
}
