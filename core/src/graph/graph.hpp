// Graph: the static topology of one network, read-only once built.
//
// Owns copies of its nodes and edges and keeps two edge indexes by port and
// the set of dependency edges. Building a graph checks only that node names
// are unique; every other structural rule is reported by validate(). All five
// containers are hash-based and walked in an unspecified order; only the
// per-head edge lists are ordered (construction order, repeats kept). Two
// vectors point into the node map and the edge set in construction order,
// for walks that should read memory in order rather than chase hash chains.
//
//   Graph g({a, b}, {Edge{{"A", PortType::Output, "out"}, {"B", PortType::Input, "in"}}});
//   g = std::move(g).with_dependency_edges({...});
//   std::vector<GraphValidationError> errors = g.validate();
#pragma once

#include <span>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "graph/elements.hpp"

namespace vornix {

struct GraphValidationError;

class Graph {
 public:
  Graph() = default;
  // Throws InternalError "Duplicate node name: '{name}'" on a repeated name.
  Graph(std::vector<Node> nodes, std::vector<Edge> edges);
  // A copy's nodes are new objects, so the copy finds its own in order;
  // moves keep the nodes where they are.
  Graph(const Graph& other);
  Graph& operator=(const Graph& other);
  Graph(Graph&&) noexcept = default;
  Graph& operator=(Graph&&) noexcept = default;

  // Returns the graph with its dependency-edge set replaced by `edges`
  // (duplicates collapse; membership in edges() is not checked).
  Graph with_dependency_edges(std::vector<Edge> edges) &&;

  // The edge leaving an output port (the last one given, when several do).
  const Edge* get_edge_by_tail(const PortRef& port) const;
  // Every edge ending at `port`, in construction order, repeats included.
  std::span<const Edge> get_edges_by_head(const PortRef& port) const;
  bool is_dependency_edge(const Edge& edge) const;

  // Every structural problem, in phase order. Defined in validate.cpp.
  std::vector<GraphValidationError> validate() const;

  const Node* find_node(std::string_view name) const;
  const StringMap<Node>& nodes() const { return nodes_; }
  // The node names in the order the nodes were given: an order that does not
  // depend on hashing, for walks whose results callers can see.
  const std::vector<std::string>& node_order() const { return node_order_; }
  // The nodes themselves in that order, so that a walk in node order reads
  // them without a look-up each.
  std::span<const Node* const> nodes_in_order() const { return nodes_in_order_; }
  const std::unordered_set<Edge>& edges() const { return edges_; }
  // The members of edges(), each once, in the order first given: a walk over
  // them reads memory in order instead of following the set's chain.
  std::span<const Edge* const> edges_in_order() const { return edges_in_order_; }
  const std::unordered_map<PortRef, Edge>& edges_by_tail() const { return edges_by_tail_; }
  const std::unordered_map<PortRef, std::vector<Edge>>& edges_by_head() const {
    return edges_by_head_;
  }
  const std::unordered_set<Edge>& dependency_edges() const { return dependency_edges_; }

 private:
  StringMap<Node> nodes_;
  std::vector<std::string> node_order_;
  std::vector<const Node*> nodes_in_order_;  // into nodes_, whose elements never move
  std::unordered_set<Edge> edges_;
  std::vector<const Edge*> edges_in_order_;  // into edges_
  std::unordered_map<PortRef, Edge> edges_by_tail_;
  std::unordered_map<PortRef, std::vector<Edge>> edges_by_head_;
  std::unordered_set<Edge> dependency_edges_;
};

}  // namespace vornix
