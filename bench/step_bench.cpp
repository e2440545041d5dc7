// Cost of one run step as the network grows.
//
// A chain A0 -> A1 -> ... -> A(n-1) whose nodes have no input salvo
// condition, so a packet delivered to an input port just waits there. Each
// iteration puts one packet back on the middle edge and times the run step
// that delivers it. A step should cost the same on 10 nodes as on 100,000:
// it walks only the locations that hold packets.
//
//   vornix_step_bench [iterations]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "graph/graph.hpp"
#include "net/state.hpp"

namespace {

using vornix::Edge;
using vornix::NetSim;
using vornix::PacketLocation;
using vornix::PortRef;
using vornix::PortType;
using Clock = std::chrono::steady_clock;

std::string name_of(std::size_t i) {
  // Appending rather than "A" + ... sidesteps a false -Wrestrict from g++ 12.
  std::string name = "A";
  name += std::to_string(i);
  return name;
}

Edge chain_edge(std::size_t i) {
  return Edge{PortRef{name_of(i), PortType::Output, "out"},
              PortRef{name_of(i + 1), PortType::Input, "in"}};
}

vornix::Graph chain(std::size_t n) {
  std::vector<vornix::Node> nodes;
  nodes.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    vornix::Node node;
    node.name = name_of(i);
    node.in_ports.emplace("in", vornix::Port{});
    node.out_ports.emplace("out", vornix::Port{});
    nodes.push_back(std::move(node));
  }
  std::vector<Edge> edges;
  edges.reserve(n);
  for (std::size_t i = 0; i + 1 < n; ++i) edges.push_back(chain_edge(i));
  return vornix::Graph(std::move(nodes), std::move(edges));
}

struct Figures {
  double step_ns;
  double is_blocked_ns;
};

Figures measure(std::size_t n, std::size_t iterations) {
  NetSim sim(chain(n));
  const vornix::NetActionResponse created =
      sim.do_action(vornix::NetAction{vornix::NetAction::CreatePacket{}});
  const vornix::Ulid packet =
      std::get<vornix::NetActionResponseData::Packet>(created.success().data.value).packet_id;
  const PacketLocation on_edge = PacketLocation::edge(chain_edge(n / 2 - 1));

  // Batches of steps; the median batch keeps one slow batch (a page fault, a
  // neighbour on the machine) from deciding the figure.
  constexpr std::size_t kBatch = 1000;
  std::vector<double> step_batches;
  std::vector<double> blocked_batches;
  std::size_t delivered = 0;
  for (std::size_t done = 0; done < iterations; done += kBatch) {
    Clock::duration step_time{};
    Clock::duration blocked_time{};
    for (std::size_t i = 0; i < kBatch; ++i) {
      sim.move_packet(packet, on_edge);
      auto t0 = Clock::now();
      const bool blocked = sim.is_blocked();
      auto t1 = Clock::now();
      const vornix::NetActionResponse r = sim.run_step();
      auto t2 = Clock::now();
      blocked_time += t1 - t0;
      step_time += t2 - t1;
      if (!blocked && r.ok() && r.success().events.size() == 1) ++delivered;
    }
    step_batches.push_back(std::chrono::duration<double, std::nano>(step_time).count() / kBatch);
    blocked_batches.push_back(std::chrono::duration<double, std::nano>(blocked_time).count() /
                              kBatch);
  }
  if (delivered != step_batches.size() * kBatch) {
    std::fprintf(stderr, "unexpected step outcome on %zu nodes\n", n);
    std::exit(1);
  }
  const auto median = [](std::vector<double> v) {
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
    return v[v.size() / 2];
  };
  return {median(step_batches), median(blocked_batches)};
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t iterations =
      argc > 1 ? static_cast<std::size_t>(std::strtoull(argv[1], nullptr, 10)) : 200000;
  std::printf("%10s %14s %18s\n", "nodes", "run_step ns", "is_blocked ns");
  for (std::size_t n : {std::size_t{10}, std::size_t{100000}}) {
    const Figures f = measure(n, std::max<std::size_t>(iterations, 1000));
    std::printf("%10zu %14.1f %18.1f\n", n, f.step_ns, f.is_blocked_ns);
  }
  return 0;
}
