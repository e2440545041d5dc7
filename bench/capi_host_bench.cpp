// The Python text host's loop (bench/host_bench.py) driven through the C
// interface from C++: what a front end over vornix.h pays per hop before any
// of its own language's work. Under callgrind, the split between the engine
// (NetSim::) and the C interface (vx_*, vx_result::) is the figure to read.
// With glibc it also prints the heap still in use after the run, which
// should follow what the simulation holds (the packets, its pools and its
// largest result), not how many epochs it ran.
//
//   vornix_capi_host_bench [stages] [packets]
//   valgrind --tool=callgrind ./build/bench/bench/vornix_capi_host_bench

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "vornix.h"

namespace {

vx_str s(const char* v) { return {v, std::strlen(v)}; }
vx_str s(const std::string& v) { return {v.data(), v.size()}; }

// Feed -> S0 -> ... -> S(n-1), each stage one input port of capacity one,
// one output port and a condition on each side that fires on one packet;
// the last output port has no edge.
vx_sim* chain(std::size_t stages, vx_result* r) {
  vx_builder* b = vx_builder_new();
  std::vector<std::string> names{"Feed"};
  for (std::size_t i = 0; i < stages; ++i) {
    std::string name = "S";
    name += std::to_string(i);
    names.push_back(std::move(name));
  }
  for (const std::string& name : names) {
    std::uint32_t node = 0;
    vx_builder_add_node(b, s(name), &node, r);
    vx_builder_add_port(b, node, VX_PORT_OUTPUT, s("out"), {1, 0}, r);
    if (node == 0) continue;
    vx_builder_add_port(b, node, VX_PORT_INPUT, s("in"), {0, 1}, r);
    for (const auto& [side, port, condition] :
         {std::tuple{VX_PORT_INPUT, "in", "take"}, std::tuple{VX_PORT_OUTPUT, "out", "out"}}) {
      const vx_term term{VX_TERM_PORT, 0, s(port), VX_STATE_NON_EMPTY, 0};
      const vx_port_count count{s(port), 1, 0};
      vx_builder_add_salvo_condition(b, node, static_cast<std::uint32_t>(side), s(condition),
                                     {0, 1}, &count, 1, &term, 1, r);
    }
  }
  for (std::size_t i = 0; i + 1 < names.size(); ++i) {
    const vx_edge e{{s(names[i]), VX_PORT_OUTPUT, s("out")},
                    {s(names[i + 1]), VX_PORT_INPUT, s("in")}};
    vx_builder_add_edge(b, &e, r);
  }
  vx_graph* graph = nullptr;
  vx_sim* sim = nullptr;
  const bool made = vx_builder_finish(b, &graph, r) == VX_OK && vx_sim_new(graph, &sim, r) == VX_OK;
  vx_builder_free(b);
  vx_graph_release(graph);
  return made ? sim : nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t stages = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 100;
  const std::size_t packets = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1000;
  vx_result* r = vx_result_new();
  vx_result* run = vx_result_new();  // the wave's events stay readable during it
  vx_sim* sim = chain(stages, r);
  if (sim == nullptr) return 1;
  const vx_view* v = vx_result_view(r);
  const vx_view* w = vx_result_view(run);

  vx_action a{};
  for (std::size_t p = 0; p < packets; ++p) {
    a = {};
    a.kind = VX_ACT_CREATE_PACKET;
    vx_sim_do(sim, &a, r);
    a.kind = VX_ACT_TRANSPORT_PACKET_TO_LOCATION;
    a.packet_id = v->id;
    a.destination.kind = VX_LOC_EDGE;
    a.destination.edge = {{s("Feed"), VX_PORT_OUTPUT, s("out")}, {s("S0"), VX_PORT_INPUT, s("in")}};
    vx_sim_do(sim, &a, r);
  }

  const auto t0 = std::chrono::steady_clock::now();
  std::size_t hops = 0;
  std::vector<vx_id> epochs;
  for (vx_sim_run_until_blocked(sim, nullptr, nullptr, run);;
       vx_sim_run_until_blocked(sim, nullptr, nullptr, run)) {
    epochs.clear();
    for (std::size_t i = 0; i < w->event_count; ++i) {
      if (w->events[i].kind == VX_EV_EPOCH_CREATED) epochs.push_back(w->events[i].id);
    }
    if (epochs.empty()) break;
    for (const vx_id& epoch : epochs) {
      a = {};
      a.kind = VX_ACT_START_EPOCH;
      a.epoch_id = epoch;
      vx_sim_do(sim, &a, r);
      a.kind = VX_ACT_LOAD_PACKET_INTO_OUTPUT_PORT;
      a.packet_id = v->epoch->in_salvo.packets[0].packet_id;
      a.port_name = s("out");
      vx_sim_do(sim, &a, r);
      a = {};
      a.kind = VX_ACT_SEND_OUTPUT_SALVO;
      a.epoch_id = epoch;
      a.salvo_condition = s("out");
      vx_sim_do(sim, &a, r);
      a.kind = VX_ACT_FINISH_EPOCH;
      vx_sim_do(sim, &a, r);
      ++hops;
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::printf("%zu hops, %.0f ns/hop through the C interface\n", hops,
              seconds / static_cast<double>(hops) * 1e9);
#if defined(__GLIBC__)
  const struct mallinfo2 heap = mallinfo2();
  std::printf("heap in use after the run: %.1f MB\n",
              static_cast<double>(heap.uordblks + heap.hblkhd) / 1e6);
#endif
  vx_sim_free(sim);
  vx_result_free(run);
  vx_result_free(r);
  return hops == stages * packets ? 0 : 1;
}
