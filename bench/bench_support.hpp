// Graph builders and timing helpers shared by the engine benchmarks.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "graph/graph.hpp"
#include "net/state.hpp"

namespace bench {

using namespace vornix;
using Clock = std::chrono::steady_clock;

inline std::string name_of(const char* prefix, std::size_t i) {
  std::string name = prefix;
  name += std::to_string(i);
  return name;
}

inline PortRef in_ref(std::string node, std::string port) {
  return PortRef{std::move(node), PortType::Input, std::move(port)};
}
inline PortRef out_ref(std::string node, std::string port) {
  return PortRef{std::move(node), PortType::Output, std::move(port)};
}

inline Node plain_node(std::string name, bool in_port, bool out_port,
                       PortSlotSpec in_spec = PortSlotSpec::infinite()) {
  Node n;
  n.name = std::move(name);
  if (in_port) n.in_ports.emplace("in", Port{in_spec});
  if (out_port) n.out_ports.emplace("out", Port{});
  return n;
}

// A chain P0 -> P1 -> ... -> P(n-1) of plain nodes.
inline Graph chain(std::size_t n) {
  std::vector<Node> nodes;
  nodes.reserve(n);
  for (std::size_t i = 0; i < n; ++i) nodes.push_back(plain_node(name_of("P", i), true, true));
  std::vector<Edge> edges;
  edges.reserve(n);
  for (std::size_t i = 0; i + 1 < n; ++i) {
    edges.push_back(Edge{out_ref(name_of("P", i), "out"), in_ref(name_of("P", i + 1), "in")});
  }
  return Graph(std::move(nodes), std::move(edges));
}

inline Ulid created_packet(const NetActionResponse& r) {
  return std::get<NetActionResponseData::Packet>(r.success().data.value).packet_id;
}
inline Epoch created_epoch(const NetActionResponse& r) {
  return std::get<NetActionResponseData::CreatedEpoch>(r.success().data.value).epoch;
}

inline void require(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "benchmark setup failed: %s\n", what);
    std::exit(1);
  }
}

inline double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

inline double median(std::vector<double> v) {
  std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
  return v[v.size() / 2];
}

}  // namespace bench
