// Memory and build time per node of a NetSim over a long chain.
//
// Builds the chain Graph first, then the NetSim over it (the graph moved in,
// as the engine takes ownership), and reports the growth of the resident set
// and the wall time per node of each. Run it in a fresh process: the figures
// are read from /proc/self/statm.
//
//   vornix_build_bench [nodes]

#include <unistd.h>

#include <fstream>

#include "bench_support.hpp"

namespace {

double resident_bytes() {
  std::ifstream statm("/proc/self/statm");
  double size = 0, resident = 0;
  statm >> size >> resident;
  return resident * static_cast<double>(sysconf(_SC_PAGESIZE));
}

}  // namespace

int main(int argc, char** argv) {
  using namespace bench;
  const std::size_t n =
      argc > 1 ? static_cast<std::size_t>(std::strtoull(argv[1], nullptr, 10)) : 1000000;
  const double before = resident_bytes();
  auto t0 = Clock::now();
  Graph graph = chain(n);
  const double graph_s = seconds(Clock::now() - t0);
  const double with_graph = resident_bytes();
  t0 = Clock::now();
  NetSim sim(std::move(graph));
  const double sim_s = seconds(Clock::now() - t0);
  const double with_sim = resident_bytes();
  const double nodes = static_cast<double>(n);
  std::printf("chain of %zu nodes\n", n);
  std::printf("graph:  %8.1f bytes/node  %6.3f us/node to build\n", (with_graph - before) / nodes,
              graph_s * 1e6 / nodes);
  std::printf("NetSim: %8.1f bytes/node  %6.3f us/node to build (graph moved in, validated)\n",
              (with_sim - with_graph) / nodes, sim_s * 1e6 / nodes);
  require(sim.is_blocked(), "blocked");
  return 0;
}
