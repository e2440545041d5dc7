// Small builders that keep graph-model tests readable.
#pragma once

#include <initializer_list>
#include <string>
#include <utility>

#include "graph/elements.hpp"

namespace vornix::testing_graph {

inline PortRef in(std::string node, std::string port) {
  return PortRef{std::move(node), PortType::Input, std::move(port)};
}
inline PortRef out(std::string node, std::string port) {
  return PortRef{std::move(node), PortType::Output, std::move(port)};
}
inline Edge edge(PortRef source, PortRef target) {
  return Edge{std::move(source), std::move(target)};
}

// A node with the given infinite input and output ports.
inline Node node(std::string name, std::initializer_list<const char*> in_ports = {},
                 std::initializer_list<const char*> out_ports = {}) {
  Node n;
  n.name = std::move(name);
  for (const char* p : in_ports) n.in_ports.emplace(p, Port{});
  for (const char* p : out_ports) n.out_ports.emplace(p, Port{});
  return n;
}

}  // namespace vornix::testing_graph
