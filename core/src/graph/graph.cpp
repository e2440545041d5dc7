#include "graph/graph.hpp"

#include <string>
#include <utility>

#include "base/fault.hpp"

namespace vornix {

Graph::Graph(std::vector<Node> nodes, std::vector<Edge> edges) {
  nodes_.reserve(nodes.size());
  node_order_.reserve(nodes.size());
  nodes_in_order_.reserve(nodes.size());
  for (Node& node : nodes) {
    // The name is copied before the node is moved into the map, so the key
    // and the stored node's name always agree.
    std::string key = node.name;
    if (nodes_.contains(key)) internal_fault("Duplicate node name: '" + key + "'");
    node_order_.push_back(key);
    nodes_in_order_.push_back(&nodes_.emplace(std::move(key), std::move(node)).first->second);
  }

  edges_.reserve(edges.size());
  edges_in_order_.reserve(edges.size());
  edges_by_tail_.reserve(edges.size());
  edges_by_head_.reserve(edges.size());
  for (Edge& edge : edges) {
    // Later edges from one source win here; the validator reports the fan-out.
    edges_by_tail_.insert_or_assign(edge.source, edge);
    edges_by_head_[edge.target].push_back(edge);
    const auto [it, inserted] = edges_.insert(std::move(edge));
    if (inserted) edges_in_order_.push_back(&*it);
  }
}

Graph::Graph(const Graph& other)
    : nodes_(other.nodes_),
      node_order_(other.node_order_),
      edges_(other.edges_),
      edges_by_tail_(other.edges_by_tail_),
      edges_by_head_(other.edges_by_head_),
      dependency_edges_(other.dependency_edges_) {
  nodes_in_order_.reserve(node_order_.size());
  for (const std::string& name : node_order_) nodes_in_order_.push_back(find_node(name));
  edges_in_order_.reserve(other.edges_in_order_.size());
  for (const Edge* edge : other.edges_in_order_) edges_in_order_.push_back(&*edges_.find(*edge));
}

Graph& Graph::operator=(const Graph& other) {
  if (this != &other) *this = Graph(other);
  return *this;
}

Graph Graph::with_dependency_edges(std::vector<Edge> edges) && {
  dependency_edges_ = std::unordered_set<Edge>(std::make_move_iterator(edges.begin()),
                                               std::make_move_iterator(edges.end()));
  return std::move(*this);
}

const Edge* Graph::get_edge_by_tail(const PortRef& port) const {
  const auto it = edges_by_tail_.find(port);
  return it == edges_by_tail_.end() ? nullptr : &it->second;
}

std::span<const Edge> Graph::get_edges_by_head(const PortRef& port) const {
  const auto it = edges_by_head_.find(port);
  if (it == edges_by_head_.end()) return {};
  return it->second;
}

bool Graph::is_dependency_edge(const Edge& edge) const { return dependency_edges_.contains(edge); }

const Node* Graph::find_node(std::string_view name) const {
  const auto it = nodes_.find(name);
  return it == nodes_.end() ? nullptr : &it->second;
}

}  // namespace vornix
