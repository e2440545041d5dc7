// PacketLocation: where one packet is.
//
// Names and edges are held shared (Shared<T>): a location is four words, and
// copying one, as every event does, copies no string.
#pragma once

#include <string>
#include <variant>

#include "base/shared.hpp"
#include "graph/elements.hpp"
#include "net/ulid.hpp"

namespace vornix {

struct PacketLocation {
  // Inside a startable or running epoch.
  struct Node {
    Ulid epoch_id;
    bool operator==(const Node&) const = default;
  };
  // Waiting at an input port (shared by all epochs of the node).
  struct InputPort {
    Name node_name;
    Name port_name;
    bool operator==(const InputPort&) const = default;
  };
  // Loaded into an output port of one epoch.
  struct OutputPort {
    Ulid epoch_id;
    Name port_name;
    bool operator==(const OutputPort&) const = default;
  };
  // Travelling on an edge.
  struct Edge {
    Shared<vornix::Edge> edge;
    bool operator==(const Edge&) const = default;
  };
  struct OutsideNet {
    bool operator==(const OutsideNet&) const = default;
  };
  std::variant<Node, InputPort, OutputPort, Edge, OutsideNet> value = OutsideNet{};

  static PacketLocation node(Ulid epoch_id) { return {Node{epoch_id}}; }
  static PacketLocation input_port(std::string node_name, std::string port_name) {
    return {InputPort{std::move(node_name), std::move(port_name)}};
  }
  static PacketLocation output_port(Ulid epoch_id, std::string port_name) {
    return {OutputPort{epoch_id, std::move(port_name)}};
  }
  static PacketLocation edge(vornix::Edge e) { return {Edge{std::move(e)}}; }
  static PacketLocation outside_net() { return {OutsideNet{}}; }

  // The epoch a Node or OutputPort location belongs to; nullptr otherwise.
  const Ulid* epoch_id() const;

  // Debug form: Node(Ulid(5)), InputPort("B", "in"), OutputPort(Ulid(5), "out"),
  // Edge(Edge { source: PortRef { .. }, target: PortRef { .. } }), OutsideNet.
  std::string debug() const;

  bool operator==(const PacketLocation&) const = default;
};

}  // namespace vornix

template <>
struct std::hash<vornix::PacketLocation> {
  std::size_t operator()(const vornix::PacketLocation& l) const noexcept;
};
